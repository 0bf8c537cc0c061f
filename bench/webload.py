#!/usr/bin/env python3
"""Load test of the web board on loopback (not part of the tests).

    bench/webload.py QBWEB QBTOOL [--clients 200] [--rps 50] [--seconds 60]
                     [--people 100] [--update-every 2]

Makes a demo data directory with --people more names, starts qbweb on
127.0.0.1 (any free port), opens --clients Server-Sent-Events streams and
sends --rps requests a second to /api/board for --seconds, while a remark
changes every --update-every seconds through `qbtool set-remark`. Reports:
- the latency from the end of each change to its arrival at each page
  (median, p99, worst) and to the last of all pages;
- the server's CPU time (share of one core) and resident memory;
- the system calls on qb3.dbf per poll, counted with strace with all pages
  connected and again with none (they must not grow with the pages).
Everything stays on 127.0.0.1.
"""
import argparse
import http.client
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time


def run(*args):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL)


def percentile(values, p):
    if not values:
        return float('nan')
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p / 100.0 * (len(s) - 1))))]


def proc_cpu_seconds(pid):
    fields = open('/proc/%d/stat' % pid).read().rsplit(')', 1)[1].split()
    tick = os.sysconf('SC_CLK_TCK')
    return (int(fields[11]) + int(fields[12])) / tick  # utime + stime


def proc_status(pid, key):
    for line in open('/proc/%d/status' % pid):
        if line.startswith(key + ':'):
            return line.split(':', 1)[1].strip()
    return '?'


class Stream(threading.Thread):
    """One open page: reads the event stream and notes when each marker arrives."""

    def __init__(self, port, seen, lock):
        super().__init__(daemon=True)
        self.port, self.seen, self.lock = port, seen, lock
        self.sock = None
        self.connected = threading.Event()
        self.events = 0

    def run(self):
        for attempt in range(50):
            try:
                self.sock = socket.create_connection(('127.0.0.1', self.port), timeout=5)
                break
            except OSError:
                time.sleep(0.1 * (attempt + 1))
        else:
            return
        self.sock.sendall(b'GET /events HTTP/1.1\r\nHost: bench\r\nAccept: text/event-stream\r\n\r\n')
        self.sock.settimeout(None)
        self.connected.set()
        buf = b''
        mine = {}
        try:
            while True:
                chunk = self.sock.recv(65536)
                if not chunk:
                    break
                now = time.monotonic()
                buf += chunk
                for marker in re.findall(rb'bench-(\d+)', buf):
                    k = int(marker)
                    if k not in mine:
                        mine[k] = now
                self.events += buf.count(b'\nevent: ')
                buf = buf[-32:]  # a marker cut between two reads is found with the next one
        except OSError:
            pass
        finally:
            with self.lock:
                for k, t in mine.items():
                    self.seen.setdefault(k, []).append(t)

    def close(self):
        if self.sock:
            try:
                self.sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self.sock.close()


def api_load(port, rps, stop, results):
    """rps requests a second to /api/board from a few keep-alive connections."""
    workers = 5
    interval = workers / float(rps)

    def worker(offset):
        conn = None
        due = time.monotonic() + offset
        while not stop.is_set():
            time.sleep(max(0.0, due - time.monotonic()))
            due += interval
            t0 = time.monotonic()
            try:
                if conn is None:
                    conn = http.client.HTTPConnection('127.0.0.1', port, timeout=5)
                conn.request('GET', '/api/board')
                r = conn.getresponse()
                r.read()
                results.append((r.status, time.monotonic() - t0))
                if r.getheader('Connection', '').lower() == 'close':
                    conn.close()
                    conn = None
            except (OSError, http.client.HTTPException):
                results.append((0, time.monotonic() - t0))
                if conn:
                    conn.close()
                conn = None
        if conn:
            conn.close()

    threads = [threading.Thread(target=worker, args=(i * interval / workers,), daemon=True) for i in range(workers)]
    for t in threads:
        t.start()
    return threads


def count_table_calls(pid, data, seconds):
    """System calls naming qb3.dbf over `seconds`, with strace on every thread."""
    log = os.path.join(data, '..', 'strace-%d.log' % time.monotonic_ns())
    tids = os.listdir('/proc/%d/task' % pid)
    args = ['strace', '-qq', '-y', '-ttt', '-o', log, '-e', 'trace=%file,%desc']
    for t in tids:
        args += ['-p', t]
    st = subprocess.Popen(args, stderr=subprocess.DEVNULL)
    time.sleep(1.0)  # attached
    t0 = time.time()
    time.sleep(seconds)
    t1 = time.time()
    st.send_signal(signal.SIGINT)
    st.wait(30)
    table = os.path.realpath(os.path.join(data, 'qb3.dbf'))
    def at(line):
        m = re.match(r'^(?:\[pid\s+\d+\]\s*|\d+\s+)?(\d+\.\d+)', line)
        return float(m.group(1)) if m else -1.0
    # A call shown in two halves ("unfinished" ... "resumed") counts once.
    lines = [l for l in open(log).read().splitlines()
             if table in l and t0 <= at(l) <= t1 and not re.search(r'<\.\.\. \w+ resumed>', l)]
    opens = sum(1 for l in lines if 'openat(' in l)
    os.remove(log)
    return len(lines), opens, t1 - t0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('qbweb')
    ap.add_argument('qbtool')
    ap.add_argument('--clients', type=int, default=200)
    ap.add_argument('--rps', type=float, default=50)
    ap.add_argument('--seconds', type=float, default=60)
    ap.add_argument('--people', type=int, default=100)
    ap.add_argument('--update-every', type=float, default=2.0)
    a = ap.parse_args()

    root = tempfile.mkdtemp(prefix='qbweb-load-')
    data = os.path.join(root, 'data')
    server = None
    streams = []
    try:
        run(a.qbtool, 'init', data, '--demo')
        for i in range(a.people):
            run(a.qbtool, 'add-name', data, 'Person %03d' % i, ['Sales', 'Support', 'Office', 'Lab'][i % 4])
        server = subprocess.Popen([a.qbweb, data, '--listen', '127.0.0.1:0', '--rate', '1000000',
                                   '--max-pages', str(a.clients + 16)], stdout=subprocess.PIPE, text=True)
        port = int(re.search(r':(\d+)/$', server.stdout.readline().strip()).group(1))
        pid = server.pid
        print('qbweb pid %d on port %d; %d rows' % (pid, port, a.people + 8))

        seen, lock = {}, threading.Lock()
        t_connect = time.monotonic()
        for _ in range(a.clients):
            s = Stream(port, seen, lock)
            s.start()
            streams.append(s)
        for s in streams:
            if not s.connected.wait(60):
                sys.exit('a page could not connect')
        print('%d pages connected in %.1f s' % (len(streams), time.monotonic() - t_connect))
        time.sleep(1.0)

        stop = threading.Event()
        api = []
        cpu0, wall0 = proc_cpu_seconds(pid), time.monotonic()
        workers = api_load(port, a.rps, stop, api)
        written = {}
        k = 0
        end = time.monotonic() + a.seconds
        while time.monotonic() < end - 1.5:
            k += 1
            run(a.qbtool, 'set-remark', data, 'Mei Lin', 'bench-%d' % k, '--color', 'ry'[k % 2])
            written[k] = time.monotonic()
            time.sleep(max(0.0, a.update_every - (time.monotonic() - written[k])))
        time.sleep(max(0.0, end - time.monotonic()))
        stop.set()
        for w in workers:
            w.join()
        cpu1, wall1 = proc_cpu_seconds(pid), time.monotonic()
        rss, hwm, threads = proc_status(pid, 'VmRSS'), proc_status(pid, 'VmHWM'), proc_status(pid, 'Threads')

        # Table calls per poll with every page connected, then with none.
        with_pages = count_table_calls(pid, data, 5)
        for s in streams:
            s.close()
        for s in streams:
            s.join(5)
        time.sleep(1.0)
        without_pages = count_table_calls(pid, data, 5)

        per_page = []
        to_all = []
        missing = 0
        for k, t in written.items():
            got = seen.get(k, [])
            missing += len(streams) - len(got)
            per_page += [x - t for x in got]
            if len(got) == len(streams):
                to_all.append(max(got) - t)
        ok = [lat for status, lat in api if status == 200]
        bad = len(api) - len(ok)

        print('\n== %d pages, %.0f requests/s to /api/board, %.0f s, %d remark changes' % (
            len(streams), a.rps, a.seconds, len(written)))
        print('update latency, end of qbtool set-remark -> page (includes the wait for the next 500 ms poll):')
        print('  per page:   median %.0f ms, p99 %.0f ms, max %.0f ms' % (
            1000 * statistics.median(per_page), 1000 * percentile(per_page, 99), 1000 * max(per_page)))
        print('  all pages:  median %.0f ms, p99 %.0f ms, max %.0f ms' % (
            1000 * statistics.median(to_all), 1000 * percentile(to_all, 99), 1000 * max(to_all)))
        print('  updates that missed a page: %d' % missing)
        print('/api/board: %d answered 200 (%.1f/s), %d failed; latency median %.1f ms, p99 %.1f ms' % (
            len(ok), len(ok) / (wall1 - wall0), bad, 1000 * statistics.median(ok), 1000 * percentile(ok, 99)))
        print('server: CPU %.1f%% of one core (%.1f s in %.1f s), RSS %s, peak %s, %s threads' % (
            100 * (cpu1 - cpu0) / (wall1 - wall0), cpu1 - cpu0, wall1 - wall0, rss, hwm, threads))
        for label, (calls, opens, secs) in (('%d pages' % len(streams), with_pages), ('no pages', without_pages)):
            polls = secs / 0.5
            print('qb3.dbf, %s: %d calls in %.1f s = %d polls (%d opens): %.1f calls per poll' % (
                label, calls, secs, round(polls), opens, calls / max(1, opens)))
    finally:
        for s in streams:
            s.close()
        if server and server.poll() is None:
            server.send_signal(signal.SIGTERM)
            server.wait(15)
        shutil.rmtree(root, ignore_errors=True)


if __name__ == '__main__':
    main()
