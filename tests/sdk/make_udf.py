#!/usr/bin/python3
"""Writes a UDF image of a folder, for the cases no Debian tool makes:
populated UDF 2.01 to 2.60 images, metadata partitions with their mirror,
extended file entries, the ICB strategy 4096, long and extended allocation
descriptors with continuation chains, embedded data, sparable and virtual
partitions. Hostile variants damage exactly one structure.

usage: make_udf.py TREE OUTPUT [--rev 2.01] [--bs 2048] [--efe] [--metadata]
       [--ad short|long|ext] [--embed] [--chain] [--strategy 4096]
       [--sparable] [--vat] [--damage-main-metadata] [--damage-metadata-file]
       [--damage-first-anchor] [--damage-main-vds] [--plain] [--unix] [--hostile KIND]
"""
import argparse
import os
import stat
import struct
import sys

HOSTILE = ['dir-loop', 'ad-loop', 'indirect-loop', 'bad-checksum', 'bad-crc', 'block-size-0',
           'fid-past-end', 'huge-extent', 'partition-too-long', 'vat-outside', 'slash-names']


def crc_itu(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


class Writer:
    def __init__(self, args):
        self.a = args
        self.bs = args.bs
        self.rev = int(args.rev.replace('.', ''), 16)  # 2.01 -> 0x201
        self.tagver = 3 if self.rev >= 0x200 else 2
        self.efe = args.efe
        self.meta = args.metadata
        self.phys = {}  # partition block -> bytes
        self.metablocks = {}  # metadata-partition block -> bytes
        self.next_phys = 0
        self.next_meta = 0
        self.unique = 16
        self.meta_ref = 1 if (self.meta or args.vat) else 0
        self.inodes = {}  # --unix: (device, inode) -> the entry's block, for hard links

    # --- encoding helpers ---
    def tag(self, ident, body, location):
        """body: the whole descriptor with 16 zero bytes of tag in front."""
        body = bytearray(body)
        crc_len = len(body) - 16
        struct.pack_into('<HHBBHHHI', body, 0, ident, self.tagver, 0, 0, 0,
                         crc_itu(bytes(body[16:])), crc_len, location)
        body[4] = sum(body[0:4] + body[5:16]) & 0xFF
        return bytes(body)

    @staticmethod
    def cs0(name):
        if all(ord(c) < 256 for c in name):
            return b'\x08' + name.encode('latin-1')
        return b'\x10' + name.encode('utf-16-be')

    def dstring(self, text, size):
        raw = self.cs0(text)[:size - 1]
        return raw + b'\0' * (size - 1 - len(raw)) + bytes([len(raw)])

    @staticmethod
    def regid(ident, suffix=b''):
        ident = ident.encode()
        return b'\0' + ident + b'\0' * (23 - len(ident)) + suffix + b'\0' * (8 - len(suffix))

    def udf_suffix(self):
        return struct.pack('<H', self.rev)

    @staticmethod
    def timestamp(t):
        import time
        g = time.gmtime(int(t))
        return struct.pack('<HhBBBBBBBB', 0x1000, g.tm_year, g.tm_mon, g.tm_mday, g.tm_hour,
                           g.tm_min, g.tm_sec, 0, 0, 0)

    @staticmethod
    def long_ad(length, block, part, kind=0):
        return struct.pack('<IIH6x', (kind << 30) | length, block, part)

    @staticmethod
    def short_ad(length, block, kind=0):
        return struct.pack('<II', (kind << 30) | length, block)

    @staticmethod
    def ext_ad(length, block, part, kind=0):
        return struct.pack('<IIIIH2x', (kind << 30) | length, length, length, block, part)

    # --- allocation ---
    def alloc_phys(self, n):
        b = self.next_phys
        self.next_phys += n
        return b

    def alloc_meta(self, n=1):
        if not self.meta_ref:
            return self.alloc_phys(n)
        b = self.next_meta
        self.next_meta += n
        return b

    def put(self, ref, block, data):
        store = self.metablocks if (ref == self.meta_ref and self.meta_ref) else self.phys
        for i in range(0, max(len(data), 1), self.bs):
            chunk = data[i:i + self.bs]
            store[block + i // self.bs] = chunk + b'\0' * (self.bs - len(chunk))

    # --- entries ---
    def icbtag(self, file_type, ad_form, strategy=4):
        return struct.pack('<IHHHBB6sH', 0, strategy, 0, 1 if strategy == 4 else 8, 0, file_type,
                           b'\0' * 6, ad_form)

    def unix(self, fixed, st):
        """--unix: the owner, group, permissions, link count and the setuid,
        setgid and sticky flags of st; else none recorded."""
        if st is None or not self.a.unix:
            struct.pack_into('<IIIH', fixed, 36, 0xFFFFFFFF, 0xFFFFFFFF, 0x14A5, 1)
            return
        m = st.st_mode
        perm = (m & 0o7) | (m & 0o70) << 2 | (m & 0o700) << 4
        struct.pack_into('<IIIH', fixed, 36, st.st_uid, st.st_gid, perm, st.st_nlink)
        flags = (0x40 if m & stat.S_ISUID else 0) | (0x80 if m & stat.S_ISGID else 0) | \
            (0x100 if m & stat.S_ISVTX else 0)
        fixed[34] |= flags & 0xFF
        fixed[35] |= flags >> 8

    def entry(self, block, file_type, info_length, ads, ad_form, mtime, strategy=4, st=None):
        if self.efe:
            fixed = bytearray(216)
            fixed[16:36] = self.icbtag(file_type, ad_form, strategy)
            self.unix(fixed, st)
            struct.pack_into('<QQQ', fixed, 56, info_length, info_length,
                             (info_length + self.bs - 1) // self.bs)
            for off in (80, 92, 104, 116):
                fixed[off:off + 12] = self.timestamp(mtime)
            struct.pack_into('<I', fixed, 128, 1)
            fixed[168:200] = self.regid('*Lantern tests')
            struct.pack_into('<QII', fixed, 200, self.unique, 0, len(ads))
            ident = 266
        else:
            fixed = bytearray(176)
            fixed[16:36] = self.icbtag(file_type, ad_form, strategy)
            self.unix(fixed, st)
            struct.pack_into('<QQ', fixed, 56, info_length, (info_length + self.bs - 1) // self.bs)
            for off in (72, 84, 96):
                fixed[off:off + 12] = self.timestamp(mtime)
            struct.pack_into('<I', fixed, 108, 1)
            fixed[128:160] = self.regid('*Lantern tests')
            struct.pack_into('<QII', fixed, 160, self.unique, 0, len(ads))
            ident = 261
        self.unique += 1
        return self.tag(ident, bytes(fixed) + ads, block)

    def max_inline(self):
        return self.bs - (216 if self.efe else 176)

    def data_ads(self, data, ref_of_entry):
        """Writes data to the physical partition; returns (ad bytes list, form)."""
        form = {'short': 0, 'long': 1, 'ext': 2}[self.a.ad]
        if self.meta_ref and form == 0:
            form = 1  # data lies outside the partition of the entry
        n = (len(data) + self.bs - 1) // self.bs
        ads = []
        if n:
            start = self.alloc_phys(n)
            self.put(0, start, data)
            pieces = [(start + i, min(self.bs, len(data) - i * self.bs)) for i in range(n)] \
                if self.a.chain else [(start, len(data))]
            for block, length in pieces:
                if form == 0:
                    ads.append(self.short_ad(length, block))
                elif form == 1:
                    ads.append(self.long_ad(length, block, 0))
                else:
                    ads.append(self.ext_ad(length, block, 0))
        return ads, form

    def chain_ads(self, ads, form, ref):
        """Puts all but two descriptors into a chain of allocation extent descriptors."""
        if not self.a.chain or len(ads) <= 2:
            return b''.join(ads)
        head, rest = ads[:1], ads[1:]
        blocks = []
        while rest:
            part, rest = rest[:2], rest[2:]
            blocks.append(part)
        locs = [self.alloc_meta() for _ in blocks]

        def cont(loc):
            if form == 0:
                return self.short_ad(self.bs, loc, 3)
            if form == 1:
                return self.long_ad(self.bs, loc, ref, 3)
            return self.ext_ad(self.bs, loc, ref, 3)

        for i, (loc, part) in enumerate(zip(locs, blocks)):
            body = b''.join(part)
            if self.a.hostile == 'ad-loop' and i + 1 == len(locs):
                body = cont(locs[0])  # back to the first, before the data is complete
            elif i + 1 < len(locs):
                body += cont(locs[i + 1])
            aed = bytearray(24)
            struct.pack_into('<II', aed, 16, 0, len(body))
            self.put(ref, loc, self.tag(258, bytes(aed) + body, loc))
        return b''.join(head) + cont(locs[0])

    def write_entry(self, block, file_type, info_length, ads, form, mtime, st=None):
        """Writes the entry at block; with strategy 4096 an older version stays
        at block and an indirect entry after it leads to the newer one."""
        ref = self.meta_ref
        if self.a.strategy == 4096:
            newer = self.alloc_meta()
            old = self.entry(block, file_type, 0, b'', 3, mtime, 4096)
            self.put(ref, block, old)
            ie = bytearray(52)
            ie[16:36] = self.icbtag(3, 0, 4096)
            target = newer if self.a.hostile != 'indirect-loop' else block + 1
            ie[36:52] = self.long_ad(self.bs, target, ref)
            self.put(ref, block + 1, self.tag(259, bytes(ie), block + 1))
            self.put(ref, newer,
                     self.entry(newer, file_type, info_length, ads, form, mtime, 4096, st))
        else:
            self.put(ref, block, self.entry(block, file_type, info_length, ads, form, mtime, 4, st))

    def alloc_icb(self):
        if self.a.strategy == 4096:
            return self.alloc_meta(2)
        return self.alloc_meta()

    def fid(self, name, block, location, characteristics):
        if name is not None and self.a.hostile == 'slash-names':
            name = name.replace('%', '/')  # a name Linux cannot hold
        raw = self.cs0(name) if name is not None else b''
        body = bytearray(38)
        struct.pack_into('<HBB', body, 16, 1, characteristics, len(raw))
        body[20:36] = self.long_ad(self.bs, block, self.meta_ref)
        body += raw
        while len(body) % 4:
            body += b'\0'
        return self.tag(257, bytes(body), location)

    def file(self, path, block):
        st = os.lstat(path)
        if os.path.islink(path):
            target = os.readlink(path)
            data = b''
            if target.startswith('/'):
                data += bytes([2, 0, 0, 0])
            for part in target.split('/'):
                if part == '..':
                    data += bytes([3, 0, 0, 0])
                elif part == '.':
                    data += bytes([4, 0, 0, 0])
                elif part:
                    raw = self.cs0(part)
                    data += bytes([5, len(raw), 0, 0]) + raw
            self.write_entry(block, 12, len(data), data, 3, st.st_mtime, st)
            return
        if stat.S_ISFIFO(st.st_mode):
            self.write_entry(block, 9, 0, b'', 3, st.st_mtime, st)
            return
        with open(path, 'rb') as f:
            data = f.read()
        if self.a.embed and len(data) <= self.max_inline():
            self.write_entry(block, 5, len(data), data, 3, st.st_mtime, st)
            return
        ads, form = self.data_ads(data, self.meta_ref)
        length = len(data)
        if self.a.hostile == 'huge-extent' and len(data) > self.bs:
            length = 0x3FFFF800
            ads = [self.long_ad(length, 0, 0) if form else self.short_ad(length, 0)]
        self.write_entry(block, 5, length, self.chain_ads(ads, form, self.meta_ref), form,
                         st.st_mtime, st)

    def directory(self, path, block, parent_block, depth=0):
        names = sorted(os.listdir(path)) if path else []
        children = []
        shared = set()  # names of a file whose entry another name writes
        for name in names:
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
        extra = []
        if depth == 0 and not self.a.plain:
            extra.append(('device node', self.alloc_icb(), 6))
        # Directory data: parent FID, then one FID per child.
        entries = [(None, parent_block, 0x0A)]
        for name, b in children:
            p = os.path.join(path, name)
            isdir = os.path.isdir(p) and not os.path.islink(p)
            entries.append((name, b, 0x02 if isdir else 0))
        for name, b, _ in extra:
            entries.append((name, b, 0))
        if depth == 0 and not self.a.plain:
            entries.append(('stream', parent_block, 0x10))
        if self.a.hostile == 'dir-loop' and depth == 1:
            entries.append(('loop', self.root_block, 0x02))
        # Lay the FIDs out in blocks of the metadata (or physical) partition.
        size = sum(len(self.fid(n, b, 0, c)) for n, b, c in entries)
        nblocks = (size + self.bs - 1) // self.bs
        inline = self.a.embed and size <= self.max_inline()
        start = 0 if inline else self.alloc_meta(nblocks)
        out = b''
        for n, b, c in entries:
            loc = start + len(out) // self.bs if not inline else block
            out += self.fid(n, b, loc, c)
        if self.a.hostile == 'fid-past-end' and depth == 0:
            out = out[:-6]
        mtime = os.stat(path).st_mtime
        if inline:
            self.write_entry(block, 4, len(out), out, 3, mtime, os.lstat(path))
        else:
            self.put(self.meta_ref, start, out)
            if self.meta_ref:
                ads = self.long_ad(len(out), start, self.meta_ref) if self.a.ad != 'short' \
                    else self.short_ad(len(out), start)
                form = 0 if self.a.ad == 'short' else 1
            else:
                form = {'short': 0, 'long': 1, 'ext': 2}[self.a.ad]
                ads = [self.short_ad, lambda l, b: self.long_ad(l, b, 0),
                       lambda l, b: self.ext_ad(l, b, 0)][form](len(out), start)
            self.write_entry(block, 4, len(out), ads, form, mtime, os.lstat(path))
        for name, b, ftype in extra:
            self.write_entry(b, ftype, 0, b'', 3, mtime)
        for name, b in children:
            p = os.path.join(path, name)
            if os.path.isdir(p) and not os.path.islink(p):
                self.directory(p, b, block, depth + 1)
            elif name not in shared:
                self.file(p, b)

    def build(self, tree, output):
        a = self.a
        bs = self.bs
        # Partition-relative layout: file set descriptor, then the root.
        fsd_block = self.alloc_meta()
        self.alloc_meta()  # terminating descriptor
        self.root_block = self.alloc_icb()
        self.directory(tree, self.root_block, self.root_block)
        # Volume layout in blocks.
        part_start = 512 if bs <= 2048 else 300
        meta_blocks = self.next_meta
        if self.meta:
            main_at = self.alloc_phys(meta_blocks)
            mirror_at = self.alloc_phys(meta_blocks)
            meta_fe = self.alloc_phys(1)
            mirror_fe = self.alloc_phys(1)
        sparing_at = None
        if a.sparable:
            # Round the partition to whole packets; one packet is spared.
            self.next_phys = (self.next_phys + 31) // 32 * 32 + 32
        part_len = self.next_phys + 16
        if a.hostile == 'partition-too-long':
            part_len = 0x7FFFFFFF
        total = part_start + self.next_phys + 16 + 257 + 64
        img = bytearray(total * bs)

        def put_abs(block, data):
            end = block * bs + len(data)
            if end > len(img):
                img.extend(bytes(end - len(img)))
            img[block * bs:end] = data

        # Volume recognition sequence at 32 KiB.
        step = max(2048, bs)
        for i, ident in enumerate([b'BEA01', b'NSR03' if self.rev >= 0x200 else b'NSR02', b'TEA01']):
            img[32768 + i * step:32768 + i * step + 7] = b'\0' + ident + b'\1'

        # FSD.
        fsd = bytearray(512)
        fsd[16:28] = self.timestamp(0)
        struct.pack_into('<HHII', fsd, 28, 3, 3, 1, 1)
        fsd[48] = 0
        fsd[49:72] = b'OSTA Compressed Unicode'
        fsd[112:240] = self.dstring('Lantern UDF', 128)
        fsd[240] = 0
        fsd[241:264] = b'OSTA Compressed Unicode'
        fsd[304:336] = self.dstring('Lantern', 32)
        fsd[400:416] = self.long_ad(bs, self.root_block, self.meta_ref)
        fsd[416:448] = self.regid('*OSTA UDF Compliant', self.udf_suffix())
        self.put(self.meta_ref, fsd_block, self.tag(256, bytes(fsd), fsd_block))
        self.put(self.meta_ref, fsd_block + 1, self.tag(8, bytes(512), fsd_block + 1))

        # Metadata file and mirror: the metadata partition's blocks in two runs.
        if self.meta:
            content = b''.join(self.metablocks.get(i, bytes(bs)) for i in range(meta_blocks))
            self.put(0, main_at, content)
            self.put(0, mirror_at, content)
            if a.damage_main_metadata:
                for i in range(meta_blocks):
                    self.phys[main_at + i] = bytes(bs)
            half = (meta_blocks + 1) // 2
            saved_efe, self.efe = self.efe, True
            for fe_at, at, ftype in ((meta_fe, main_at, 250), (mirror_fe, mirror_at, 251)):
                runs = [(at, half), (at + half, meta_blocks - half)]
                ads = b''.join(self.short_ad(n * bs, b) for b, n in runs if n)
                fe = self.entry(fe_at, ftype, meta_blocks * bs, ads, 0, 0)
                if ftype == 250 and a.damage_metadata_file:
                    fe = fe[:4] + bytes([(fe[4] + 1) & 0xFF]) + fe[5:]
                self.phys[fe_at] = fe + bytes(bs - len(fe))
            self.efe = saved_efe
        elif not a.vat:
            for b, data in self.metablocks.items():
                self.phys[b] = data

        # Sparing: the first packet of the partition is recorded in a spare area.
        if a.sparable:
            spare_at = part_start + self.next_phys + 16
            total_needed = spare_at + 32 + 257 + 64
            img.extend(bytes((total_needed - total) * bs))
            total = total_needed
            for i in range(32):
                put_abs(spare_at + i, self.phys.get(i, bytes(bs)))
                self.phys[i] = b'\xEE' * bs  # the worn-out original is never read
            sparing_at = 300 if bs <= 2048 else 290
            st = bytearray(56 + 8)
            st[16:48] = self.regid('*UDF Sparing Table', self.udf_suffix())
            struct.pack_into('<HHI', st, 48, 1, 0, 1)
            struct.pack_into('<II', st, 56, 0, spare_at)
            put_abs(sparing_at, self.tag(0, bytes(st), sparing_at))

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
            header = bytearray(152)
            struct.pack_into('<HH', header, 0, 152, 0)
            header[4:132] = self.dstring('Lantern UDF', 128)
            struct.pack_into('<IIIHHH', header, 132, 0xFFFFFFFF, 0, 0, self.rev, self.rev, self.rev)
            vat = bytes(header) + b''.join(struct.pack('<I', e) for e in entries)
            for v in range(vat_blocks):
                put_abs(part_start + vbase + v, self.metablocks.get(v, bytes(bs)))
            vat_data_at = part_start + self.next_phys
            n = (len(vat) + bs - 1) // bs
            put_abs(vat_data_at, vat)
            vat_fe_rel = self.next_phys + n
            saved_efe, self.efe = self.efe, self.rev >= 0x200
            fe = self.entry(vat_fe_rel, 248, len(vat), self.short_ad(len(vat), self.next_phys), 0, 0)
            self.efe = saved_efe
            last = part_start + vat_fe_rel
            img = img[:(last + 1) * bs]
            put_abs(last, fe)
            total = last + 1
            part_len = vat_fe_rel + 1

        # Volume descriptors.
        mvds, rvds = 260, 280
        lvd_maps = struct.pack('<BBHH', 1, 6, 1, 0)
        if self.meta:
            m = bytearray(64)
            m[0], m[1] = 2, 64
            m[4:36] = self.regid('*UDF Metadata Partition', self.udf_suffix())
            struct.pack_into('<HHIIIIHB', m, 36, 1, 0, meta_fe, mirror_fe, 0xFFFFFFFF, 32, 1, 0)
            lvd_maps += bytes(m)
        if a.vat:
            m = bytearray(64)
            m[0], m[1] = 2, 64
            m[4:36] = self.regid('*UDF Virtual Partition', self.udf_suffix())
            struct.pack_into('<HH', m, 36, 1, 0)
            lvd_maps += bytes(m)
        if a.sparable:
            m = bytearray(64)
            m[0], m[1] = 2, 64
            m[4:36] = self.regid('*UDF Sparable Partition', self.udf_suffix())
            struct.pack_into('<HHHBBII', m, 36, 1, 0, 32, 1, 0, 56 + 8, sparing_at)
            lvd_maps = bytes(m)
        for base in (mvds, rvds):
            pvd = bytearray(512)
            struct.pack_into('<II', pvd, 16, 1, 0)
            pvd[24:56] = self.dstring('LANTERN', 32)
            struct.pack_into('<HHHHII', pvd, 56, 1, 1, 2, 2, 1, 1)
            put_abs(base, self.tag(1, bytes(pvd), base))
            pd = bytearray(356)
            struct.pack_into('<IHH', pd, 16, 2, 1, 0)
            pd[24:56] = self.regid('+NSR03' if self.rev >= 0x200 else '+NSR02')
            struct.pack_into('<III', pd, 184, 1, part_start, part_len)
            put_abs(base + 1, self.tag(5, bytes(pd), base + 1))
            lvd = bytearray(440)
            struct.pack_into('<I', lvd, 16, 3)
            lvd[21:44] = b'OSTA Compressed Unicode'
            lvd[84:212] = self.dstring('Lantern UDF', 128)
            struct.pack_into('<I', lvd, 212, 0 if a.hostile == 'block-size-0' else bs)
            lvd[216:248] = self.regid('*OSTA UDF Compliant', self.udf_suffix())
            lvd[248:264] = self.long_ad(bs * 2, fsd_block, self.meta_ref)
            count = 1 if a.sparable else 1 + (len(lvd_maps) - 6) // 64
            struct.pack_into('<II', lvd, 264, len(lvd_maps), count)
            put_abs(base + 2, self.tag(6, bytes(lvd) + lvd_maps, base + 2))
            put_abs(base + 3, self.tag(8, bytes(512), base + 3))

        # Anchors at 256 and at the end.
        last = total - 1
        for at in (256,) if a.vat else (256, last):
            avdp = bytearray(512)
            struct.pack_into('<IIII', avdp, 16, 16 * bs, mvds, 16 * bs, rvds)
            put_abs(at, self.tag(2, bytes(avdp), at))

        if a.damage_first_anchor:
            put_abs(256, bytes(bs))
        if a.damage_main_vds:
            for i in range(16):
                put_abs(mvds + i, bytes(bs))

        if a.hostile == 'bad-checksum':
            # The root's entry (first entry after the file set) fails its checksum.
            off = self.entry_offset(img, part_start, 'root')
            img[off + 4] ^= 0xFF
        if a.hostile == 'bad-crc':
            off = self.entry_offset(img, part_start, 'root')
            img[off + 8] ^= 0xFF
        with open(output, 'wb') as f:
            f.write(img)

    def entry_offset(self, img, part_start, which):
        if self.meta or self.a.vat:
            raise SystemExit('damage of the root entry needs a plain partition')
        block = self.root_block
        if self.a.strategy == 4096:
            raise SystemExit('damage of the root entry needs strategy 4')
        return (part_start + block) * self.bs


def main():
    p = argparse.ArgumentParser()
    p.add_argument('tree')
    p.add_argument('output')
    p.add_argument('--rev', default='2.01')
    p.add_argument('--bs', type=int, default=2048)
    p.add_argument('--efe', action='store_true')
    p.add_argument('--metadata', action='store_true')
    p.add_argument('--ad', default='short', choices=['short', 'long', 'ext'])
    p.add_argument('--embed', action='store_true')
    p.add_argument('--chain', action='store_true')
    p.add_argument('--strategy', type=int, default=4)
    p.add_argument('--sparable', action='store_true')
    p.add_argument('--vat', action='store_true')
    p.add_argument('--damage-main-metadata', action='store_true')
    p.add_argument('--damage-metadata-file', action='store_true')
    p.add_argument('--damage-first-anchor', action='store_true')
    p.add_argument('--damage-main-vds', action='store_true')
    p.add_argument('--plain', action='store_true',
                   help='no device entry and no named stream in the root')
    p.add_argument('--unix', action='store_true',
                   help="each entry's owner, group, permissions and link count; hard links "
                        'share one entry; pipes')
    p.add_argument('--hostile', choices=HOSTILE)
    args = p.parse_args()
    Writer(args).build(args.tree, args.output)


if __name__ == '__main__':
    main()
