#!/usr/bin/python3
"""Makes a damaged copy of a well-formed ISO 9660 image, one fault per KIND:
make_hostile.py KIND INPUT OUTPUT (--list: the kinds). The input is the
hostile test's tree by genisoimage -R (zisofs kinds: by xorriso with Z.TXT
compressed; udf_root_checksum: any image with a UDF bridge).
"""
import struct
import sys

from fixture_bytes import both32

BLOCK = 2048


class Image:
    def __init__(self, data):
        self.d = bytearray(data)
        self.pvd = 16 * BLOCK
        assert self.d[self.pvd:self.pvd + 6] == b'\x01CD001'
        self.root = self.pvd + 156

    def u32(self, off):
        return struct.unpack_from('<I', self.d, off)[0]

    def set_both32(self, off, value):
        self.d[off:off + 8] = both32(value)

    def records(self, record_off):
        """Offsets of the records in the folder that record_off describes."""
        lba, size = self.u32(record_off + 2), self.u32(record_off + 10)
        start, pos = lba * BLOCK, 0
        while pos < size:
            off = start + pos
            n = self.d[off]
            if n == 0:
                pos = (pos // BLOCK + 1) * BLOCK
                continue
            yield off
            pos += n

    def name(self, off):
        n = self.d[off + 32]
        return bytes(self.d[off + 33:off + 33 + n]).split(b';')[0].decode('latin-1')

    def find(self, path):
        """Offset of the record of path (ISO names, '/'-separated)."""
        current = self.root
        for part in path.split('/'):
            current = next(off for off in self.records(current) if self.name(off) == part)
        return current

    def su(self, off):
        """(signature, offset, length) of the inline System Use entries."""
        n, idlen = self.d[off], self.d[off + 32]
        pos = off + 33 + idlen + (0 if idlen % 2 else 1)
        while pos + 4 <= off + n:
            length = self.d[pos + 2]
            if length < 4:
                break
            yield bytes(self.d[pos:pos + 2]).decode('latin-1'), pos, length
            pos += length

    def su_entry(self, off, sig):
        """(offset, length) of the first entry sig."""
        return next((pos, n) for s, pos, n in self.su(off) if s == sig)

    def find_relocation(self, folder_off, depth=0):
        """The record carrying a CL entry (a folder moved to rr_moved)."""
        for off in self.records(folder_off):
            if self.d[off + 32] == 1 and self.d[off + 33] in (0, 1):
                continue
            if any(s == 'CL' for s, _, _ in self.su(off)):
                return off
            if self.d[off + 25] & 2 and depth < 20:
                found = self.find_relocation(off, depth + 1)
                if found is not None:
                    return found
        return None


def truncated(img):
    # Cut just after the root folder: everything below it lies beyond the end.
    img.d = img.d[:(img.u32(img.root + 2) + 1) * BLOCK]


def relocation_to_ancestor(img):
    pos, _ = img.su_entry(img.find_relocation(img.root), 'CL')
    img.set_both32(pos + 4, root_lba(img))


def continuation_loop(img):
    long = next(off for off in img.records(img.root) if img.name(off).startswith('LONG'))
    pos, _ = img.su_entry(long, 'CE')
    block, offset, length = img.u32(pos + 4), img.u32(pos + 12), img.u32(pos + 20)
    # The first entry of the continuation area becomes a CE pointing back at
    # the area itself, keeping that entry's length.
    area = block * BLOCK + offset
    keep = img.d[area + 2]
    assert keep >= 28
    img.d[area:area + 28] = b'CE' + bytes([keep, 1]) + both32(block) + both32(offset) + \
        both32(length)


def multi_extent_missing_last(img):
    # The last file of SUB/DEEP says another part follows; none does.
    img.d[list(img.records(img.find('SUB/DEEP')))[-1] + 25] |= 0x80


def bad_names(img):
    # Rock Ridge names with a control character, a slash and a backslash, and
    # an ISO 9660 name with a slash.
    for path, char in (('A.TXT', b'\x07'), ('B.TXT', b'/'), ('SUB/C.TXT', b'\\')):
        pos, _ = img.su_entry(img.find(path), 'NM')
        img.d[pos + 5] = char[0]
    img.d[img.find('SUB/DEEP/D.TXT') + 33] = ord('/')


def descriptor_loop(img):
    # Every block after the primary descriptor claims to be a supplementary one.
    for b in range(17, 17 + 80):
        if img.d[b * BLOCK + 1:b * BLOCK + 6] == b'CD001' and img.d[b * BLOCK] == 255:
            img.d[b * BLOCK] = 2


def zisofs_file(img):
    """Offset of the data of Z.TXT, a zisofs-compressed file (xorriso image)."""
    start = img.u32(img.find('Z.TXT') + 2) * BLOCK
    assert img.d[start:start + 8] == bytes([0x37, 0xE4, 0x53, 0x96, 0xC9, 0xDB, 0xD6, 0x07])
    return start


def zisofs_corrupt_block(img):
    # Bytes in the middle of the second compressed block are overwritten.
    start = zisofs_file(img)
    middle = start + (img.u32(start + 16 + 4) + img.u32(start + 16 + 8)) // 2
    img.d[middle:middle + 8] = b'\xff' * 8


def udf_root_checksum(img):
    # The UDF root's file entry (of an image with a UDF bridge) gets a wrong
    # tag checksum: the anchor's main sequence names the partition and the
    # logical volume, that the file set, and that the root.
    length, loc = img.u32(256 * BLOCK + 16), img.u32(256 * BLOCK + 20)
    descs = [(loc + i) * BLOCK for i in range(length // BLOCK)]
    lvd = next(d for d in descs if img.d[d] == 6)
    part = next(img.u32(d + 188) for d in descs if img.d[d] == 5)
    img.d[(part + img.u32((part + img.u32(lvd + 252)) * BLOCK + 404)) * BLOCK + 4] ^= 0xFF


def root_lba(img):
    return img.u32(img.root + 2)


def set32(*fields):
    """The kind that sets 32-bit fields: (path, or None for the root; offset in
    its record; value, or a function of the image giving it)."""
    def damage(img):
        for path, field, value in fields:
            img.set_both32((img.root if path is None else img.find(path)) + field,
                           value(img) if callable(value) else value)
    return damage


def set_byte(path, field, value=0, flag=0):
    """The kind that sets one byte of path's record (or ors flag into it)."""
    def damage(img):
        off = img.find(path) + field
        img.d[off] = img.d[off] | flag if flag else value
    return damage


KINDS = {
    'truncated': truncated,
    'extent_beyond_end': set32(('A.TXT', 2, 0x7FFFFFF0)),
    'size_ffffffff': set32(('A.TXT', 10, 0xFFFFFFFF), ('SUB', 10, 0xFFFFFFFF)),
    # B.TXT claims the blocks of the root folder and far beyond.
    'overlapping_extents': set32(('B.TXT', 2, root_lba), ('B.TXT', 10, 50 * BLOCK)),
    'folder_contains_itself': set32(('SUB/DEEP', 2, lambda img: img.u32(img.find('SUB') + 2))),
    'folder_contains_root': set32(('SUB', 2, root_lba)),
    'relocation_to_ancestor': relocation_to_ancestor,
    'block_size_zero': lambda img: img.d.__setitem__(slice(img.pvd + 128, img.pvd + 132), bytes(4)),
    'short_record': set_byte('A.TXT', 0, 20),
    'continuation_loop': continuation_loop,
    'multi_extent_missing_last': multi_extent_missing_last,
    'empty_name': set_byte('B.TXT', 32),
    'bad_names': bad_names,
    'root_size_zero': set32((None, 10, 0)),
    'descriptor_loop': descriptor_loop,
    # Not damage: B.TXT becomes an associated file, which is never shown.
    'associated_file': set_byte('B.TXT', 25, flag=0x04),
    'zisofs_corrupt_block': zisofs_corrupt_block,
    'udf_root_checksum': udf_root_checksum,
    # The second block pointer points far beyond the file.
    'zisofs_bad_pointers':
        lambda img: struct.pack_into('<I', img.d, zisofs_file(img) + 16 + 4, 0xFFFFFFF0),
}


def main():
    if sys.argv[1:] == ['--list']:
        print('\n'.join(KINDS))
        return
    kind, source, target = sys.argv[1:4]
    with open(source, 'rb') as f:
        img = Image(f.read())
    KINDS[kind](img)
    with open(target, 'wb') as f:
        f.write(img.d)


if __name__ == '__main__':
    main()
