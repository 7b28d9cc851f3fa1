#!/usr/bin/python3
"""Writes a media descriptor image: OUT (.mds) and its sectors in OUT's stem
+ ".mdf", each track's stored pregap just before the offset its block gives.

make_mds.py [--name NAME] [--wide] [--break FAULT] SPEC OUT
  --name   the MDF's name as the filename block gives it (default "*.mdf")
  --wide   that name in UTF-16
  --break  sessions (60000), tracks (200 in a session), offsets or extra
           (blocks past the end), past_mdf (a track longer than the MDF),
           missing (no MDF)
"""
import argparse
import os
import struct

import disc_layout

MODES = {'2048': 0xAA, 'mode1': 0xAA, 'mode1sub': 0xAA, 'mode2form1': 0xAC, 'audio': 0xA9}

p = argparse.ArgumentParser()
p.add_argument('--name')
p.add_argument('--wide', action='store_true')
p.add_argument('--break', dest='fault')
p.add_argument('spec')
p.add_argument('out')
a = p.parse_args()
tracks = disc_layout.load(a.spec)
mdf_path = os.path.join(os.path.dirname(a.out), a.name) if a.name else \
    os.path.splitext(a.out)[0] + '.mdf'

with open(mdf_path, 'wb') as mdf:
    for t in tracks:
        t['offset'] = mdf.tell() + t['pregap'] * t['sector_size']
        disc_layout.write_track(mdf, t)
if a.fault == 'missing':
    os.remove(mdf_path)


def block(mode, sub, ctl, point, lba, extra=0, size=0, start=0, offset=0, files=0, name_at=0):
    return struct.pack('<8B4BIH18xIQII24x', mode, sub, 0x10 | ctl, 0, point, 0, 0, 0, 0,
                       *disc_layout.msf(lba), extra, size, start, offset, files, name_at)


groups = disc_layout.sessions(tracks)
count = [len(g) if a.fault != 'tracks' or i else 200 for i, g in enumerate(groups)]
blocks_at = 88 + 24 * len(groups)
extra_at = blocks_at + 80 * sum(3 + n for n in count)
file_at = extra_at + 8 * len(tracks)
name = (a.name or '*.mdf').encode('utf-16-le' if a.wide else 'ascii') + b'\0\0'

head = struct.pack('<16sBBHH58xII', b'MEDIA DESCRIPTOR', 1, 3, 1,
                   60000 if a.fault == 'sessions' else len(groups), 88, 0)
session_blocks = blocks = extras = b''
at = blocks_at
for i, (group, n) in enumerate(zip(groups, count)):
    first, last = group[0], group[-1]
    end = last['lba'] + last['sectors']
    session_blocks += struct.pack('<iiHBBHHII', first['lba'] - first['pregap'] - 150 * (i == 0),
                                  end, i + 1, 3 + n, 3, first['number'], last['number'], 0,
                                  0xFFFFFF00 if a.fault == 'offsets' else at)
    at += 80 * (3 + n)
    ctl = 0 if first['kind'] == 'audio' else 4
    blocks += block(0, 0, ctl, 0xA0, first['number'] * 4500 - 150)
    blocks += block(0, 0, ctl, 0xA1, last['number'] * 4500 - 150)
    blocks += block(0, 0, ctl, 0xA2, end)
    entries = []
    for t in group:
        e = extra_at + 8 * (t['number'] - 1)
        if a.fault == 'extra' and t['number'] == 1:
            e = 0x7FFFFFF0
        entries.append(block(MODES[t['kind']], 8 if t['kind'] == 'mode1sub' else 0,
                             0 if t['kind'] == 'audio' else 4, t['number'], t['lba'], e,
                             t['sector_size'], t['lba'], t['offset'], 1, file_at))
        length = 10 ** 9 if a.fault == 'past_mdf' else t['sectors']
        extras += struct.pack('<II', t['pregap'], length)
    blocks += b''.join(entries) if n == len(group) else entries[0] * n
with open(a.out, 'wb') as out:
    out.write(head + session_blocks + blocks + extras +
              struct.pack('<IIII', file_at + 16, int(a.wide), 0, 0) + name)
