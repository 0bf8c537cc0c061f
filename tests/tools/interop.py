#!/usr/bin/python3
"""Cross-checks our table files against two independent dBASE libraries.

  interop.py write DIR
      writes test tables with python3-dbf; prints "FILE CODEPAGE" per table
  interop.py compare-dump QBTOOL FILE CODEPAGE
      compares `qbtool dump --json` of FILE with python3-dbfread's reading
  interop.py compare-expected FILE CODEPAGE EXPECTED
      compares python3-dbfread's reading of FILE with EXPECTED, a file of
      JSON lines in the dump form (what our engine was asked to write)
  interop.py bench-reference FILE N
      writes the benchmark schema with python3-dbf, records 1..N
  interop.py bench-checksum FILE
      prints "records=<n> checksum=<c>" computed with python3-dbfread

Exit status 0 on agreement, 1 on a difference (printed), 2 on bad use.
Values are normalised to the dump form: C text without trailing blanks,
N/F integers or numbers (blank 0), L booleans, D "YYYYMMDD" or "", M text
with CR LF / CR line ends as "\\n" ("" when none).
"""
import datetime
import json
import os
import subprocess
import sys

import dbf
import dbfread


def write_tables(directory):
    made = []

    people = os.path.join(directory, 'people.dbf')
    t = dbf.Table(people, 'name C(20); age N(3,0); pay N(9,2); ok L; born D; notes M',
                  dbf_type='db3', codepage='cp437')
    t.open(dbf.READ_WRITE)
    t.append(('Müller', 42, 1234.5, True, datetime.date(1970, 3, 4), 'line one\r\nline two\r\nthree'))
    t.append(('Gödel', 0, -0.25, False, None, ''))
    t.append(('Ærö Straße', 7, 1.0, True, datetime.date(2001, 12, 31), 'x' * 700))
    t.append(('say "hi" \\ back', 999, -9999.99, False, datetime.date(1999, 1, 1), 'ümlaut\r\nÆ'))
    t.append(('', None, None, None, None, None))
    dbf.delete(t[1])
    dbf.delete(t[4])
    t.close()
    made.append((people, '437'))

    nordic = os.path.join(directory, 'nordic.dbf')
    t = dbf.Table(nordic, 'town C(30); pop N(10,0); share N(6,3)', dbf_type='db3', codepage='cp850')
    t.open(dbf.READ_WRITE)
    t.append(('Ærø', 6000, 0.125))
    t.append(('Øster Åby', -12, -1.5))
    t.append(('Tórshavn', 1234567890, 99.999))
    t.close()
    made.append((nordic, '850'))

    wide = os.path.join(directory, 'wide.dbf')
    t = dbf.Table(wide, 'code C(254); flag L; small N(1,0)', dbf_type='db3', codepage='cp437')
    t.open(dbf.READ_WRITE)
    for i in range(40):
        t.append(('row %d ' % i + 'é' * (i % 7), i % 2 == 0, i % 10))
    t.close()
    made.append((wide, '437'))

    for path, cp in made:
        print(path, cp)


def read_normalised(path, codepage):
    """Every record in file order, deleted ones included, in the dump form."""
    encoding = 'cp' + codepage
    table = dbfread.DBF(path, encoding=encoding, char_decode_errors='strict')
    fields = table.fields
    # dbfread yields live and deleted records separately; the deletion flags
    # in the file give their order.
    with open(path, 'rb') as f:
        raw = f.read()
    flags = []
    pos = table.header.headerlen
    while pos < len(raw) and raw[pos:pos + 1] in (b' ', b'*'):
        flags.append(raw[pos:pos + 1])
        pos += table.header.recordlen
    live = iter(table._iter_records(b' '))
    deleted = iter(table._iter_records(b'*'))
    out = []
    for n, flag in enumerate(flags, start=1):
        rec = next(deleted if flag == b'*' else live)
        obj = {'_recno': n, '_deleted': flag == b'*'}
        for fd in fields:
            obj[fd.name.lower()] = normalise(fd, rec[fd.name])
        out.append(obj)
    return out


def normalise(fd, value):
    t = fd.type
    if t in 'NF':
        if value is None:
            return 0
        return int(value) if fd.decimal_count == 0 else float(value)
    if t == 'L':
        return bool(value)
    if t == 'D':
        return '' if value is None else value.strftime('%Y%m%d')
    if t == 'M':
        if value is None:
            return ''
        return value.replace('\r\n', '\n').replace('\r', '\n')
    return value


def compare(expected, actual, what):
    if len(expected) != len(actual):
        print('%s: %d records expected, %d read' % (what, len(expected), len(actual)))
        return 1
    bad = 0
    for e, a in zip(expected, actual):
        if e != a or [type(e[k]) is bool for k in e] != [type(a.get(k)) is bool for k in e]:
            print('%s: record %s differs:\n  expected %s\n  actual   %s'
                  % (what, e.get('_recno'), json.dumps(e, ensure_ascii=False), json.dumps(a, ensure_ascii=False)))
            bad += 1
    return 1 if bad else 0


def load_json_lines(text):
    return [json.loads(line) for line in text.splitlines() if line.strip()]


BENCH_FIELDS = ('ident N(4,0); chgcntr N(3,0); inuse L; name C(40); remark C(40); group C(40); '
              'misc C(40); color C(40); time N(10,5); msgcnt N(4,0); password C(10)')
COLOURS = ['red', 'green', 'blue', 'white', 'black']


def bench_reference(path, n):
    t = dbf.Table(path, BENCH_FIELDS, dbf_type='db3', codepage='cp437')
    t.open(dbf.READ_WRITE)
    for i in range(1, n + 1):
        t.append((i % 10000, i % 1000, i % 3 != 0, 'Person %d' % i, 'In' if i % 2 else 'Out',
                  'Group %d' % (i % 17), '', COLOURS[i % 5], (i % 1440) / 60, (7 * i) % 10000,
                  'pw%d' % (i % 100000)))
    t.close()


def bench_checksum(path):
    table = dbfread.DBF(path, encoding='cp437', raw=True)
    total = 0
    count = 0
    for rec in table:
        count += 1
        num = lambda b: int(b.strip() or b'0')
        total += num(rec['IDENT']) + num(rec['CHGCNTR']) + num(rec['MSGCNT'])
        total += 1 if rec['INUSE'] in (b'T', b't', b'Y', b'y') else 0
        for name in ('NAME', 'REMARK', 'GROUP', 'MISC', 'COLOR', 'PASSWORD'):
            total += len(rec[name].rstrip(b' \0'))
        # Exact decimal arithmetic: the stored text has five decimals.
        text = rec['TIME'].strip().decode('ascii') or '0'
        whole, _, frac = text.partition('.')
        neg = whole.startswith('-')
        scaled = abs(int(whole or '0')) * 100000 + int((frac + '00000')[:5])
        total += -scaled if neg else scaled
    print('records=%d checksum=%d' % (count, total % (1 << 64)))


def main(argv):
    if len(argv) >= 3 and argv[1] == 'write':
        write_tables(argv[2])
        return 0
    if len(argv) == 5 and argv[1] == 'compare-dump':
        qbtool, path, cp = argv[2:5]
        run = subprocess.run([qbtool, 'dump', path, '--json', '--codepage', cp], capture_output=True)
        if run.returncode != 0:
            print('qbtool dump failed (%d): %s' % (run.returncode, run.stderr.decode(errors='replace')))
            return 1
        ours = load_json_lines(run.stdout.decode('utf-8'))
        return compare(read_normalised(path, cp), ours, path)
    if len(argv) == 5 and argv[1] == 'compare-expected':
        path, cp, expected_file = argv[2:5]
        with open(expected_file, encoding='utf-8') as f:
            expected = load_json_lines(f.read())
        return compare(expected, read_normalised(path, cp), path)
    if len(argv) == 4 and argv[1] == 'bench-reference':
        bench_reference(argv[2], int(argv[3]))
        return 0
    if len(argv) == 3 and argv[1] == 'bench-checksum':
        bench_checksum(argv[2])
        return 0
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
