#!/usr/bin/env python3
"""End-to-end checks of qbweb with real processes on one data directory.

    webboard.py browser  QBWEB QBTOOL OUTDIR   headless Chromium over its DevTools protocol
    webboard.py recovery QBWEB QBTOOL          error page for a missing / damaged table, recovery
    webboard.py http     QBWEB QBTOOL          the JSON board, the policy, refusals and the rate limit
    webboard.py readonly QBWEB QBTOOL          strace: no locks, no writes, three calls per poll

Expectations come from `qbtool dump --json` and from the documented colour
letters, never from qbweb itself.
"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

LETTER_RGB = {'a': (0, 255, 255), 'f': (255, 0, 255), 'l': (0, 255, 0),
              'r': (255, 0, 0), 'w': (255, 255, 255), 'y': (255, 255, 0)}
POLL_S = 0.5


def fail(msg):
    print('FAIL: ' + msg, flush=True)
    sys.exit(1)


def check(cond, msg):
    if not cond:
        fail(msg)


def run(*args):
    r = subprocess.run(list(args), capture_output=True, text=True, timeout=60)
    if r.returncode != 0:
        fail('%s: exit %d\n%s%s' % (' '.join(args), r.returncode, r.stdout, r.stderr))
    return r.stdout


def expected_colour(code):
    """Colour of a chgcntr code: a letter, else packed BBRRRGGG."""
    ch = chr(code) if 0 <= code < 256 else ''
    if ch in LETTER_RGB:
        return LETTER_RGB[ch]
    return (((code // 8) % 8) * 36, (code % 8) * 36, (code // 64) * 72)


def board_rows(qbtool, data):
    """Shown rows as (record number, name, colour, remark, group) in the board's default order."""
    rows = []
    for line in run(qbtool, 'dump', os.path.join(data, 'qb3.dbf'), '--json').splitlines():
        rec = json.loads(line)
        if rec['_recno'] == 1 or rec['_deleted']:
            continue
        rows.append((rec['_recno'], rec['name'], expected_colour(int(rec['chgcntr'])), rec['remark'], rec['group']))
    return sorted(rows, key=lambda r: (r[1].lower(), r[0]))


class Server:
    def __init__(self, qbweb, data, port=0, prefix=(), rate=1000):
        self.prefix = list(prefix)
        self.proc = subprocess.Popen(list(prefix) + [qbweb, data, '--listen', '127.0.0.1:%d' % port,
                                                     '--rate', str(rate)],
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.proc.stdout.readline()
        m = re.search(r':(\d+)/$', line.strip())
        if not m:
            fail('qbweb did not start: ' + line + self.proc.stdout.read())
        self.port = int(m.group(1))
        self.base = 'http://127.0.0.1:%d' % self.port
        # Under strace, qbweb is strace's child, and it is qbweb that must be stopped.
        self.pid = self.proc.pid
        if self.prefix:
            with open('/proc/%d/task/%d/children' % (self.pid, self.pid)) as f:
                self.pid = int(f.read().split()[0])

    def get(self, path):
        try:
            with urllib.request.urlopen(self.base + path, timeout=5) as r:
                return r.status, r.read().decode('utf-8')
        except urllib.error.HTTPError as e:
            return e.code, e.read().decode('utf-8')

    def stop(self):
        if self.proc.poll() is None:
            os.kill(self.pid, signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                if self.pid != self.proc.pid:
                    os.kill(self.pid, signal.SIGKILL)
                self.proc.kill()
                self.proc.wait()
        check(self.proc.returncode == 0, 'qbweb exited with %s' % self.proc.returncode)


def wait_for(what, fn, timeout):
    end = time.monotonic() + timeout
    while True:
        v = fn()
        if v:
            return v
        if time.monotonic() > end:
            fail('timed out waiting for ' + what)
        time.sleep(0.05)


def demo_dir(qbtool, root):
    data = os.path.join(root, 'data')
    run(qbtool, 'init', data, '--demo')
    return data


# ---------------------------------------------------------------- browser

class DevTools:
    """A page of headless Chromium, driven over the DevTools protocol."""

    def __init__(self, profile):
        import websocket  # python3-websocket
        self.proc = subprocess.Popen(
            ['chromium', '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync',
             '--hide-scrollbars', '--user-data-dir=' + profile, '--remote-debugging-port=0', 'about:blank'],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(profile, 'DevToolsActivePort')
        wait_for('Chromium', lambda: os.path.exists(port_file) and open(port_file).read().count('\n') >= 1, 30)
        port = int(open(port_file).read().split('\n')[0])
        targets = json.load(urllib.request.urlopen('http://127.0.0.1:%d/json/list' % port, timeout=5))
        page = [t for t in targets if t['type'] == 'page'][0]
        self.ws = websocket.create_connection(page['webSocketDebuggerUrl'], timeout=30, suppress_origin=True)
        self.next_id = 0
        self.events = []
        self.call('Page.enable')
        self.call('Runtime.enable')

    def call(self, method, **params):
        self.next_id += 1
        my = self.next_id
        self.ws.send(json.dumps({'id': my, 'method': method, 'params': params}))
        while True:
            msg = json.loads(self.ws.recv())
            if msg.get('id') == my:
                if 'error' in msg:
                    fail('%s: %s' % (method, msg['error']))
                return msg.get('result', {})
            if 'method' in msg:
                self.events.append(msg)

    def js(self, expr):
        r = self.call('Runtime.evaluate', expression=expr, returnByValue=True)
        if 'exceptionDetails' in r:
            fail('page script failed: %s' % r['exceptionDetails'])
        return r['result'].get('value')

    def viewport(self, w, h, mobile):
        self.call('Emulation.setDeviceMetricsOverride', width=w, height=h, deviceScaleFactor=1, mobile=mobile)

    def screenshot(self, path):
        import base64
        data = self.call('Page.captureScreenshot', format='png')['data']
        with open(path, 'wb') as f:
            f.write(base64.b64decode(data))

    def close(self):
        try:
            self.ws.close()
        finally:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()


SHOWN = """JSON.stringify(Array.from(document.querySelectorAll('#rows tr')).map(tr => {
  const td = tr.querySelectorAll('td');
  return [Number(tr.dataset.index), td[0].textContent, td[1].textContent, getComputedStyle(td[1]).backgroundColor];
}))"""


def shown(page):
    return json.loads(page.js(SHOWN))


def pick_group(page, group):
    page.js("{ const g = document.getElementById('group'); g.value = %s; g.dispatchEvent(new Event('change')); }"
            % json.dumps(group))


def type_search(page, text):
    page.js("{ const s = document.getElementById('search'); s.value = %s; s.dispatchEvent(new Event('input')); }"
            % json.dumps(text))


def rgb_text(c):
    return 'rgb(%d, %d, %d)' % c


def test_browser(qbweb, qbtool, outdir):
    root = tempfile.mkdtemp(prefix='qbweb-browser-')
    server = page = None
    try:
        data = demo_dir(qbtool, root)
        hostile = '<script>alert(1)</script>'
        run(qbtool, 'add-name', data, hostile, 'Sales')
        run(qbtool, 'set-remark', data, hostile, '<img src=x onerror=alert(2)>', '--color', 'a')
        expected = board_rows(qbtool, data)
        server = Server(qbweb, data)
        page = DevTools(os.path.join(root, 'profile'))
        page.viewport(1920, 1080, False)
        page.call('Page.navigate', url=server.base + '/')
        wait_for('the rows', lambda: len(shown(page)) == len(expected), 10)

        # The board's rows in the board's order and colours.
        rows = shown(page)
        check([r[0] for r in rows] == [e[0] - 1 for e in expected],
              'order %s, expected %s' % ([r[1] for r in rows], [e[1] for e in expected]))
        check([r[1] for r in rows] == [e[1] for e in expected], 'names differ')
        for r, e in zip(rows, expected):
            check(r[3] == rgb_text(e[2]), '%s: remark colour %s, expected %s' % (e[1], r[3], rgb_text(e[2])))

        # Hostile text shows as text and runs nothing.
        cell = page.js("Array.from(document.querySelectorAll('#rows td.col-name')).map(t => t.textContent)")
        check(hostile in cell, 'the hostile name is not shown as text')
        check(page.js("document.querySelectorAll('#rows script, #rows img').length") == 0,
              'table text became markup')
        dialogs = [e for e in page.events if e['method'] == 'Page.javascriptDialogOpening']
        check(not dialogs, 'a dialog opened: %s' % dialogs)
        page.screenshot(os.path.join(outdir, 'qbweb-1920x1080.png'))

        # Sorting by a title, the group filter and the search box.
        page.js("document.querySelectorAll('#titles button')[1].click()")
        by_remark = sorted(expected, key=lambda e: (e[3].lower(), e[0]))
        check([r[1] for r in shown(page)] == [e[1] for e in by_remark], 'not sorted by remark')
        page.js("document.querySelectorAll('#titles button')[1].click()")
        check([r[1] for r in shown(page)] == [e[1] for e in reversed(by_remark)], 'not sorted by remark descending')
        page.js("document.querySelectorAll('#titles button')[0].click()")
        pick_group(page, 'Support')
        check([r[1] for r in shown(page)] == [e[1] for e in expected if e[4] == 'Support'], 'group filter')
        pick_group(page, '')
        type_search(page, 'BERG')
        check([r[1] for r in shown(page)] == ['Anna Berger'], 'search box: %s' % shown(page))
        type_search(page, '')

        # A remark set by qbtool shows within a second of the next poll.
        run(qbtool, 'set-remark', data, 'Mei Lin', 'Gone fishing', '--color', 'r')
        done = time.monotonic()
        wait_for('the new remark', lambda: any(r[1] == 'Mei Lin' and r[2] == 'Gone fishing'
                                               and r[3] == rgb_text(LETTER_RGB['r']) for r in shown(page)), 5)
        latency = time.monotonic() - done
        print('remark shown %.0f ms after qbtool finished' % (latency * 1000))
        check(latency <= POLL_S + 1.0, 'the remark took %.2f s' % latency)

        # The page reconnects by itself after a restart of the server.
        port = server.port
        server.stop()
        wait_for('the page to notice', lambda: page.js("document.getElementById('status').classList.contains('offline')"), 10)
        server = Server(qbweb, data, port)
        run(qbtool, 'set-remark', data, 'Anna Berger', 'Back after the restart', '--color', 'y')
        wait_for('the remark after the restart',
                 lambda: any(r[1] == 'Anna Berger' and r[2] == 'Back after the restart' for r in shown(page)), 15)
        dialogs = [e for e in page.events if e['method'] == 'Page.javascriptDialogOpening']
        check(not dialogs, 'a dialog opened: %s' % dialogs)

        # A phone: nothing wider than the screen.
        page.viewport(360, 740, True)
        time.sleep(0.3)
        page.screenshot(os.path.join(outdir, 'qbweb-360x740.png'))
        width = page.js('document.documentElement.scrollWidth')
        wide = page.js("Array.from(document.querySelectorAll('body *')).filter(e => e.getBoundingClientRect().right > 361)"
                       ".map(e => e.tagName + '.' + e.className).join(' ')")
        check(width <= 360, 'the page is %d px wide on a 360 px phone: %s' % (width, wide))
    finally:
        if page:
            page.close()
        if server:
            server.stop()
        shutil.rmtree(root, ignore_errors=True)
    print('browser: ok')


# ---------------------------------------------------------------- recovery

def test_recovery(qbweb, qbtool):
    root = tempfile.mkdtemp(prefix='qbweb-recovery-')
    server = None
    try:
        data = demo_dir(qbtool, root)
        table = os.path.join(data, 'qb3.dbf')
        good = open(table, 'rb').read()
        server = Server(qbweb, data)
        check(server.get('/')[0] == 200, 'no board at the start')

        def state():
            page = server.get('/')
            return page, server.get('/api/board'), server.get('/healthz')

        cases = [
            # (what, damage, words the error page must show)
            ('missing table', lambda: os.rename(table, table + '.away'), ['Error reading ' + table]),
            ('damaged header', lambda: open(table, 'r+b').write(b'\x03\x7e\x0c\x08\x09\x00\x00\x00\xff\xff'),
             ['[USE/OpenDBF]']),
            ('cut short', lambda: os.truncate(table, 100), ['Error reading file ' + table]),
            ('missing directory', lambda: os.rename(data, data + '.away'), ['Data directory ' + data + ' not found']),
        ]
        for what, damage, words in cases:
            damage()
            page, api, health = wait_for(what, lambda: (lambda s: s if s[0][0] == 503 else None)(state()), 3)
            for w in words:
                check(w in page[1], '%s: the error page lacks %r:\n%s' % (what, w, page[1]))
            check('<script' not in page[1].lower(), '%s: script on the error page' % what)
            check(api[0] == 503 and words[0] in api[1], '%s: /api/board answered %s %s' % (what, api[0], api[1]))
            check(health[0] == 503, '%s: /healthz answered %s' % (what, health[0]))
            # Repaired: back without a restart.
            if os.path.exists(data + '.away'):
                os.rename(data + '.away', data)
            if os.path.exists(table + '.away'):
                os.rename(table + '.away', table)
            with open(table, 'wb') as f:
                f.write(good)
            wait_for(what + ' repaired', lambda: server.get('/')[0] == 200, 3)
            check(server.get('/healthz')[0] == 200, what + ': /healthz after the repair')
            check(json.loads(server.get('/api/board')[1])['rows'], what + ': no rows after the repair')
    finally:
        if server:
            server.stop()
        shutil.rmtree(root, ignore_errors=True)
    print('recovery: ok')


# ---------------------------------------------------------------- http

def request(server, method, path, body=None, headers=None):
    import http.client
    c = http.client.HTTPConnection('127.0.0.1', server.port, timeout=5)
    c.request(method, path, body=body, headers=headers or {})
    r = c.getresponse()
    out = (r.status, dict((k.lower(), v) for k, v in r.getheaders()), r.read().decode('utf-8', 'replace'))
    c.close()
    return out


def test_http(qbweb, qbtool):
    root = tempfile.mkdtemp(prefix='qbweb-http-')
    server = None
    try:
        data = demo_dir(qbtool, root)
        expected = board_rows(qbtool, data)
        server = Server(qbweb, data)

        status, headers, body = request(server, 'GET', '/api/board?group=Support')
        check(status == 200, '/api/board?group answered %d' % status)
        rows = json.loads(body)['rows']
        check([r['name'] for r in rows] == [e[1] for e in expected if e[4] == 'Support'], 'group rows: %s' % rows)
        all_rows = json.loads(request(server, 'GET', '/api/board')[2])['rows']
        check([r['name'] for r in all_rows] == [e[1] for e in expected], 'all rows')
        check(all(set(r) == {'index', 'name', 'remark', 'group', 'misc', 'time', 'color', 'textColor'}
                  for r in all_rows), 'rows carry more than the board shows')
        check(request(server, 'GET', '/api/board?group=Nobody')[0] == 200, 'unknown group')

        # Every answer carries the policy; the page and its files have no inline script.
        for path in ('/', '/app.js', '/app.css', '/api/board', '/healthz', '/nothing'):
            st, h, b = request(server, 'GET', path)
            csp = h.get('content-security-policy', '')
            check("script-src 'self'" in csp and 'unsafe' not in csp and "default-src 'none'" in csp,
                  '%s: policy %r' % (path, csp))
            check(h.get('x-content-type-options') == 'nosniff', path + ': nosniff')
        page = request(server, 'GET', '/')[2]
        check(re.findall(r'<script[^>]*>', page) == ['<script src="/app.js" defer>'], 'inline script on the page')
        check(' style=' not in page and '<style' not in page, 'inline style on the page')

        # Nothing can be changed; bodies, long requests and floods are refused.
        for method in ('POST', 'PUT', 'PATCH', 'DELETE'):
            st = request(server, method, '/api/board', body='x', headers={'Content-Type': 'text/plain'})[0]
            check(st in (405, 413), '%s answered %d' % (method, st))
        check(request(server, 'GET', '/api/board', body='x' * 100)[0] == 413, 'a GET with a body')
        check(request(server, 'GET', '/?' + 'a' * 20000)[0] in (400, 414), 'an overlong request line')
        server.stop()
        server = Server(qbweb, data, rate=5)
        codes = [request(server, 'GET', '/healthz')[0] for _ in range(40)]
        check(codes.count(200) <= 16 and codes[-1] == 429, 'no rate limit: %s' % codes)
    finally:
        if server:
            server.stop()
        shutil.rmtree(root, ignore_errors=True)
    print('http: ok')


# ---------------------------------------------------------------- read-only

def test_readonly(qbweb, qbtool):
    root = tempfile.mkdtemp(prefix='qbweb-readonly-')
    server = None
    streams = []
    try:
        data = demo_dir(qbtool, root)
        log = os.path.join(root, 'strace.log')
        server = Server(qbweb, data, prefix=['strace', '-f', '-qq', '-y', '-ttt', '-o', log, '-e',
                                             'trace=%file,%desc,flock,fcntl'])
        # Pages and integrations do not make the table read more often.
        for _ in range(20):
            s = socket.create_connection(('127.0.0.1', server.port))
            s.sendall(b'GET /events HTTP/1.1\r\nHost: x\r\n\r\n')
            streams.append(s)
        quiet_from = time.time()
        for _ in range(40):
            check(server.get('/api/board')[0] == 200, '/api/board failed')
            time.sleep(0.05)
        time.sleep(1.5)
        quiet_to = time.time()
        run(qbtool, 'set-remark', data, 'Mei Lin', 'Out')
        wait_for('the change', lambda: '"Mei Lin","remark":"Out"' in server.get('/api/board')[1], 3)
        for s in streams:
            s.close()
        server.stop()
        server = None

        lines = open(log).read().splitlines()
        real_data = os.path.realpath(data)
        locks = [l for l in lines if re.search(r'F_(OFD_)?SETLKW?|F_GETLK|flock\(', l)]
        check(not locks, 'lock calls:\n' + '\n'.join(locks[:5]))
        in_data = [l for l in lines if real_data + '/' in l or data + '/' in l]
        writes = [l for l in in_data if re.search(r'O_WRONLY|O_RDWR|O_CREAT|O_TRUNC', l)
                  or re.search(r'^\d+ [\d.]+ (write|pwrite64|writev|ftruncate|rename\w*|unlink\w*|mkdir\w*|'
                               r'fchmod|utimensat|futimens|fsync|fdatasync)\(', l)]
        check(not writes, 'writes in the data directory:\n' + '\n'.join(writes[:5]))

        table = os.path.join(real_data, 'qb3.dbf')
        # A call that strace shows in two halves ("unfinished" ... "resumed") counts once.
        quiet = [l for l in in_data if table in l and quiet_from <= float(l.split()[1]) <= quiet_to
                 and not re.search(r'<\.\.\. \w+ resumed>', l)]
        # A poll that began before the window shows its fstat and close without its open.
        first_open = next((i for i, l in enumerate(quiet) if 'openat(' in l), len(quiet))
        quiet = quiet[first_open:]
        opens = [l for l in quiet if 'openat(' in l]
        polls = (quiet_to - quiet_from) / POLL_S
        print('%d calls on qb3.dbf in %.1f s (%.0f polls): %.1f per poll' % (len(quiet), quiet_to - quiet_from,
                                                                          polls, len(quiet) / max(1, len(opens))))
        check(len(opens) <= polls + 1, '%d opens of qb3.dbf in %.0f polls' % (len(opens), polls))
        check(len(quiet) <= 3 * len(opens), 'more than open, fstat, close per poll:\n' + '\n'.join(quiet[:9]))
    finally:
        for s in streams:
            s.close()
        if server:
            server.stop()
        shutil.rmtree(root, ignore_errors=True)
    print('readonly: ok')


def main():
    if len(sys.argv) < 4:
        print(__doc__)
        return 2
    what, qbweb, qbtool = sys.argv[1:4]
    needs = {'browser': ['chromium'], 'readonly': ['strace']}.get(what, [])
    missing = [n for n in needs if not shutil.which(n)]
    if what == 'browser':
        try:
            import websocket  # noqa: F401
        except ImportError:
            missing.append('python3-websocket')
    if missing:
        print('SKIP: not installed: ' + ' '.join(missing))
        return 77
    if what == 'browser':
        os.makedirs(sys.argv[4], exist_ok=True)
        test_browser(qbweb, qbtool, sys.argv[4])
    elif what == 'recovery':
        test_recovery(qbweb, qbtool)
    elif what == 'http':
        test_http(qbweb, qbtool)
    elif what == 'readonly':
        test_readonly(qbweb, qbtool)
    else:
        print(__doc__)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main())
