#!/usr/bin/python3
"""Writes a CloneCD image: OUT (.ccd), its raw sectors in OUT's stem + ".img"
(each session from its first pregap to its lead-out) and an empty .sub.

make_ccd.py [--bare] [--break FAULT] SPEC OUT
  --bare   no [TRACK N] sections: no pregaps, modes only in the sectors
  --break  entries (10,000 [Entry] sections), missing (no .img), short
           (the .img cut after the first track)
"""
import argparse
import os

import disc_layout

p = argparse.ArgumentParser()
p.add_argument('--bare', action='store_true')
p.add_argument('--break', dest='fault')
p.add_argument('spec')
p.add_argument('out')
a = p.parse_args()
tracks = disc_layout.load(a.spec)
stem = os.path.splitext(a.out)[0]
groups = disc_layout.sessions(tracks)
MODES = {'audio': 0, 'mode1': 1, 'mode2form1': 2}

with open(stem + '.img', 'wb') as img:
    for group in groups:
        at = group[0]['lba'] - group[0]['pregap']
        for t in group:
            # Sectors between tracks beyond the pregap are stored as zeros.
            img.write(b'\0' * 2352 * (t['lba'] - t['pregap'] - at))
            disc_layout.write_track(img, t)
            at = t['lba'] + t['sectors']
    if a.fault == 'short':
        img.truncate(2352 * (tracks[0]['pregap'] + tracks[0]['sectors']))
if a.fault == 'missing':
    os.remove(stem + '.img')
open(stem + '.sub', 'wb').close()

entries = []


def entry(session, point, control, lba):
    m, s, f = disc_layout.msf(lba)
    entries.append('Session=%d\nPoint=0x%02x\nADR=0x01\nControl=0x%02x\nTrackNo=0\nAMin=0\n'
                   'ASec=0\nAFrame=0\nALBA=-150\nZero=0\nPMin=%d\nPSec=%d\nPFrame=%d\nPLBA=%d\n'
                   % (session, point, control, m, s, f, lba))


text = ''
for n, group in enumerate(groups, 1):
    first, last = group[0], group[-1]
    ctl = 0 if first['kind'] == 'audio' else 4
    text += '[Session %d]\nPreGapMode=%d\nPreGapSubC=0\n' % (n, MODES[first['kind']])
    entry(n, 0xA0, ctl, first['number'] * 4500 - 150)
    entry(n, 0xA1, ctl, last['number'] * 4500 - 150)
    entry(n, 0xA2, ctl, last['lba'] + last['sectors'])
    for t in group:
        entry(n, t['number'], 0 if t['kind'] == 'audio' else 4, t['lba'])
if a.fault == 'entries':
    entries += ['Point=0x01\n'] * 10000
for i, e in enumerate(entries):
    text += '[Entry %d]\n%s' % (i, e)
for group in [] if a.bare else groups:
    # Index addresses count from the session's first stored sector.
    base = group[0]['lba'] - group[0]['pregap']
    for t in group:
        text += '[TRACK %d]\nMODE=%d\n' % (t['number'], MODES[t['kind']])
        if t['pregap']:
            text += 'INDEX 0=%d\n' % (t['lba'] - t['pregap'] - base)
        text += 'INDEX 1=%d\n' % (t['lba'] - base)
head = '[CloneCD]\nVersion=3\n[Disc]\nTocEntries=%d\nSessions=%d\nDataTracksScrambled=0\n' \
    'CDTextLength=0\n' % (len(entries), len(groups))
with open(a.out, 'w', newline='\r\n') as out:
    out.write(head + text)
