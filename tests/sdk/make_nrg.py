#!/usr/bin/python3
"""make_nrg.py [--old] [--tao] [--hostile KIND] SPEC OUT

Writes a Nero image: the tracks' sectors, per session a cue sheet, a
disc-at-once (--tao: track-at-once) and a SINF chunk, then MTYP, END! and the
footer; --old: the older chunks (CUES, DAOI, ETNF) and footer (NERO).
"""
import argparse
import struct

import disc_layout

MODES = {'2048': 0x00, '2336': 0x03, 'mode1': 0x05, 'mode2form1': 0x06, 'audio': 0x07}
HOSTILE = ['past_end', 'into_footer', 'chunk_overflow', 'no_end', 'many_tracks',
           'track_past_file']


def chunk(name, payload):
    return name + struct.pack('>I', len(payload)) + payload


def cue(old, t, track, index, lba):
    entry = bytes([0x01 if t['kind'] == 'audio' else 0x41, track, index, 0])
    if old:
        return entry + bytes([0] + [disc_layout.bcd(v) for v in disc_layout.msf(lba)])
    return entry + struct.pack('>i', lba)


def session_chunks(a, ts):
    bcd = disc_layout.bcd
    cues = cue(a.old, ts[0], 0, 0, ts[0]['lba'] - max(ts[0]['pregap'], 150))
    for t in ts:
        cues += cue(a.old, t, bcd(t['number']), 0, t['lba'] - t['pregap'])
        cues += cue(a.old, t, bcd(t['number']), 1, t['lba'])
    cues += cue(a.old, ts[-1], 0xAA, 1, ts[-1]['lba'] + ts[-1]['sectors'])
    out = chunk(b'CUES' if a.old else b'CUEX', cues)
    if a.tao:
        fmt = '>IIIII' if a.old else '>QQIIQ'
        body = b''.join(struct.pack(fmt, t['index0'], t['end'] - t['index0'], MODES[t['kind']],
                                    t['lba'] - t['pregap'], 0) for t in ts)
        out += chunk(b'ETNF' if a.old else b'ETN2', body)
    else:
        offsets = '>III' if a.old else '>QQQ'
        body = b''.join(b'\0' * 12 + struct.pack('>HBBBB', t['sector_size'], MODES[t['kind']],
                                                 0, 0, 1) +
                        struct.pack(offsets, t['index0'], t['index1'], t['end']) for t in ts)
        kinds = {t['kind'] for t in ts}
        toc = 0 if kinds == {'audio'} else 0x2001 if kinds & {'2336', 'mode2form1'} else 1
        head = struct.pack('>I', 22 + len(body)) + b'\0' * 14 + \
            struct.pack('>HBB', toc, ts[0]['number'], ts[-1]['number'])
        out += chunk(b'DAOI' if a.old else b'DAOX', head + body)
    return out + chunk(b'SINF', struct.pack('>I', len(ts)))


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--old', action='store_true')
    p.add_argument('--tao', action='store_true')
    p.add_argument('--hostile', choices=HOSTILE)
    p.add_argument('spec')
    p.add_argument('out')
    a = p.parse_args()
    tracks = disc_layout.load(a.spec)
    with open(a.out, 'wb') as out:
        pos = 0
        for t in tracks:
            t['index0'] = pos
            t['index1'] = pos + t['pregap'] * t['sector_size']
            pos += disc_layout.write_track(out, t)
            t['end'] = pos
        if a.hostile == 'track_past_file':
            tracks[-1]['end'] += 1 << 30
        chunks = b''
        for ts in disc_layout.sessions(tracks):
            chunks += session_chunks(a, (ts * 10000)[:10000] if a.hostile == 'many_tracks' else ts)
        chunks += chunk(b'MTYP', struct.pack('>I', 1)) + chunk(b'END!', b'')
        if a.hostile == 'chunk_overflow':
            chunks = chunks[:4] + struct.pack('>I', 0xFFFFFFF0) + chunks[8:]
        if a.hostile == 'no_end':
            chunks = chunks.replace(b'END!', b'RELO')
        first = {'past_end': pos + len(chunks) + 4096, 'into_footer': pos + len(chunks)}
        first = first.get(a.hostile, pos)
        out.write(chunks)
        out.write(b'NERO' + struct.pack('>I', first) if a.old else
                  b'NER5' + struct.pack('>Q', first))


main()
