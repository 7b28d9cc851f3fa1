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

from disc_layout import raw_sector

kind, source, target = sys.argv[1:4]
if kind not in ('mode1', 'mode2form1', '2336'):
    raise SystemExit('unknown kind ' + kind)
with open(source, 'rb') as f, open(target, 'wb') as out:
    for lba, data in enumerate(iter(lambda: f.read(2048), b'')):
        out.write(raw_sector(kind, data, lba))
