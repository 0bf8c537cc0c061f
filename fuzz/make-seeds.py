#!/usr/bin/env python3
"""Writes a few hand-made starting inputs into corpus/<target>/ (seed-*).

The layouts are those of FuzzEntries.h. Run once; libFuzzer grows the corpus
from here and run-fuzz.sh merge keeps it small.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def table(fields, records, version=None):
    memo = any(t == 'M' for _, t, _, _ in fields)
    n = len(fields)
    hlen = 32 * n + 33
    rlen = 1 + sum(l for _, _, l, _ in fields)
    v = version if version is not None else (0x83 if memo else 0x03)
    head = struct.pack('<BBBBIHH20x', v, 126, 3, 14, len(records), hlen, rlen)
    desc = b''
    for name, typ, length, dec in fields:
        desc += name.upper().encode().ljust(11, b'\0') + typ.encode() + b'\0' * 4 + bytes([length, dec]) + b'\0' * 14
    body = b''.join(records)
    return head + desc + b'\r' + body + b'\x1a'


def memo_file(texts):
    out = bytearray(512)
    blocks = []
    data = bytearray()
    for t in texts:
        blocks.append(1 + len(data) // 512)
        chunk = t.encode('latin-1') + b'\x1a'
        chunk += b'\0' * (-len(chunk) % 512)
        data += chunk
    struct.pack_into('<I', out, 0, 1 + len(data) // 512)
    struct.pack_into('<I', out, 32, len(texts))
    return bytes(out + data) if texts else bytes(out) + b'\x1a', blocks


def split(dbf, dbt, flags=0):
    return struct.pack('<H', len(dbf) | flags) + dbf + dbt


def write(target, name, data):
    d = os.path.join(HERE, 'corpus', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, 'seed-' + name), 'wb') as f:
        f.write(data)


names = table([('ident', 'N', 4, 0), ('inuse', 'L', 1, 0), ('name', 'C', 12, 0)],
              [b'    0TAdmin       ', b'*   1FOld         ', b'    2?Maria Smith '])
dbt, blocks = memo_file(['Please call\r\nback today', 'x' * 600, ''])
mixed = table([('ident', 'N', 4, 0), ('name', 'C', 10, 0), ('amount', 'N', 8, 2), ('notes', 'M', 10, 0),
               ('day', 'D', 8, 0)],
              [b'   1' + b'first     ' + b'   12.50' + str(blocks[0]).rjust(10).encode() + b'20260314',
               b'*  2' + b'second    ' + b'********' + str(blocks[1]).rjust(10).encode() + b'        ',
               b'   3' + b'third     ' + b'   -0.01' + str(blocks[2]).rjust(10).encode() + b'19991231'])
dbase2 = bytes([2]) + struct.pack('<H', 1) + bytes([3, 14, 99]) + struct.pack('<H', 6) \
    + b'IDENT'.ljust(11, b'\0') + b'N' + bytes([5, 0, 0, 0]) + b'\r' + b'\0' * (521 - 8 - 17) + b' 1234\x1a'
torn = mixed[:-1] + b' 4   fourt'

for name, dbf, memo in [('names', names, b''), ('mixed', mixed, dbt), ('dbase2', dbase2, b''), ('torn', torn, dbt)]:
    write('table', name, b'\x00' + split(dbf, memo))
    write('table', name + '-write', b'\x01' + split(dbf, memo))
    write('check', name, split(dbf, memo))
    write('locate', name, b'\x01\x81\x02ma' + split(dbf, memo))
    write('locate', name + '-contained', b'\x64\x83\x04CALL' + split(dbf, memo, 0x4000))

write('profile', 'local', b'\x03[SYS]\r\nH=1234\r\nLastUser=maria\r\n\r\n[maria]\r\nRefresh=$10\r\nSound=yes\r\n; note\r\n')
write('profile', 'color', b'\x10[colors]\nIn=0x00FF00\nOut = 255\n[broken\nkey without value\n=novalue\n')


def settings(options, user, local, colour=b''):
    return bytes([options, len(user)]) + user + struct.pack('<H', len(local)) + local + colour


local_ini = (b'[SYS]\ntest=123\nH=77\nmsgRate=120\nrefresh=8\n\n[State]\nfilter=Sales\nSortWay=0\nfont=12\n'
             b'SortFld=2\noGrn=tttttttfttttttttfftttfttttttttt\noVal=fftftttftftttftfftffffftttttttt\nName=\n\n'
             b'[State+maria]\nName=Maria Smith\nPW="sdfk`"\nK1=In at 9\nK2= Out \n\n'
             b'[Form]\ntop=40\nleft=-5\nw=10\nH=700\n\n[Header]\nW0=140\nW1=-3\nW2=77\nW3=190\nW4=74\n\n'
             b'[BKcolor]\n0=65280\n1=255\n10=12632256\n\n[Position]\nisIconic=0\nAppIconic=1\n\n'
             b'[Site]\nlabel1=Lunch\nlabel3=Meeting\nMsgColor=y\nEIChg=yes\n')
colour_ini = b'[BKlock]\r\n0=1\r\n3=yes\r\n[BKcolor]\r\n0=16711680\r\n3=$00FF00\r\n'
write('settings', 'workstation', settings(0x03, b'maria', local_ini, colour_ini))
write('settings', 'own-group', settings(0x0C, b'j doe', local_ini.replace(b'filter=Sales', b'filter=~~')))
write('settings', 'empty', settings(0x02, b'', b''))
write('settings', 'damaged', settings(0x01, b'x]y', b'[State\r\r\nfilter=a\rb\nfont=999\n[State+x+y\nPW=\x01\x02\n', b'[BKlock\n0=1\n'))
