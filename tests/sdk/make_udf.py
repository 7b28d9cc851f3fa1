#!/usr/bin/python3
"""Writes a UDF image of a folder in the forms no Debian tool makes (see
main() for the options); --hostile damages exactly one structure. --plain:
no device entry and no named stream in the root. --unix: owners, groups,
permissions and link counts; hard links share one entry; pipes.
"""
import argparse
import os
import stat
import struct

from fixture_bytes import Blocks, blocks_of
from udf_layout import AD_FORMS, TYPE1_MAP, Udf, ad, cs0, long_ad, short_ad

HOSTILE = ['dir-loop', 'ad-loop', 'indirect-loop', 'bad-checksum', 'bad-crc', 'block-size-0',
           'fid-past-end', 'huge-extent', 'partition-too-long', 'vat-outside', 'slash-names']


class Writer(Udf):
    def __init__(self, args):
        super().__init__(args.bs, int(args.rev.replace('.', ''), 16), efe=args.efe,
                         ref=1 if (args.metadata or args.vat) else 0)  # 2.01 -> 0x201
        self.a = args
        self.meta = args.metadata
        self.phys = Blocks(self.bs)  # partition block -> bytes
        self.metablocks = Blocks(self.bs)  # metadata-partition block -> bytes
        self.next_phys = 0
        self.next_meta = 0
        self.inodes = {}  # --unix: (device, inode) -> the entry's block, for hard links

    # --- allocation ---
    def alloc_phys(self, n):
        self.next_phys += n
        return self.next_phys - n

    def alloc_meta(self, n=1):
        if not self.ref:
            return self.alloc_phys(n)
        self.next_meta += n
        return self.next_meta - n

    def put(self, ref, block, data):
        (self.metablocks if ref else self.phys).put(block, data)

    # --- entries ---
    def unix(self, fixed, st):
        """--unix: the owner, group, permissions, link count and the setuid,
        setgid and sticky flags of st; else none recorded."""
        if st is None or not self.a.unix:
            return super().unix(fixed, st)
        m = st.st_mode
        perm = (m & 0o7) | (m & 0o70) << 2 | (m & 0o700) << 4
        struct.pack_into('<IIIH', fixed, 36, st.st_uid, st.st_gid, perm, st.st_nlink)
        flags = (0x40 if m & stat.S_ISUID else 0) | (0x80 if m & stat.S_ISGID else 0) | \
            (0x100 if m & stat.S_ISVTX else 0)
        fixed[34] |= flags & 0xFF
        fixed[35] |= flags >> 8

    def max_inline(self):
        return self.bs - (216 if self.efe else 176)

    def data_ads(self, data):
        """Writes data to the physical partition; returns (ad bytes list, form)."""
        form = AD_FORMS[self.a.ad]
        if self.ref and form == 0:
            form = 1  # data lies outside the partition of the entry
        n = blocks_of(len(data), self.bs)
        if not n:
            return [], form
        start = self.alloc_phys(n)
        self.put(0, start, data)
        pieces = [(start + i, min(self.bs, len(data) - i * self.bs)) for i in range(n)] \
            if self.a.chain else [(start, len(data))]
        return [ad(form, length, block) for block, length in pieces], form

    def chain_ads(self, ads, form):
        """Puts all but two descriptors into a chain of allocation extent descriptors."""
        if not self.a.chain or len(ads) <= 2:
            return b''.join(ads)
        locs = [self.alloc_meta() for _ in range(1, len(ads), 2)]
        return self.chain(lambda loc, d: self.put(self.ref, loc, d), ads[:1], ads[1:], locs, 2,
                          form, self.ref, self.a.hostile == 'ad-loop')

    def write_entry(self, block, file_type, info_length, ads, form, mtime, st=None):
        """Writes the entry at block; with strategy 4096 an older version stays
        at block and an indirect entry after it leads to the newer one."""
        ref = self.ref
        if self.a.strategy != 4096:
            return self.put(ref, block, self.entry(block, file_type, info_length, ads, form,
                                                   mtime, 4, st))
        newer = self.alloc_meta()
        self.put(ref, block, self.entry(block, file_type, 0, b'', 3, mtime, 4096))
        target = newer if self.a.hostile != 'indirect-loop' else block + 1
        self.put(ref, block + 1, self.indirect(block + 1, target, ref))
        self.put(ref, newer, self.entry(newer, file_type, info_length, ads, form, mtime, 4096, st))

    def alloc_icb(self):
        return self.alloc_meta(2 if self.a.strategy == 4096 else 1)

    def fid(self, name, block, location, characteristics):
        if name is not None and self.a.hostile == 'slash-names':
            name = name.replace('%', '/')  # a name Linux cannot hold
        return super().fid(name, block, location, characteristics)

    def file(self, path, block):
        st = os.lstat(path)
        if os.path.islink(path):
            target = os.readlink(path)
            data = bytes([2, 0, 0, 0]) if target.startswith('/') else b''
            for part in target.split('/'):
                if part in ('..', '.'):
                    data += bytes([3 if part == '..' else 4, 0, 0, 0])
                elif part:
                    data += bytes([5, len(cs0(part)), 0, 0]) + cs0(part)
            return self.write_entry(block, 12, len(data), data, 3, st.st_mtime, st)
        if stat.S_ISFIFO(st.st_mode):
            return self.write_entry(block, 9, 0, b'', 3, st.st_mtime, st)
        with open(path, 'rb') as f:
            data = f.read()
        if self.a.embed and len(data) <= self.max_inline():
            return self.write_entry(block, 5, len(data), data, 3, st.st_mtime, st)
        ads, form = self.data_ads(data)
        length = len(data)
        if self.a.hostile == 'huge-extent' and len(data) > self.bs:
            length = 0x3FFFF800
            ads = [long_ad(length, 0, 0) if form else short_ad(length, 0)]
        self.write_entry(block, 5, length, self.chain_ads(ads, form), form, st.st_mtime, st)

    def directory(self, path, block, parent_block, depth=0):
        children = []
        shared = set()  # names of a file whose entry another name writes
        for name in sorted(os.listdir(path)):
            st = os.lstat(os.path.join(path, name))
            inode = (st.st_dev, st.st_ino)
            linked = self.a.unix and not stat.S_ISDIR(st.st_mode) and st.st_nlink > 1
            if linked and inode in self.inodes:
                children.append((name, self.inodes[inode]))
                shared.add(name)
                continue
            at = self.alloc_icb()
            if linked:
                self.inodes[inode] = at
            children.append((name, at))
        root_extras = depth == 0 and not self.a.plain
        extra = [('device node', self.alloc_icb(), 6)] if root_extras else []
        # Directory data: parent FID, then one FID per child.
        entries = [(None, parent_block, 0x0A)]
        for name, b in children:
            p = os.path.join(path, name)
            entries.append((name, b, 0x02 if os.path.isdir(p) and not os.path.islink(p) else 0))
        entries += [(name, b, 0) for name, b, _ in extra]
        if root_extras:
            entries.append(('stream', parent_block, 0x10))
        if self.a.hostile == 'dir-loop' and depth == 1:
            entries.append(('loop', self.root_block, 0x02))
        # Lay the FIDs out in blocks of the metadata (or physical) partition.
        size = sum(len(self.fid(n, b, 0, c)) for n, b, c in entries)
        inline = self.a.embed and size <= self.max_inline()
        start = 0 if inline else self.alloc_meta(blocks_of(size, self.bs))
        out = b''
        for n, b, c in entries:
            out += self.fid(n, b, block if inline else start + len(out) // self.bs, c)
        if self.a.hostile == 'fid-past-end' and depth == 0:
            out = out[:-6]
        mtime = os.stat(path).st_mtime
        if inline:
            self.write_entry(block, 4, len(out), out, 3, mtime, os.lstat(path))
        else:
            self.put(self.ref, start, out)
            form = min(AD_FORMS[self.a.ad], 1 if self.ref else 2)
            self.write_entry(block, 4, len(out), ad(form, len(out), start, self.ref), form,
                             mtime, os.lstat(path))
        for name, b, ftype in extra:
            self.write_entry(b, ftype, 0, b'', 3, mtime)
        for name, b in children:
            p = os.path.join(path, name)
            if os.path.isdir(p) and not os.path.islink(p):
                self.directory(p, b, block, depth + 1)
            elif name not in shared:
                self.file(p, b)

    def build(self, tree, output):
        a, bs = self.a, self.bs
        # Partition-relative layout: file set descriptor, then the root.
        fsd_block = self.alloc_meta()
        self.alloc_meta()  # terminating descriptor
        self.root_block = self.alloc_icb()
        self.directory(tree, self.root_block, self.root_block)
        # Volume layout in blocks.
        part_start = 512 if bs <= 2048 else 300
        meta_blocks = self.next_meta
        if self.meta:
            main_at, mirror_at = self.alloc_phys(meta_blocks), self.alloc_phys(meta_blocks)
            meta_fe, mirror_fe = self.alloc_phys(1), self.alloc_phys(1)
        if a.sparable:
            # Round the partition to whole packets; one packet is spared.
            self.next_phys = (self.next_phys + 31) // 32 * 32 + 32
        part_len = 0x7FFFFFFF if a.hostile == 'partition-too-long' else self.next_phys + 16
        total = part_start + self.next_phys + 16 + 257 + 64
        img = bytearray(total * bs)

        def put_abs(block, data):
            end = block * bs + len(data)
            if end > len(img):
                img.extend(bytes(end - len(img)))
            img[block * bs:end] = data

        for off, d in self.vrs(max(2048, bs)):
            img[off:off + len(d)] = d
        self.put(self.ref, fsd_block,
                 self.fsd(fsd_block, self.root_block, self.ref, 'Lantern UDF', 'Lantern'))
        self.put(self.ref, fsd_block + 1, self.terminator(fsd_block + 1))

        # Metadata file and mirror: the metadata partition's blocks in two runs.
        if self.meta:
            content = b''.join(self.metablocks.get(i, bytes(bs)) for i in range(meta_blocks))
            self.put(0, main_at, content)
            self.put(0, mirror_at, content)
            if a.damage_main_metadata:
                self.phys.put(main_at, bytes(meta_blocks * bs))
            half = (meta_blocks + 1) // 2
            for fe_at, at, ftype in ((meta_fe, main_at, 250), (mirror_fe, mirror_at, 251)):
                runs = [(at, half), (at + half, meta_blocks - half)]
                ads = b''.join(short_ad(n * bs, b) for b, n in runs if n)
                fe = self.entry(fe_at, ftype, meta_blocks * bs, ads, 0, 0, efe=True)
                if ftype == 250 and a.damage_metadata_file:
                    fe = fe[:4] + bytes([(fe[4] + 1) & 0xFF]) + fe[5:]
                self.phys.put(fe_at, fe)

        # Sparing: the first packet of the partition is recorded in a spare area.
        if a.sparable:
            spare_at = part_start + self.next_phys + 16
            img.extend(bytes((spare_at + 32 + 257 + 64 - total) * bs))
            total = spare_at + 32 + 257 + 64
            for i in range(32):
                put_abs(spare_at + i, self.phys.get(i, bytes(bs)))
                self.phys[i] = b'\xEE' * bs  # the worn-out original is never read
            sparing_at = 300 if bs <= 2048 else 290
            put_abs(sparing_at, self.tag(0, self.sparing_table([(0, spare_at)]), sparing_at))

        for b, data in self.phys.items():
            put_abs(part_start + b, data)

        # VAT: every entry of the virtual partition is found through the table.
        if a.vat:
            # Identity table over the written blocks; the table's own entry at the end.
            vat_blocks = self.next_meta
            vbase = self.alloc_phys(vat_blocks)
            entries = [vbase + v for v in range(vat_blocks)]
            if a.hostile == 'vat-outside':
                entries[self.root_block] = 0x7FFFFFF0
            vat = self.vat_header('Lantern UDF') + b''.join(struct.pack('<I', e) for e in entries)
            for v in range(vat_blocks):
                put_abs(part_start + vbase + v, self.metablocks.get(v, bytes(bs)))
            put_abs(part_start + self.next_phys, vat)
            vat_fe_rel = self.next_phys + blocks_of(len(vat), bs)
            fe = self.entry(vat_fe_rel, 248, len(vat), short_ad(len(vat), self.next_phys), 0, 0,
                            efe=self.rev >= 0x200)
            total = part_start + vat_fe_rel + 1
            img = img[:total * bs]
            put_abs(total - 1, fe)
            part_len = vat_fe_rel + 1

        maps = TYPE1_MAP
        if self.meta:
            maps += self.metadata_map(meta_fe, mirror_fe)
        if a.vat:
            maps += self.virtual_map()
        if a.sparable:
            maps = self.sparable_map(32, 56 + 8, sparing_at)
        self.descriptors(put_abs, part_start, part_len, fsd_block, self.ref, maps,
                         1 if a.sparable else 1 + (len(maps) - 6) // 64, 'LANTERN', 'Lantern UDF',
                         0 if a.hostile == 'block-size-0' else bs)
        for at in (256,) if a.vat else (256, total - 1):
            put_abs(at, self.anchor(at))

        if a.damage_first_anchor:
            put_abs(256, bytes(bs))
        if a.damage_main_vds:
            put_abs(260, bytes(16 * bs))
        if a.hostile in ('bad-checksum', 'bad-crc'):
            # The root's entry fails its checksum or its CRC.
            if self.meta or a.vat or a.strategy == 4096:
                raise SystemExit('damage of the root entry needs a plain partition, strategy 4')
            at = (part_start + self.root_block) * bs
            img[at + (4 if a.hostile == 'bad-checksum' else 8)] ^= 0xFF
        with open(output, 'wb') as f:
            f.write(img)


def main():
    p = argparse.ArgumentParser()
    p.add_argument('tree')
    p.add_argument('output')
    p.add_argument('--rev', default='2.01')
    p.add_argument('--bs', type=int, default=2048)
    p.add_argument('--ad', default='short', choices=list(AD_FORMS))
    p.add_argument('--strategy', type=int, default=4)
    p.add_argument('--hostile', choices=HOSTILE)
    for flag in ('efe', 'metadata', 'embed', 'chain', 'sparable', 'vat', 'damage-main-metadata',
                 'damage-metadata-file', 'damage-first-anchor', 'damage-main-vds', 'plain',
                 'unix'):
        p.add_argument('--' + flag, action='store_true')
    args = p.parse_args()
    Writer(args).build(args.tree, args.output)


if __name__ == '__main__':
    main()
