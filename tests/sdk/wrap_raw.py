#!/usr/bin/python3
"""Wraps a 2048-byte-sector image into raw sectors, as a CD image dumped raw.

usage: wrap_raw.py mode1|mode2form1|2336 INPUT OUTPUT

mode1:     2352 bytes: sync, header (MSF address, mode 1), 2048 user bytes,
           EDC, zeroed intermediate bytes, ECC.
mode2form1: 2352 bytes: sync, header (mode 2), subheader twice, 2048 user
           bytes, EDC, ECC.
2336:      the mode 2 form 1 sector without sync and header.
The error-correction bytes are filled with a fixed pattern, not computed: a
reader must not depend on them.
"""
import sys

SYNC = b'\x00' + b'\xff' * 10 + b'\x00'


def bcd(n):
    return ((n // 10) << 4) | (n % 10)


def header(lba, mode):
    a = lba + 150
    return bytes([bcd(a // 4500), bcd(a // 75 % 60), bcd(a % 75), mode])


def main():
    kind, source, target = sys.argv[1:4]
    subheader = bytes([0, 0, 0x08, 0]) * 2  # data, form 1
    with open(source, 'rb') as f, open(target, 'wb') as out:
        lba = 0
        while True:
            data = f.read(2048)
            if not data:
                break
            data = data.ljust(2048, b'\0')
            if kind == 'mode1':
                sector = SYNC + header(lba, 1) + data + b'\xed' * 4 + b'\0' * 8 + b'\xec' * 276
            elif kind == 'mode2form1':
                sector = SYNC + header(lba, 2) + subheader + data + b'\xed' * 4 + b'\xec' * 276
            elif kind == '2336':
                sector = subheader + data + b'\xed' * 4 + b'\xec' * 276
            else:
                raise SystemExit('unknown kind ' + kind)
            out.write(sector)
            lba += 1


if __name__ == '__main__':
    main()
