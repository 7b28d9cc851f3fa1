#!/usr/bin/python3
"""Makes a damaged copy of a well-formed ISO 9660 image, one fault per copy.

usage: make_hostile.py KIND INPUT OUTPUT

The input is an image of the hostile-test tree written by genisoimage -R
(the zisofs kinds: by xorriso with Z.TXT compressed)
(files A.TXT, B.TXT, LONG<...>.TXT with a name long enough for a continuation
area, folders SUB/ and SUB/DEEP/ and a relocated deep chain). Each KIND
patches the fields that fault needs and nothing else, so that the damage is the
only fault in the image. Run with --list to see the kinds.
"""
import struct
import sys

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
        struct.pack_into('<I', self.d, off, value)
        struct.pack_into('>I', self.d, off + 4, value)

    def set_both16(self, off, value):
        struct.pack_into('<H', self.d, off, value)
        struct.pack_into('>H', self.d, off + 2, value)

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
            for off in self.records(current):
                if self.name(off) == part:
                    current = off
                    break
            else:
                raise KeyError(path)
        return current

    def find_prefix(self, folder_off, prefix):
        for off in self.records(folder_off):
            if self.name(off).startswith(prefix):
                return off
        raise KeyError(prefix)

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
        for s, pos, length in self.su(off):
            if s == sig:
                return pos, length
        raise KeyError(sig)

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
    end = (img.u32(img.root + 2) + 1) * BLOCK
    img.d = img.d[:end]


def extent_beyond_end(img):
    img.set_both32(img.find('A.TXT') + 2, 0x7FFFFFF0)


def size_ffffffff(img):
    img.set_both32(img.find('A.TXT') + 10, 0xFFFFFFFF)
    img.set_both32(img.find('SUB') + 10, 0xFFFFFFFF)


def overlapping_extents(img):
    # B.TXT claims the blocks of the root folder and far beyond.
    img.set_both32(img.find('B.TXT') + 2, img.u32(img.root + 2))
    img.set_both32(img.find('B.TXT') + 10, 50 * BLOCK)


def folder_contains_itself(img):
    sub = img.find('SUB')
    img.set_both32(img.find('SUB/DEEP') + 2, img.u32(sub + 2))


def folder_contains_root(img):
    img.set_both32(img.find('SUB') + 2, img.u32(img.root + 2))


def relocation_to_ancestor(img):
    off = img.find_relocation(img.root)
    pos, _ = img.su_entry(off, 'CL')
    img.set_both32(pos + 4, img.u32(img.root + 2))


def block_size_zero(img):
    img.set_both16(img.pvd + 128, 0)


def short_record(img):
    img.d[img.find('A.TXT')] = 20


def continuation_loop(img):
    off = img.find_prefix(img.root, 'LONG')
    pos, _ = img.su_entry(off, 'CE')
    block, offset, length = img.u32(pos + 4), img.u32(pos + 12), img.u32(pos + 20)
    # The first entry of the continuation area becomes a CE pointing back at
    # the area itself, keeping that entry's length.
    area = block * BLOCK + offset
    keep = img.d[area + 2]
    assert keep >= 28
    ce = b'CE' + bytes([keep, 1]) + struct.pack('<I', block) + struct.pack('>I', block) \
        + struct.pack('<I', offset) + struct.pack('>I', offset) \
        + struct.pack('<I', length) + struct.pack('>I', length)
    img.d[area:area + 28] = ce


def multi_extent_missing_last(img):
    # The last file of SUB/DEEP says another part follows; none does.
    last = list(img.records(img.find('SUB/DEEP')))[-1]
    img.d[last + 25] |= 0x80


def empty_name(img):
    img.d[img.find('B.TXT') + 32] = 0


def bad_names(img):
    # Rock Ridge names with a control character, a slash and a backslash, and
    # an ISO 9660 name with a slash.
    for path, char in (('A.TXT', b'\x07'), ('B.TXT', b'/'), ('SUB/C.TXT', b'\\')):
        off = img.find(path)
        pos, _ = img.su_entry(off, 'NM')
        img.d[pos + 5] = char[0]
    off = img.find('SUB/DEEP/D.TXT')
    img.d[off + 33] = ord('/')


def associated_file(img):
    # Not damage: B.TXT becomes an associated file, which is never shown.
    img.d[img.find('B.TXT') + 25] |= 0x04


def zisofs_file(img):
    """Offset of the data of Z.TXT, a zisofs-compressed file (xorriso image)."""
    off = img.find('Z.TXT')
    start = img.u32(off + 2) * BLOCK
    assert img.d[start:start + 8] == bytes([0x37, 0xE4, 0x53, 0x96, 0xC9, 0xDB, 0xD6, 0x07])
    return start


def zisofs_corrupt_block(img):
    # Bytes in the middle of the second compressed block are overwritten.
    start = zisofs_file(img)
    p1, p2 = img.u32(start + 16 + 4), img.u32(start + 16 + 8)
    middle = start + (p1 + p2) // 2
    img.d[middle:middle + 8] = b'\xff' * 8


def zisofs_bad_pointers(img):
    # The second block pointer points far beyond the file.
    start = zisofs_file(img)
    struct.pack_into('<I', img.d, start + 16 + 4, 0xFFFFFFF0)


def root_size_zero(img):
    img.set_both32(img.root + 10, 0)


def descriptor_loop(img):
    # Every block after the primary descriptor claims to be a supplementary one.
    for b in range(17, 17 + 80):
        if img.d[b * BLOCK + 1:b * BLOCK + 6] == b'CD001' and img.d[b * BLOCK] == 255:
            img.d[b * BLOCK] = 2


KINDS = {f.__name__: f for f in (
    truncated, extent_beyond_end, size_ffffffff, overlapping_extents,
    folder_contains_itself, folder_contains_root, relocation_to_ancestor,
    block_size_zero, short_record, continuation_loop, multi_extent_missing_last,
    empty_name, bad_names, root_size_zero, descriptor_loop, associated_file,
    zisofs_corrupt_block, zisofs_bad_pointers)}


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
