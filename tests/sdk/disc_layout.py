#!/usr/bin/python3
"""The tracks of a disc the container writers lay out, read from a JSON file
{"tracks": [TRACK, ...]} in disc order. Each TRACK has a kind (a key of
SIZES; "mode1sub" carries 96 bytes of subchannel), a source (data tracks: an
ISO image) or sectors and a seed (audio), and optionally a pregap (sectors
stored before INDEX 01), a session and the lba of INDEX 01 (by default just
after the previous track and this one's pregap).
"""
import json

SYNC = b'\x00' + b'\xff' * 10 + b'\x00'
SIZES = {'2048': (2048, 0), '2336': (2336, 8), 'mode1': (2352, 16),
         'mode2form1': (2352, 24), 'mode1sub': (2448, 16), 'audio': (2352, 0)}


def audio_bytes(seed, n):
    """n bytes of samples; the test side computes the same sequence."""
    return bytes(((i * 31 + seed * 7 + (i >> 9)) & 0xff) for i in range(n))


def bcd(n):
    return ((n // 10) << 4) | (n % 10)


def msf(lba):
    a = lba + 150
    return a // 4500, a // 75 % 60, a % 75


def raw_sector(kind, data, lba):
    """One sector of a data track in the track's format."""
    data = data.ljust(2048, b'\0')
    header = SYNC + bytes([bcd(v) for v in msf(lba)])
    subheader = bytes([0, 0, 0x08, 0]) * 2  # data, form 1
    edc, ecc = b'\xed' * 4, b'\xec' * 276
    if kind == '2048':
        return data
    if kind == '2336':
        return subheader + data + edc + ecc
    if kind == 'mode2form1':
        return header + b'\2' + subheader + data + edc + ecc
    sub = b'\x5a' * 96 if kind == 'mode1sub' else b''  # subchannel
    return header + b'\1' + data + edc + b'\0' * 8 + ecc + sub


def load(path):
    with open(path) as f:
        tracks = json.load(f)['tracks']
    end = 0
    for number, t in enumerate(tracks, 1):
        t['number'] = number
        t.setdefault('session', 1)
        t.setdefault('pregap', 0)
        t['sector_size'], t['data_offset'] = SIZES[t['kind']]
        if t['kind'] == 'audio':
            t.setdefault('seed', number)
        else:
            with open(t['source'], 'rb') as s:
                s.seek(0, 2)
                t['sectors'] = (s.tell() + 2047) // 2048
        t.setdefault('lba', end + t['pregap'])
        end = t['lba'] + t['sectors']
    return tracks


def stored_sectors(t):
    """The sectors of track t as a raw file stores them, pregap first."""
    size = t['sector_size']
    if t['kind'] == 'audio':
        samples = audio_bytes(t['seed'] + 100, t['pregap'] * size) + \
            audio_bytes(t['seed'], t['sectors'] * size)
        for i in range(t['pregap'] + t['sectors']):
            yield samples[i * size:(i + 1) * size]
        return
    for i in range(t['pregap']):
        yield raw_sector(t['kind'], b'', t['lba'] - t['pregap'] + i)
    with open(t['source'], 'rb') as s:
        for i in range(t['sectors']):
            yield raw_sector(t['kind'], s.read(2048), t['lba'] + i)


def sessions(tracks):
    """The tracks of each session, in order."""
    return [[t for t in tracks if t['session'] == s]
            for s in sorted({t['session'] for t in tracks})]


def write_track(out, t):
    """Writes track t's stored sectors to out; returns the bytes written."""
    return sum(out.write(sector) for sector in stored_sectors(t))
