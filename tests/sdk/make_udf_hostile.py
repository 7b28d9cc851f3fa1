#!/usr/bin/python3
"""Damages the UDF side of a well-formed image in one place, so that the damage
is the only fault: the root folder's file entry gets a wrong tag checksum, or
the root folder gets an entry that leads back to the root.

usage: make_udf_hostile.py root-checksum|root-loop INPUT OUTPUT
"""
import shutil
import struct
import sys


def locate_root(img, bs=2048):
    anchor = img[256 * bs:256 * bs + 512]
    length, loc = struct.unpack_from('<II', anchor, 16)
    lvd = pd_start = None
    for i in range(length // bs):
        d = img[(loc + i) * bs:(loc + i + 1) * bs]
        ident = struct.unpack_from('<H', d)[0]
        if ident == 6 and lvd is None:
            lvd = d
        elif ident == 5 and pd_start is None:
            pd_start = struct.unpack_from('<I', d, 188)[0]
    fsd_block = struct.unpack_from('<I', lvd, 252)[0]
    fsd = (pd_start + fsd_block) * bs
    root_block = struct.unpack_from('<I', img, fsd + 404)[0]
    return pd_start, (pd_start + root_block) * bs


def main():
    kind, src, dst = sys.argv[1:4]
    shutil.copyfile(src, dst)
    with open(dst, 'r+b') as f:
        img = bytearray(f.read())
        pd_start, root = locate_root(img)
        if kind == 'root-checksum':
            img[root + 4] ^= 0xFF
        else:
            raise SystemExit('unknown kind ' + kind)
        f.seek(0)
        f.write(img)


if __name__ == '__main__':
    main()
