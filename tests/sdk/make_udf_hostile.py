#!/usr/bin/python3
"""Damages the UDF side of a well-formed image in one place, so that the damage
is the only fault: the root folder's file entry gets a wrong tag checksum.

usage: make_udf_hostile.py root-checksum INPUT OUTPUT
"""
import struct
import sys

BS = 2048


def u32(img, off):
    return struct.unpack_from('<I', img, off)[0]


kind, src, dst = sys.argv[1:4]
if kind != 'root-checksum':
    raise SystemExit('unknown kind ' + kind)
with open(src, 'rb') as f:
    img = bytearray(f.read())
# The main descriptor sequence the anchor names: the first logical volume and
# partition descriptors in it lead to the file set, and that to the root.
length, loc = struct.unpack_from('<II', img, 256 * BS + 16)
descs = [img[(loc + i) * BS:(loc + i + 1) * BS] for i in range(length // BS)]
lvd = next(d for d in descs if struct.unpack_from('<H', d)[0] == 6)
part = next(u32(d, 188) for d in descs if struct.unpack_from('<H', d)[0] == 5)
root = (part + u32(img, (part + u32(lvd, 252)) * BS + 404)) * BS
img[root + 4] ^= 0xFF
with open(dst, 'wb') as f:
    f.write(img)
