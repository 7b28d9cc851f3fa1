#!/usr/bin/python3
"""Wraps a 2048-byte-sector image into raw sectors, as a CD image dumped raw
(error-correction bytes are a fixed pattern: a reader must not rely on them).

usage: wrap_raw.py mode1|mode2form1|2336 INPUT OUTPUT
"""
import sys

from disc_layout import raw_sector

kind, source, target = sys.argv[1:4]
if kind not in ('mode1', 'mode2form1', '2336'):
    raise SystemExit('unknown kind ' + kind)
with open(source, 'rb') as f, open(target, 'wb') as out:
    for lba, data in enumerate(iter(lambda: f.read(2048), b'')):
        out.write(raw_sector(kind, data, lba))
