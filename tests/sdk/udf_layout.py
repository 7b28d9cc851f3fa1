"""UDF descriptors as the test writers (make_udf.py, make_bombs.py) lay them
out: tags and their CRC, entries, identifiers, allocation descriptors,
partition maps and the volume structures around a partition."""
import binascii
import struct
import time

from fixture_bytes import blocks_of

TYPE1_MAP = struct.pack('<BBHH', 1, 6, 1, 0)
AD_FORMS = {'short': 0, 'long': 1, 'ext': 2}


def cs0(name):
    if all(ord(c) < 256 for c in name):
        return b'\x08' + name.encode('latin-1')
    return b'\x10' + name.encode('utf-16-be')


def dstring(text, size):
    raw = cs0(text)[:size - 1]
    return raw + b'\0' * (size - 1 - len(raw)) + bytes([len(raw)])


def regid(ident, suffix=b''):
    ident = ident.encode()
    return b'\0' + ident + b'\0' * (23 - len(ident)) + suffix + b'\0' * (8 - len(suffix))


def timestamp(t):
    g = time.gmtime(int(t))
    return struct.pack('<HhBBBBBBBB', 0x1000, g.tm_year, g.tm_mon, g.tm_mday, g.tm_hour,
                       g.tm_min, g.tm_sec, 0, 0, 0)


def short_ad(length, block, kind=0):
    return struct.pack('<II', (kind << 30) | length, block)


def long_ad(length, block, part, kind=0):
    return struct.pack('<IIH6x', (kind << 30) | length, block, part)


def ext_ad(length, block, part, kind=0):
    return struct.pack('<IIIIH2x', (kind << 30) | length, length, length, block, part)


def ad(form, length, block, part=0, kind=0):
    """An allocation descriptor of form 0 (short), 1 (long) or 2 (extended)."""
    if form == 0:
        return short_ad(length, block, kind)
    return (long_ad if form == 1 else ext_ad)(length, block, part, kind)


def icbtag(file_type, ad_form, strategy=4):
    return struct.pack('<IHHHBB6sH', 0, strategy, 0, 1 if strategy == 4 else 8, 0, file_type,
                       b'\0' * 6, ad_form)


class Udf:
    """Descriptors of one volume: block size, UDF revision (0x201 for 2.01),
    the partition reference identifiers and entries use."""

    def __init__(self, bs=2048, rev=0x201, ref=0, nsr=None, efe=False):
        self.bs, self.rev, self.ref, self.efe = bs, rev, ref, efe
        self.tagver = 3 if rev >= 0x200 else 2
        self.nsr = nsr or (3 if rev >= 0x200 else 2)
        self.unique = 16

    def tag(self, ident, body, location):
        """body: the whole descriptor with 16 zero bytes of tag in front."""
        body = bytearray(body)
        struct.pack_into('<HHBBHHHI', body, 0, ident, self.tagver, 0, 0, 0,
                         binascii.crc_hqx(bytes(body[16:]), 0), len(body) - 16, location)
        body[4] = sum(body[0:4] + body[5:16]) & 0xFF
        return bytes(body)

    def suffix(self):
        return struct.pack('<H', self.rev)

    def unix(self, fixed, st):
        """The owner, group, permissions and link count of an entry: none."""
        struct.pack_into('<IIIH', fixed, 36, 0xFFFFFFFF, 0xFFFFFFFF, 0x14A5, 1)

    def entry(self, block, file_type, info_length, ads, ad_form, mtime, strategy=4, st=None,
              efe=None):
        """A file entry, or an extended one when efe (by default self.efe)."""
        efe = self.efe if efe is None else efe
        fixed = bytearray(216 if efe else 176)
        fixed[16:36] = icbtag(file_type, ad_form, strategy)
        self.unix(fixed, st)
        n = blocks_of(info_length, self.bs)
        if efe:
            struct.pack_into('<QQQ', fixed, 56, info_length, info_length, n)
            times, check, impl, ident = (80, 92, 104, 116), 128, 168, 266
        else:
            struct.pack_into('<QQ', fixed, 56, info_length, n)
            times, check, impl, ident = (72, 84, 96), 108, 128, 261
        # Given the host's record, each time its own: accessed, modified,
        # attributes changed and (extended entries) created an hour before
        # the modification.
        stamps = [mtime] * len(times)
        if st is not None:
            stamps = [st.st_atime, mtime, st.st_ctime]
            if efe:
                stamps.insert(2, mtime - 3600)
        for off, t in zip(times, stamps):
            fixed[off:off + 12] = timestamp(t)
        struct.pack_into('<I', fixed, check, 1)
        fixed[impl:impl + 32] = regid('*Lantern tests')
        struct.pack_into('<QII', fixed, impl + 32, self.unique, 0, len(ads))
        self.unique += 1
        return self.tag(ident, bytes(fixed) + ads, block)

    def indirect(self, at, target, ref, size=52, strategy=4096):
        ie = bytearray(size)
        ie[16:36] = icbtag(3, 0, strategy)
        ie[36:52] = long_ad(self.bs, target, ref)
        return self.tag(259, bytes(ie), at)

    def aed(self, loc, body):
        """An allocation extent descriptor holding the descriptors body."""
        head = bytearray(24)
        struct.pack_into('<II', head, 16, 0, len(body))
        return self.tag(258, bytes(head) + body, loc)

    def chain(self, put, first, ads, locs, per, form=0, ref=0, loop=False):
        """An entry's descriptors: first, then ads spread over the allocation
        extent descriptors at locs, per in each, linked (loop: the last links
        back to the first, before the data is complete). put(loc, bytes)."""
        parts = [ads[i:i + per] for i in range(0, len(ads), per)]
        assert len(parts) <= len(locs)
        for i, part in enumerate(parts):
            body = b''.join(part)
            if loop and i + 1 == len(parts):
                body = ad(form, self.bs, locs[0], ref, 3)
            elif i + 1 < len(parts):
                body += ad(form, self.bs, locs[i + 1], ref, 3)
            put(locs[i], self.aed(locs[i], body))
        return b''.join(first) + ad(form, self.bs, locs[0], ref, 3)

    def fid(self, name, block, location, characteristics):
        raw = cs0(name) if name is not None else b''
        body = bytearray(38)
        struct.pack_into('<HBB', body, 16, 1, characteristics, len(raw))
        body[20:36] = long_ad(self.bs, block, self.ref)
        body += raw + bytes(-len(body + raw) % 4)
        return self.tag(257, bytes(body), location)

    # --- volume structures ---
    def vrs(self, step=2048, at=32768):
        """(byte offset, descriptor) of the volume recognition sequence."""
        return [(at + i * step, b'\0' + ident + b'\1')
                for i, ident in enumerate((b'BEA01', b'NSR0%d' % self.nsr, b'TEA01'))]

    def fsd(self, location, root, ref, name, set_name):
        d = bytearray(512)
        d[16:28] = timestamp(0)
        struct.pack_into('<HHII', d, 28, 3, 3, 1, 1)
        d[49:72] = b'OSTA Compressed Unicode'
        d[112:240] = dstring(name, 128)
        d[241:264] = b'OSTA Compressed Unicode'
        d[304:336] = dstring(set_name, 32)
        d[400:416] = long_ad(self.bs, root, ref)
        d[416:448] = regid('*OSTA UDF Compliant', self.suffix())
        return self.tag(256, bytes(d), location)

    def terminator(self, location):
        return self.tag(8, bytes(512), location)

    def map2(self, ident, fmt, *fields):
        m = bytearray(64)
        m[0], m[1] = 2, 64
        m[4:36] = regid(ident, self.suffix())
        struct.pack_into(fmt, m, 36, 1, 0, *fields)
        return bytes(m)

    def metadata_map(self, main_fe, mirror_fe):
        return self.map2('*UDF Metadata Partition', '<HHIIIIHB', main_fe, mirror_fe, 0xFFFFFFFF,
                         32, 1, 0)

    def virtual_map(self):
        return self.map2('*UDF Virtual Partition', '<HH')

    def sparable_map(self, packet, table_len, table_at):
        return self.map2('*UDF Sparable Partition', '<HHHBBII', packet, 1, 0, table_len,
                         table_at)

    def sparing_table(self, entries):
        """Untagged: (original, replacement) block of each packet."""
        st = bytearray(56 + 8 * len(entries))
        st[16:48] = regid('*UDF Sparing Table', self.suffix())
        struct.pack_into('<HHI', st, 48, len(entries), 0, 1)
        for k, pair in enumerate(entries):
            struct.pack_into('<II', st, 56 + 8 * k, *pair)
        return st

    def vat_header(self, name):
        h = bytearray(152)
        struct.pack_into('<HH', h, 0, 152, 0)
        h[4:132] = dstring(name, 128)
        struct.pack_into('<IIIHHH', h, 132, 0xFFFFFFFF, 0, 0, self.rev, self.rev, self.rev)
        return bytes(h)

    def descriptors(self, put, part_start, part_len, fsd, fsd_ref, maps, map_count, label,
                    name, block_size=None, at=(260, 280)):
        """The main and reserve volume descriptor sequences, through put(block, bytes)."""
        for base in at:
            pvd = bytearray(512)
            struct.pack_into('<II', pvd, 16, 1, 0)
            pvd[24:56] = dstring(label, 32)
            struct.pack_into('<HHHHII', pvd, 56, 1, 1, 2, 2, 1, 1)
            put(base, self.tag(1, bytes(pvd), base))
            pd = bytearray(356)
            struct.pack_into('<IHH', pd, 16, 2, 1, 0)
            pd[24:56] = regid('+NSR0%d' % self.nsr)
            struct.pack_into('<III', pd, 184, 1, part_start, part_len)
            put(base + 1, self.tag(5, bytes(pd), base + 1))
            lvd = bytearray(440)
            struct.pack_into('<I', lvd, 16, 3)
            lvd[21:44] = b'OSTA Compressed Unicode'
            lvd[84:212] = dstring(name, 128)
            struct.pack_into('<I', lvd, 212, self.bs if block_size is None else block_size)
            lvd[216:248] = regid('*OSTA UDF Compliant', self.suffix())
            lvd[248:264] = long_ad(self.bs * 2, fsd, fsd_ref)
            struct.pack_into('<II', lvd, 264, len(maps), map_count)
            put(base + 2, self.tag(6, bytes(lvd) + maps, base + 2))
            put(base + 3, self.terminator(base + 3))

    def anchor(self, at, main=260, reserve=280):
        avdp = bytearray(512)
        struct.pack_into('<IIII', avdp, 16, 16 * self.bs, main, 16 * self.bs, reserve)
        return self.tag(2, bytes(avdp), at)
