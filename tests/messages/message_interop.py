#!/usr/bin/python3
"""Reads a message table with python3-dbfread, independently of our code.

  message_interop.py read FILE
      prints one JSON object per record: no, read, fromid, time, from, subj,
      flags (the flag byte) and lines (the message text), unscrambling
      scrambled messages with the stations' key

The window code page is Windows-1252, the stored one CP437. Bytes map
between them character for character; the bytes either page lacks are
paired in ascending order, so every byte has a partner.
"""
import json
import sys

import dbfread

KEY = (0xA7, 0xD3)


def byte_maps():
    to_oem = {}
    used = set()
    for b in range(256):
        if b < 128:
            to_oem[b] = b
            used.add(b)
            continue
        try:
            o = bytes([b]).decode('cp1252').encode('cp437')[0]
        except (UnicodeDecodeError, UnicodeEncodeError):
            continue
        if o >= 128 and o not in used:
            to_oem[b] = o
            used.add(o)
    free = [o for o in range(128, 256) if o not in used]
    for b in range(128, 256):
        if b not in to_oem:
            to_oem[b] = free.pop(0)
    return to_oem, {o: a for a, o in to_oem.items()}


TO_OEM, TO_ANSI = byte_maps()


def decode_lines(raw):
    lines = raw.replace(b'\r\n', b'\n').split(b'\n') if raw else []
    if lines and lines[0] and TO_ANSI[lines[0][0]] == 127:
        out = []
        for i, line in enumerate(lines):
            ansi = bytes(TO_ANSI[b] for b in line)
            if i == 0:
                ansi = ansi[1:]
            clear = bytes(c ^ KEY[k % 2] for k, c in enumerate(ansi))
            out.append(clear.decode('cp1252'))
        return out, True
    return [line.decode('cp437') for line in lines], False


def main(argv):
    if len(argv) != 3 or argv[1] != 'read':
        print(__doc__)
        return 2
    # Raw field bytes, and the memos through a byte-preserving decoding.
    raw = dbfread.DBF(argv[2], raw=True)
    memos = dbfread.DBF(argv[2], encoding='latin-1', char_decode_errors='strict')
    for rec, full in zip(raw, memos):
        text = lambda name: rec[name].rstrip(b' ').decode('cp437')
        num = lambda name: int(rec[name].strip() or b'0')
        state = rec['STATE']
        lines, scrambled = decode_lines((full['MSG'] or '').encode('latin-1'))
        print(json.dumps({
            'no': num('NO'), 'read': rec['READ'] in (b'T', b't', b'Y', b'y'), 'fromid': num('FROMID'),
            'time': text('TIME'), 'from': text('FROM'), 'subj': text('SUBJ'),
            'flags': TO_ANSI[state[0]] if state else 0, 'scrambled': scrambled, 'lines': lines,
        }, ensure_ascii=False))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
