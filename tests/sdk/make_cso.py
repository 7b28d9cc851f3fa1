#!/usr/bin/python3
"""Writes the one data track of a track list (kind "2048") as a compressed ISO.

    make_cso.py [--version 1|2] [--zso] [--block N] [--align N]
                [--store-every N] [--header-size N] [--fault NAME] SPEC OUT

Version 1 deflates every block, version 2 deflates or (every other block)
uses the lz4 command's blocks, ZSO only LZ4; index bit 31 marks a stored
block (version 2: an LZ4 one). --header-size: the header's own size field,
which version 1 writers fill in as they please. --fault spoils the index (descending,
past_end), the header (huge_total, block_zero, block_3000) or the block
holding MARKER (overflow, or one of the LZ4 sequences of BAD_LZ4).
"""
import argparse
import struct
import subprocess
import zlib

import disc_layout

MARKER = b'HOSTILE-BLOCK-MARKER'


def lz4_length(n):
    return b'\xff' * (n // 255) + bytes([n % 255])


# Sequences a decoder must refuse: a match from before the start, from offset
# 0, literals past the input, a match one byte past the 2048-byte block.
BAD_LZ4 = {
    'lz4_before_start': b'\x1fA\x02\x00' + lz4_length(2047 - 19),
    'lz4_offset_zero': b'\x1fA\x00\x00' + lz4_length(2047 - 19),
    'lz4_literals_past_input': b'\xf0' + lz4_length(2048 - 15) + b'A' * 40,
    'lz4_match_past_block': b'\x1fA\x01\x00' + lz4_length(2048 - 19),
}


def lz4_blocks(path, block):
    """(data, stored) of each block of the lz4 command's frame."""
    frame = subprocess.run(['lz4', '-q', '-B%d' % block, '-BI', '--no-frame-crc', '-c', path],
                           check=True, capture_output=True).stdout
    at = 6 + (8 if frame[4] & 8 else 0) + 1  # magic, FLG, BD, content size, HC
    while True:
        size, = struct.unpack_from('<I', frame, at)
        if size == 0:
            return
        n = size & 0x7fffffff
        yield frame[at + 4:at + 4 + n], bool(size >> 31)
        at += 4 + n


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--version', type=int, default=1)
    p.add_argument('--zso', action='store_true')
    p.add_argument('--block', type=int, default=2048)
    p.add_argument('--align', type=int, default=0)
    p.add_argument('--store-every', type=int, default=0)
    p.add_argument('--header-size', type=int, default=24)
    p.add_argument('--fault', default='')
    p.add_argument('spec')
    p.add_argument('out')
    a = p.parse_args()
    track, = disc_layout.load(a.spec)
    assert track['kind'] == '2048'
    with open(track['source'], 'rb') as f:
        iso = f.read()
    bs, version = a.block, 1 if a.zso else a.version
    blocks = [iso[i:i + bs] for i in range(0, len(iso), bs)]
    target = iso.find(MARKER) // bs
    tool = lz4_blocks(track['source'], bs) if a.zso or version == 2 else None
    unit = 1 << a.align
    start = 24 + 4 * (len(blocks) + 1)  # the file offset of body
    index, body = [], bytearray()
    for n, data in enumerate(blocks):
        body.extend(bytes(-(start + len(body)) % unit))
        use_lz4 = a.zso or (version == 2 and n % 2)
        packed, stored = next(tool) if tool else (b'', False)
        if not use_lz4:
            packed, stored = zlib.compress(data, 9, -15), False
        if a.fault == 'overflow' and n == target:
            packed, stored = zlib.compress(data * 2, 9, -15), False
        elif a.fault in BAD_LZ4 and n == target:
            packed, stored = BAD_LZ4[a.fault], False
        else:
            stored = stored or (a.store_every and n % a.store_every == 0) or len(packed) >= len(data)
        if version == 2 and not stored and len(packed) + -len(packed) % unit >= bs:
            stored = True  # with its padding no smaller than a stored block
        if stored:
            packed = data.ljust(bs, b'\0') if version == 2 else data
        flag = (stored and version == 1) or (version == 2 and not stored and use_lz4)
        index.append((start + len(body)) >> a.align | (0x80000000 if flag else 0))
        body.extend(packed)
    body.extend(bytes(-(start + len(body)) % unit))
    index.append((start + len(body)) >> a.align)
    if a.fault == 'descending':
        index[1], index[2] = index[2], index[1]
    if a.fault == 'past_end':
        index[-1] += (1 << 20) >> a.align
    total = 1 << 50 if a.fault == 'huge_total' else len(iso)
    bs = {'block_zero': 0, 'block_3000': 3000}.get(a.fault, bs)
    header = (b'ZISO' if a.zso else b'CISO') + struct.pack('<IQIBBH', a.header_size, total, bs,
                                                            version, a.align, 0)
    with open(a.out, 'wb') as f:
        f.write(header + b''.join(struct.pack('<I', e) for e in index) + body)


main()
