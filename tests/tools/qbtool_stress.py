#!/usr/bin/env python3
"""qbtool under bad input and under contention.

  qbtool_stress.py sweep --qbtool PATH [--quick] [--workdir DIR]
      Builds a demo data directory, damages one file in it in hundreds of
      ways (every header field, every descriptor byte class, record and memo
      bytes, truncations, appended garbage, sparse files up to 100 GB, FIFOs,
      directories, links in and out of the directory, unreadable files and
      folders) and runs every qbtool command on each. Counts runs, crashes
      (killed by a signal), hangs (still running after the time limit), files
      changed by read-only commands, and records lost by check --repair on
      files whose records were intact. Exit status 1 when any of those is
      not zero. --quick runs a small slice (for the test suite).

  qbtool_stress.py race --qbtool PATH [--seconds 60] [--loops 8]
      Runs LOOPS concurrent loops of add-name on one data directory for the
      given time and checks that every person add-name reported as added
      has an options record (and every live person it added was reported).
"""
import argparse
import hashlib
import os
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time

TIME_LIMIT = 30  # seconds per command
# A table just under the 1 GiB limit is a real table: dumping its 4.6 million
# records as JSON takes minutes, which is work, not a hang.
BIG_FILE = 256 << 20
BIG_TIME_LIMIT = 600
MEMORY_LIMIT = 1 << 30  # address space per command: a whole-file read of a big table fails


def limit_memory():
    import resource
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_LIMIT, MEMORY_LIMIT))


def as_nobody_prefix():
    """setpriv prefix that runs a command as nobody, or None."""
    if os.geteuid() != 0 or not shutil.which("setpriv"):
        return None
    try:
        import pwd
        import grp
        pwd.getpwnam("nobody")
        group = "nogroup" if "nogroup" in [g.gr_name for g in grp.getgrall()] else "nobody"
    except KeyError:
        return None
    return ["setpriv", "--reuid=nobody", "--regid=" + group, "--clear-groups", "--"]


class Stats:
    def __init__(self):
        self.runs = 0
        self.crashes = []
        self.hangs = []
        self.changed = []
        self.lost = []
        self.exit_codes = {}
        self.cases = 0
        self.intact_repairs = 0


def run(stats, qbtool, args, case, prefix=None, stdin=subprocess.DEVNULL, big=False):
    cmd = (prefix or []) + [qbtool] + args
    stats.runs += 1
    try:
        p = subprocess.run(cmd, stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           timeout=BIG_TIME_LIMIT if big else TIME_LIMIT, preexec_fn=limit_memory)
    except subprocess.TimeoutExpired:
        stats.hangs.append((case, args))
        return None
    rc = p.returncode
    stats.exit_codes[rc] = stats.exit_codes.get(rc, 0) + 1
    if rc < 0 or rc >= 128:
        stats.crashes.append((case, args, rc, p.stderr[-300:]))
    return rc


def snapshot(root):
    """Path -> (kind, digest) of everything under root, links not followed."""
    out = {}
    for dirpath, dirnames, filenames in os.walk(root, followlinks=False):
        for name in dirnames + filenames:
            p = os.path.join(dirpath, name)
            try:
                st = os.lstat(p)
            except OSError:
                continue
            if stat.S_ISREG(st.st_mode):
                if st.st_size > (64 << 20):  # sparse giants: size and time are enough
                    out[p] = ("big", st.st_size, st.st_mtime_ns)
                    continue
                try:
                    with open(p, "rb") as f:
                        out[p] = ("file", hashlib.sha1(f.read()).hexdigest())
                except OSError:
                    out[p] = ("unreadable", st.st_size, st.st_mtime_ns)
            elif stat.S_ISLNK(st.st_mode):
                out[p] = ("link", os.readlink(p))
            else:
                out[p] = ("other", stat.S_IFMT(st.st_mode))
    return out


def u16(b, off):
    return b[off] | (b[off + 1] << 8)


def layout(data):
    h, r = u16(data, 8), u16(data, 10)
    n = (len(data) - h) // r
    return h, r, n


# ---------------------------------------------------------------------------
# Damage: each returns a list of (name, function(dir)) applied to a fresh copy.

def set_bytes(path, off, value):
    def apply(d, outside=None):
        p = os.path.join(d, path)
        with open(p, "r+b") as f:
            f.seek(off)
            f.write(bytes(value))
    return apply


def rewrite(path, fn):
    def apply(d, outside=None):
        p = os.path.join(d, path)
        with open(p, "rb") as f:
            data = bytearray(f.read())
        data = fn(data)
        with open(p, "wb") as f:
            f.write(data)
    return apply


def header_cases(table, data):
    cases = []
    for off in range(32):
        for label, v in (("00", 0), ("FF", 0xFF), ("inc", (data[off] + 1) & 0xFF),
                         ("dec", (data[off] - 1) & 0xFF), ("80", data[off] ^ 0x80)):
            if v == data[off]:
                continue
            cases.append(("%s header byte %d = %s" % (table, off, label), set_bytes(table, off, [v])))
    # Whole fields at once, values an unlucky writer leaves.
    h, r, n = layout(data)
    for label, off, value in (("count 0", 4, struct.pack("<I", 0)), ("count max", 4, struct.pack("<I", 0xFFFFFFFF)),
                              ("count +1", 4, struct.pack("<I", n + 1)),
                              ("header length 0", 8, struct.pack("<H", 0)),
                              ("header length 0xFFFF", 8, struct.pack("<H", 0xFFFF)),
                              ("header length -32", 8, struct.pack("<H", h - 32)),
                              ("header length +32", 8, struct.pack("<H", h + 32)),
                              ("record length 0", 10, struct.pack("<H", 0)),
                              ("record length 0xFFFF", 10, struct.pack("<H", 0xFFFF)),
                              ("record length +1", 10, struct.pack("<H", r + 1)),
                              ("record length -1", 10, struct.pack("<H", r - 1))):
        cases.append(("%s %s" % (table, label), set_bytes(table, off, value)))
    return cases


def descriptor_cases(table, data):
    cases = []
    h = u16(data, 8)
    nfields = (h - 33) // 32
    for i in range(nfields):
        d = 32 + 32 * i
        for label, off, v in (("name NUL", 0, 0), ("name lower", 0, ord("a")), ("name FF", 0, 0xFF),
                              ("name unterminated", 10, ord("Z")),
                              ("type X", 11, ord("X")), ("type NUL", 11, 0), ("type M", 11, ord("M")),
                              ("type N", 11, ord("N")), ("type C", 11, ord("C")), ("type L", 11, ord("L")),
                              ("length 0", 16, 0), ("length 1", 16, 1), ("length 255", 16, 255),
                              ("length +1", 16, (data[d + 16] + 1) & 0xFF), ("length -1", 16, (data[d + 16] - 1) & 0xFF),
                              ("decimals 9", 17, 9), ("decimals 255", 17, 255), ("reserved FF", 20, 0xFF)):
            if data[d + off] == v:
                continue
            cases.append(("%s field %d %s" % (table, i + 1, label), set_bytes(table, d + off, [v])))
    term = 32 + 32 * nfields
    for label, v in (("terminator 00", 0), ("terminator blank", 0x20), ("terminator 1A", 0x1A)):
        cases.append(("%s %s" % (table, label), set_bytes(table, term, [v])))
    return cases


def record_cases(table, data):
    h, r, n = layout(data)
    cases = []
    for rec in (1, 2, n):
        if rec > n:
            continue
        base = h + (rec - 1) * r
        for label, off, v in (("flag NUL", 0, b"\x00"), ("flag X", 0, b"X"), ("flag *", 0, b"*"),
                              ("ident letters", 1, b"abcd"), ("bytes FF", 1, b"\xff" * 8),
                              ("escape", 20, b"\x1b[2J"), ("newline", 20, b"\n")):
            cases.append(("%s record %d %s" % (table, rec, label), set_bytes(table, base + off, v)))
    return cases


def size_cases(table, data):
    h, r, n = layout(data)
    cases = []
    cuts = sorted(set([0, 1, 20, 31, 32, 33, h - 1, h, h + 1] + [h + k * r + d for k in range(n) for d in (-1, 1, r // 2)]
                      + [len(data) - 1]))
    for c in cuts:
        if 0 <= c < len(data):
            cases.append(("%s cut at %d" % (table, c), rewrite(table, lambda b, c=c: b[:c])))
    for label, extra in (("1 byte", b"x"), ("half record", b"y" * (r // 2)), ("record of garbage", b"\xff" * r),
                         ("record and end", b" " * r + b"\x1a"), ("two end bytes", b"\x1a")):
        cases.append(("%s appended %s" % (table, label), rewrite(table, lambda b, e=extra: b + e)))
    cases.append(("%s no end byte" % table, rewrite(table, lambda b: b[:-1] if b[-1:] == b"\x1a" else b)))
    for size in ((1 << 30) - 1, (1 << 30) + 1, 3 << 30, 100 << 30):
        def grow(d, outside=None, size=size):
            os.truncate(os.path.join(d, table), size)
        cases.append(("%s sparse to %d bytes" % (table, size), grow))
    return cases


def memo_cases(memo, data):
    cases = []
    for label, off, v in (("next free 0", 0, b"\x00\x00\x00\x00"), ("next free huge", 0, b"\xff\xff\xff\x7f"),
                          ("next free 1", 0, b"\x01\x00\x00\x00"), ("no end byte", len(data) - 1, b"\x00"),
                          ("block 1 garbage", 512, b"\xff" * 64)):
        if off < len(data):
            cases.append(("%s %s" % (memo, label), set_bytes(memo, off, v)))
    for c in (0, 100, 511, 512, 513, len(data) - 1):
        if c < len(data):
            cases.append(("%s cut at %d" % (memo, c), rewrite(memo, lambda b, c=c: b[:c])))

    def sparse(d, outside=None):
        os.truncate(os.path.join(d, memo), 3 << 30)
    cases.append(("%s sparse to 3 GB" % memo, sparse))
    return cases


def special_cases():
    def replace_with(table, make):
        def apply(d, outside):
            p = os.path.join(d, table)
            if os.path.lexists(p):
                os.unlink(p)
            make(p, outside)
        return apply

    cases = []
    for table in ("qb3.dbf", "qb3cfg3.dbf", "remarks.dbf", "msg1.dbt", "moreinfo.dbt"):
        cases += [
            ("%s is a FIFO" % table, replace_with(table, lambda p, o: os.mkfifo(p, 0o600))),
            ("%s is a directory" % table, replace_with(table, lambda p, o: os.mkdir(p, 0o700))),
            ("%s is a dangling link" % table, replace_with(table, lambda p, o: os.symlink("/nonexistent/x", p))),
            ("%s links out of the directory" % table, replace_with(table, lambda p, o: os.symlink(o, p))),
            ("%s links to /dev/zero" % table, replace_with(table, lambda p, o: os.symlink("/dev/zero", p))),
            ("%s links to /dev/urandom" % table, replace_with(table, lambda p, o: os.symlink("/dev/urandom", p))),
            ("%s is empty" % table, replace_with(table, lambda p, o: open(p, "wb").close())),
        ]

    def unreadable(d, outside):
        os.chmod(os.path.join(d, "qb3.dbf"), 0)

    def unreadable_dir(d, outside):
        os.chmod(os.path.join(d, "s"), 0)

    def text_file(d, outside):
        with open(os.path.join(d, "qb3.dbf"), "wb") as f:
            f.write(b"root:x:0:0:root:/root:/bin/bash\n" * 40)

    cases += [("qb3.dbf unreadable", unreadable), ("folder s unreadable", unreadable_dir),
              ("qb3.dbf is a text file", text_file)]
    return cases


# ---------------------------------------------------------------------------

READ_ONLY = [
    lambda d, t: ["schema", t], lambda d, t: ["dump", t], lambda d, t: ["dump", "--json", t],
    lambda d, t: ["check", t], lambda d, t: ["check", d], lambda d, t: ["locks", t], lambda d, t: ["locks", d],
]
WRITING = [
    lambda d, t: ["check", "--repair", d],
    lambda d, t: ["set-remark", d, "Mei Lin", "Out", "--wait", "1"],
    lambda d, t: ["add-name", d, "Eve Adams", "--wait", "1"],
    lambda d, t: ["reset-admin-password", d, "--yes"],
]


def records_of(path):
    try:
        with open(path, "rb") as f:
            data = f.read(1 << 20)
    except OSError:
        return None
    return data


def lost_records(original, after):
    """Original records no longer at their place in the file after a repair."""
    h, r, n = layout(original)
    lost = 0
    for k in range(n):
        rec = original[h + k * r: h + (k + 1) * r]
        if after is None or after[h + k * r: h + (k + 1) * r] != rec:
            lost += 1
    return lost


def sweep_case(qbtool, work, template, n, table, name, damage, originals, names, nobody, stats, lock):
    """Damages a copy of the template one way and runs every command on it."""
    case = os.path.join(work, "case%04d" % n)
    os.mkdir(case)
    os.chmod(case, 0o755)
    d = os.path.join(case, "data")
    shutil.copytree(template, d, symlinks=True)
    # A damaged table outside the data directory, where the links lead: a
    # repair that followed a link would change it.
    outside = os.path.join(case, "outside.dbf")
    with open(outside, "wb") as f:
        f.write(names[:-1] + b"torn")
    damage(d, outside)
    outside_before = snapshot(case)[outside]
    local = Stats()
    t = os.path.join(d, table)
    try:
        big = os.path.isfile(t) and BIG_FILE <= os.path.getsize(t) <= (1 << 30)
    except OSError:
        big = False
    prefixes = [None] + ([nobody] if nobody and ("unreadable" in name or n % 10 == 0) else [])
    for prefix in prefixes:
        for make in READ_ONLY:
            cmd = make(d, t)
            before = snapshot(case)
            run(local, qbtool, cmd, name, prefix, big=big)
            if snapshot(case) != before:
                local.changed.append((name, cmd, prefix is not None))
    # Records intact: the original records are where they were.
    data = records_of(t) if os.path.isfile(t) and not os.path.islink(t) else None
    orig = originals.get(table)
    intact = (data is not None and orig is not None and lost_records(orig, data) == 0
              and os.path.getsize(t) < (1 << 30))
    for make in WRITING:
        run(local, qbtool, make(d, t), name, big=big)
        if make is WRITING[0] and intact:
            local.intact_repairs += 1
            lost = lost_records(orig, records_of(t))
            if lost:
                local.lost.append((name, lost))
        if snapshot(case).get(outside) != outside_before:
            local.changed.append((name, "wrote through a link out of the directory: %s" % make(d, t), False))
            outside_before = snapshot(case).get(outside)
    subprocess.run(["chmod", "-R", "u+rwx", case], stderr=subprocess.DEVNULL)
    shutil.rmtree(case, ignore_errors=True)
    with lock:
        stats.cases += 1
        stats.runs += local.runs
        stats.crashes += local.crashes
        stats.hangs += local.hangs
        stats.changed += local.changed
        stats.lost += local.lost
        stats.intact_repairs += local.intact_repairs
        for k, v in local.exit_codes.items():
            stats.exit_codes[k] = stats.exit_codes.get(k, 0) + v


def sweep(args):
    qbtool = os.path.abspath(args.qbtool)
    stats = Stats()
    work = tempfile.mkdtemp(prefix="qbsweep.", dir=args.workdir)
    os.chmod(work, 0o755)
    started = time.monotonic()
    try:
        template = os.path.join(work, "template")
        subprocess.run([qbtool, "init", template, "--demo"], check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(template, "qb3.dbf"), "rb") as f:
            names = f.read()
        originals = {}
        for t in ("qb3.dbf", "msg1.dbf", "moreinfo.dbf", "remarks.dbf", "qb3cfg3.dbf"):
            with open(os.path.join(template, t), "rb") as f:
                originals[t] = f.read()
        with open(os.path.join(template, "msg1.dbt"), "rb") as f:
            memo = f.read()

        cases = []
        for t in ("qb3.dbf", "msg1.dbf"):
            cases += [(t, c) for c in header_cases(t, originals[t])]
            cases += [(t, c) for c in descriptor_cases(t, originals[t])]
            cases += [(t, c) for c in record_cases(t, originals[t])]
            cases += [(t, c) for c in size_cases(t, originals[t])]
        for t in ("moreinfo.dbf", "remarks.dbf", "qb3cfg3.dbf"):
            cases += [(t, c) for c in header_cases(t, originals[t])[::4]]
            cases += [(t, c) for c in size_cases(t, originals[t])[::3]]
        cases += [("msg1.dbf", c) for c in memo_cases("msg1.dbt", memo)]
        cases += [(c[0].split()[0] if c[0].split()[0].endswith(".dbf") else "qb3.dbf", c) for c in special_cases()]
        if args.only:
            cases = [c for c in cases if args.only in c[1][0]]
        if args.quick:
            # One case of each kind that has gone wrong before: a header that
            # disagrees with its fields, links out of the directory, a FIFO
            # memo file, a 100 GB sparse table, non-files, unreadable files.
            wanted = ("qb3.dbf record length 0xFFFF", "qb3.dbf record length +1", "qb3.dbf header length -32",
                      "qb3.dbf links out of the directory", "msg1.dbt is a FIFO", "qb3.dbf is a FIFO",
                      "qb3.dbf sparse to %d bytes" % (100 << 30), "qb3.dbf is a directory", "qb3.dbf unreadable",
                      "msg1.dbf field 1 type X", "qb3cfg3.dbf is a FIFO")
            cases = [c for c in cases if c[1][0] in wanted]
        nobody = as_nobody_prefix()
        lock = threading.Lock()
        queue = list(enumerate(cases))
        queue.reverse()

        def worker():
            while True:
                with lock:
                    if not queue:
                        return
                    n, (table, (name, damage)) = queue.pop()
                sweep_case(qbtool, work, template, n, table, name, damage, originals, names, nobody, stats, lock)

        threads = [threading.Thread(target=worker) for _ in range(max(1, args.jobs))]
        for th in threads:
            th.start()
        for th in threads:
            th.join()
    finally:
        subprocess.run(["chmod", "-R", "u+rwx", work], stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)

    print("malformed inputs:            %d" % stats.cases)
    print("runs:                        %d (as nobody too: %s)" % (stats.runs, "yes" if as_nobody_prefix() else "no"))
    print("crashes:                     %d" % len(stats.crashes))
    print("hangs (over %d s):           %d" % (TIME_LIMIT, len(stats.hangs)))
    print("files changed by read-only:  %d" % len(stats.changed))
    print("repairs of intact records:   %d, records lost: %d" % (stats.intact_repairs,
                                                                  sum(x[1] for x in stats.lost)))
    print("exit statuses:               %s" % ", ".join("%d: %d" % kv for kv in sorted(stats.exit_codes.items())))
    print("time:                        %.0f s" % (time.monotonic() - started))
    for what, items in (("crash", stats.crashes), ("hang", stats.hangs), ("changed", stats.changed),
                        ("lost", stats.lost)):
        for it in items[:20]:
            print("  %s: %r" % (what, it))
    bad = stats.crashes or stats.hangs or stats.changed or stats.lost
    return 1 if bad else 0


# ---------------------------------------------------------------------------

def race(args):
    qbtool = os.path.abspath(args.qbtool)
    work = tempfile.mkdtemp(prefix="qbrace.", dir=args.workdir)
    d = os.path.join(work, "site")
    subprocess.run([qbtool, "init", d], check=True, stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + args.seconds
    lock = threading.Lock()
    added = {}  # name -> reported board index
    failed = {}  # exit status -> count
    tries = [0]

    def loop(k):
        i = 0
        while time.monotonic() < deadline:
            i += 1
            name = "P%d-%d" % (k, i)
            p = subprocess.run([qbtool, "add-name", d, name, "G%d" % k], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
            with lock:
                tries[0] += 1
                if p.returncode == 0:
                    added[name] = int(p.stdout.strip().rsplit(" ", 1)[1])
                else:
                    why = "%d: %s" % (p.returncode, p.stderr.strip().splitlines()[-1][:70] if p.stderr.strip() else "")
                    failed[why] = failed.get(why, 0) + 1

    threads = [threading.Thread(target=loop, args=(k,)) for k in range(args.loops)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()

    def dump(table):
        import json
        p = subprocess.run([qbtool, "dump", "--json", os.path.join(d, table)], stdout=subprocess.PIPE, text=True)
        return [json.loads(line) for line in p.stdout.splitlines()]

    live = {r["name"]: r["ident"] for r in dump("qb3.dbf") if not r["_deleted"] and r["_recno"] > 1}
    options = {r["ident"] for r in dump("qb3cfg3.dbf") if not r["_deleted"]}
    without_options = [n for n, i in added.items() if i not in options]
    not_on_board = [n for n, i in added.items() if live.get(n) != i]
    unreported = [n for n in live if n not in added]
    shutil.rmtree(work, ignore_errors=True)
    print("add-name runs:                   %d in %d s, %d loops" % (tries[0], args.seconds, args.loops))
    print("reported added:                  %d" % len(added))
    print("failed (non-zero exit):          %d" % sum(failed.values()))
    for why, count in sorted(failed.items(), key=lambda kv: -kv[1]):
        print("    %5d  %s" % (count, why))
    print("added without options record:    %d" % len(without_options))
    print("reported but not on the board:   %d" % len(not_on_board))
    print("on the board but not reported:   %d" % len(unreported))
    return 1 if without_options or not_on_board or unreported else 0


def main():
    ap = argparse.ArgumentParser()
    sub = ap.add_subparsers(dest="mode", required=True)
    s = sub.add_parser("sweep")
    s.add_argument("--qbtool", required=True)
    s.add_argument("--quick", action="store_true")
    s.add_argument("--workdir", default=None)
    s.add_argument("--jobs", type=int, default=1, help="cases run at once")
    s.add_argument("--only", default=None, help="only the cases whose name holds this text")
    r = sub.add_parser("race")
    r.add_argument("--qbtool", required=True)
    r.add_argument("--seconds", type=int, default=60)
    r.add_argument("--loops", type=int, default=8)
    r.add_argument("--workdir", default=None)
    args = ap.parse_args()
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    sys.exit(sweep(args) if args.mode == "sweep" else race(args))


if __name__ == "__main__":
    main()
