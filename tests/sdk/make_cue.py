#!/usr/bin/python3
"""Writes a cue sheet OUT and its BIN file (OUT's stem + ".bin") of a track list.

usage: make_cue.py [options] SPEC OUT
  --split           one BIN per track: OUT's stem + " (Track NN).bin"
  --crlf            lines end in CR LF
  --latin1          the BIN's name ends in "é", written in Latin-1
  --no-quote        names without quotes
  --motorola        audio samples big-endian, files of type MOTOROLA
  --pregap-command  pregaps given as PREGAP, not stored (INDEX 00)
"""
import os
import sys

import disc_layout

MODES = {'2048': 'MODE1/2048', 'mode1': 'MODE1/2352', '2336': 'MODE2/2336',
         'mode2form1': 'MODE2/2352', 'audio': 'AUDIO'}


def time(frames):
    return '%02d:%02d:%02d' % (frames // 4500, frames // 75 % 60, frames % 75)


def main():
    args = sys.argv[1:]
    options = {a for a in args if a.startswith('--')}
    spec, out = [a for a in args if not a.startswith('--')]
    tracks = disc_layout.load(spec)
    folder, stem = os.path.split(os.path.splitext(out)[0])
    stem += 'é' if '--latin1' in options else ''
    given = '--pregap-command' in options
    lines, names, bin_file, frames, end = [], set(), None, 0, 0
    for t in tracks:
        name = stem + (' (Track %02d).bin' % t['number'] if '--split' in options else '.bin')
        if name not in names:
            names.add(name)
            bin_file = open(os.path.join(folder, name), 'wb')
            kind = 'MOTOROLA' if '--motorola' in options else 'BINARY'
            shown = name if '--no-quote' in options else '"%s"' % name
            lines.append('FILE %s %s' % (shown, kind))
            frames = 0
        lines.append('  TRACK %02d %s' % (t['number'], MODES[t['kind']]))
        gap = t['lba'] - end - (0 if given else t['pregap'])
        if gap:
            lines.append('    PREGAP ' + time(gap))
        sectors = list(disc_layout.stored_sectors(t))
        if given:
            sectors = sectors[t['pregap']:]
        elif t['pregap']:
            lines.append('    INDEX 00 ' + time(frames))
            frames += t['pregap']
        lines.append('    INDEX 01 ' + time(frames))
        frames += t['sectors']
        end = t['lba'] + t['sectors']
        for s in sectors:
            if t['kind'] == 'audio' and '--motorola' in options:
                s = bytes(s[i ^ 1] for i in range(len(s)))
            bin_file.write(s)
    eol = '\r\n' if '--crlf' in options else '\n'
    encoding = 'latin-1' if '--latin1' in options else 'utf-8'
    with open(out, 'wb') as f:
        f.write((eol.join(lines) + eol).encode(encoding))


if __name__ == '__main__':
    main()
