#!/usr/bin/python3
"""Writes images that are cheap to store and expensive to read: structures
named many times, descriptors that turn into many extents, folder data read
again and again. Each KIND is one such class; the image is well-formed apart
from it, so a reader that bounds its work lists it (or the part that is not
damage) quickly.

usage: make_bombs.py KIND OUTPUT [--small]
--small makes a version under 1 MiB (fuzzing seeds). Run with --list to see
the kinds.
"""
import argparse
import struct
import sys
import os

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_udf  # noqa: E402

BS = 2048
P = 512  # first block of the UDF partition


def _crc_table():
    t = []
    for i in range(256):
        crc = i << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
        t.append(crc & 0xFFFF)
    return t


_CRC = _crc_table()


def crc_itu(data):
    crc = 0
    for b in data:
        crc = ((crc << 8) & 0xFFFF) ^ _CRC[(crc >> 8) ^ b]
    return crc


make_udf.crc_itu = crc_itu  # the same CRC, a table step per byte


def udf_writer(ref=0):
    a = argparse.Namespace(bs=BS, rev='2.01', efe=False, metadata=False, vat=False, ad='short',
                           chain=False, hostile=None, strategy=4, embed=False, sparable=False,
                           plain=True)
    w = make_udf.Writer(a)
    w.meta_ref = ref  # the partition reference file identifiers use
    return w


class Udf:
    """A UDF volume: blocks put at absolute places, the descriptors around them."""

    def __init__(self, ref=0):
        self.w = udf_writer(ref)
        self.blocks = {}

    def put(self, block, data):
        for i in range(0, max(len(data), 1), BS):
            chunk = data[i:i + BS]
            self.blocks[block + i // BS] = chunk + bytes(BS - len(chunk))

    def aed(self, loc, body):
        head = bytearray(24)
        struct.pack_into('<II', head, 16, 0, len(body))
        return self.w.tag(258, bytes(head) + body, loc)

    def chain(self, first_ads, ads, locs, per=(BS - 24) // 8 - 1):
        """An entry's descriptors: first_ads, then ads spread over the
        allocation extent descriptors at locs (partition blocks), per in each, linked."""
        def ad(loc):
            return self.w.short_ad(BS, loc, 3)
        parts = [ads[i:i + per] for i in range(0, len(ads), per)]
        assert len(parts) <= len(locs)
        for i, part in enumerate(parts):
            body = b''.join(part)
            if i + 1 < len(parts):
                body += ad(locs[i + 1])
            self.put(P + locs[i], self.aed(locs[i], body))
        return b''.join(first_ads) + ad(locs[0])

    def folder(self, fids_at, names_icbs, parent):
        """Folder data: the parent, then one identifier per (name, icb, traits)."""
        out = [self.w.fid(None, parent, fids_at, 0x0A)]
        for name, icb, traits in names_icbs:
            out.append(self.w.fid(name, icb, fids_at, traits))
        return b''.join(out)

    def finish(self, path, part_len, maps=None, map_count=1, fsd=0, fsd_ref=0, root=2,
               anchor_at_end=True, fsd_at=P, vrs_at=16):
        w = self.w
        fsd_d = bytearray(512)
        fsd_d[16:28] = w.timestamp(0)
        struct.pack_into('<HHII', fsd_d, 28, 3, 3, 1, 1)
        fsd_d[49:72] = b'OSTA Compressed Unicode'
        fsd_d[112:240] = w.dstring('Bomb', 128)
        fsd_d[241:264] = b'OSTA Compressed Unicode'
        fsd_d[304:336] = w.dstring('Bomb', 32)
        fsd_d[400:416] = w.long_ad(BS, root, fsd_ref)
        fsd_d[416:448] = w.regid('*OSTA UDF Compliant', w.udf_suffix())
        self.put(fsd_at, w.tag(256, bytes(fsd_d), fsd))
        if maps is None:
            maps = struct.pack('<BBHH', 1, 6, 1, 0)
        for i, ident in enumerate([b'BEA01', b'NSR02', b'TEA01']):
            self.put(vrs_at + i, b'\0' + ident + b'\1')
        for base in (260, 280):
            pvd = bytearray(512)
            struct.pack_into('<II', pvd, 16, 1, 0)
            pvd[24:56] = w.dstring('BOMB', 32)
            struct.pack_into('<HHHHII', pvd, 56, 1, 1, 2, 2, 1, 1)
            self.put(base, w.tag(1, bytes(pvd), base))
            pd = bytearray(356)
            struct.pack_into('<IHH', pd, 16, 2, 1, 0)
            pd[24:56] = w.regid('+NSR02')
            struct.pack_into('<III', pd, 184, 1, P, part_len)
            self.put(base + 1, w.tag(5, bytes(pd), base + 1))
            lvd = bytearray(440)
            struct.pack_into('<I', lvd, 16, 3)
            lvd[21:44] = b'OSTA Compressed Unicode'
            lvd[84:212] = w.dstring('Bomb', 128)
            struct.pack_into('<I', lvd, 212, BS)
            lvd[216:248] = w.regid('*OSTA UDF Compliant', w.udf_suffix())
            lvd[248:264] = w.long_ad(BS * 2, fsd, fsd_ref)
            struct.pack_into('<II', lvd, 264, len(maps), map_count)
            self.put(base + 2, w.tag(6, bytes(lvd) + maps, base + 2))
            self.put(base + 3, w.tag(8, bytes(512), base + 3))
        last = max(self.blocks) + 1
        for at in (256, last) if anchor_at_end else (256,):
            avdp = bytearray(512)
            struct.pack_into('<IIII', avdp, 16, 16 * BS, 260, 16 * BS, 280)
            self.put(at, w.tag(2, bytes(avdp), at))
        total = max(self.blocks) + 1
        with open(path, 'wb') as f:
            for b in range(total):
                f.write(self.blocks.get(b, bytes(BS)))


def names(n, prefix='f'):
    return ['%s%06d' % (prefix, i) for i in range(n)]


def plain_root(u, children, fids_at=3, root=2):
    """FSD at 0, root entry at 2, its folder data from 3 on (partition blocks)."""
    data = u.folder(fids_at, children, root)
    u.put(P + fids_at, data)
    u.put(P + root, u.w.entry(root, 4, len(data), u.w.short_ad(len(data), fids_at), 0, 0))
    return fids_at + (len(data) + BS - 1) // BS


def udf_aed_fanout(out, small):
    # Every identifier names one file whose descriptors run through a chain of
    # allocation extent descriptors.
    n, hops = (2000, 200) if small else (20000, 4000)
    u = Udf()
    fe = 1
    nxt = plain_root(u, [(x, fe, 0) for x in names(n)])
    data = nxt
    u.put(P + data, b'shared data block\n')
    locs = list(range(data + 1, data + 1 + hops))
    ads = [u.w.short_ad(BS, data) for _ in range(hops)]
    first = [u.w.short_ad(BS, data)]
    u.put(P + fe, u.w.entry(fe, 5, BS * (len(ads) + 1), u.chain(first, ads, locs, 1), 0, 0))
    u.finish(out, locs[-1] + 16, fsd_at=P + 0)


def udf_indirect_fanout(out, small):
    # Identifiers name the links of one long chain of indirect entries, each
    # with a CRC over the whole block.
    n, links = (2000, 60) if small else (20000, 60)
    u = Udf()
    chain = list(range(10, 10 + links))
    fe = chain[-1] + 1
    nxt = plain_root(u, [(x, chain[i % links], 0) for i, x in enumerate(names(n))], fids_at=100)
    for i, at in enumerate(chain):
        ie = bytearray(BS)
        ie[16:36] = u.w.icbtag(3, 0)
        target = chain[i + 1] if i + 1 < links else fe
        ie[36:52] = u.w.long_ad(BS, target, 0)
        u.put(P + at, u.w.tag(259, bytes(ie), at))
    u.put(P + fe, u.w.entry(fe, 5, 5, u.w.short_ad(5, nxt), 0, 0))
    u.put(P + nxt, b'data\n')
    u.finish(out, nxt + 16, fsd_at=P + 0)


def udf_vat_expansion(out, small):
    # 24 virtual maps over one partition, one VAT of 64 MiB made of one
    # repeated run, mapping every virtual block but a few to one block; files
    # whose one descriptor spans a gigabyte of virtual blocks.
    files = 20 if small else 200
    repeat = 1 if small else 32
    u = Udf(ref=1)
    region = 2 * 1024 * 1024 // BS if not small else 64  # blocks of the repeated VAT run
    zero_at = 1  # the block every virtual block maps to
    real = {}  # virtual block -> physical block
    phys = 2
    nb = (files * 44 + 100) // BS + 1
    for v in range(0, 3 + nb + files + 10):
        real[v] = phys
        phys += 1
    vat_at = phys
    run = bytearray(region * BS)
    struct.pack_into('<HH', run, 0, 152, 0)
    run[4:132] = u.w.dstring('Bomb', 128)
    struct.pack_into('<IIIHHH', run, 132, 0xFFFFFFFF, 0, 0, 0x201, 0x201, 0x201)
    for i in range((len(run) - 152) // 4):
        struct.pack_into('<I', run, 152 + 4 * i, real.get(i, zero_at))
    u.put(P + vat_at, bytes(run))
    # Virtual layout: 0 file set, 2 root, 3.. folder data, then file entries.
    fe0 = 3 + nb
    kids = [(x, fe0 + i, 0) for i, x in enumerate(names(files))]
    data = u.folder(3, kids, 2)
    assert len(data) <= nb * BS
    for k in range(nb):
        u.put(P + real[3 + k], data[k * BS:(k + 1) * BS])
    u.put(P + real[2], u.w.entry(2, 4, len(data), u.w.short_ad(len(data), 3), 0, 0))
    span = (30000 if small else 500000) * BS  # inside the first run of the table
    for i in range(files):
        v = fe0 + i
        u.put(P + real[v], u.w.entry(v, 5, span, u.w.short_ad(span, 100), 0, 0))
    fe_at = vat_at + region
    vat_len = region * BS * repeat
    ads = b''.join(u.w.short_ad(region * BS, vat_at) for _ in range(repeat))
    u.put(P + fe_at, u.w.entry(fe_at, 248, vat_len, ads, 0, 0))
    maps = struct.pack('<BBHH', 1, 6, 1, 0)
    for _ in range(24):
        m = bytearray(64)
        m[0], m[1] = 2, 64
        m[4:36] = u.w.regid('*UDF Virtual Partition', u.w.udf_suffix())
        struct.pack_into('<HH', m, 36, 1, 0)
        maps += bytes(m)
    u.finish(out, fe_at + 1, maps, 25, fsd=0, fsd_ref=1, anchor_at_end=False, fsd_at=P + real[0])


def udf_sparing_expansion(out, small):
    # A sparing table of 65,535 entries that all name one packet: each
    # descriptor over the partition becomes an extent per packet. Structures
    # are read through a second, physical map of the same partition.
    entries = 4096 if small else 65535
    u = Udf(ref=1)
    packet = 32
    spare_at = 40  # absolute block of the one replacement packet
    table_at = P + 1000
    files, names_n = (4, 500) if small else (10, 20000)
    fes = list(range(4, 4 + files))
    kids = [(x, fes[i % files], 0) for i, x in enumerate(names(names_n))]
    data_at = 20
    data = u.folder(data_at, kids, 2)
    u.put(P + data_at, data)
    u.put(P + 2, u.w.entry(2, 4, len(data), u.w.long_ad(len(data), data_at, 1), 1, 0))
    per = entries * packet // 4  # four descriptors over the whole partition
    span = per * BS
    for at in fes:
        ads = b''.join(u.w.long_ad(span, k * per, 0) for k in range(4))
        u.put(P + at, u.w.entry(at, 5, 4 * span, ads, 1, 0))
    st = bytearray(56 + 8 * entries)
    st[16:48] = u.w.regid('*UDF Sparing Table', u.w.udf_suffix())
    struct.pack_into('<HHI', st, 48, entries, 0, 1)
    for k in range(entries):
        struct.pack_into('<II', st, 56 + 8 * k, k * packet, spare_at)
    # The table is longer than a tag's CRC can cover: its CRC covers nothing.
    struct.pack_into('<HHBBHHHI', st, 0, 0, 2, 0, 0, 0, 0, 0, table_at)
    st[4] = sum(st[0:4] + st[5:16]) & 0xFF
    u.put(table_at, bytes(st))
    u.put(spare_at, b'spared\n')
    m = bytearray(64)
    m[0], m[1] = 2, 64
    m[4:36] = u.w.regid('*UDF Sparable Partition', u.w.udf_suffix())
    struct.pack_into('<HHHBBII', m, 36, 1, 0, packet, 1, 0, len(st), table_at)
    maps = bytes(m) + struct.pack('<BBHH', 1, 6, 1, 0)
    part_len = entries * packet
    u.finish(out, part_len, maps, 2, fsd=0, fsd_ref=1, fsd_at=P + 0)


def udf_metadata_runs(out, small):
    # A metadata file of 200,000 one-block runs; the structures sit in the
    # last runs, so a reader that walks the runs walks them all per lookup.
    runs, names_n = (20000, 2000) if small else (200000, 20000)
    u = Udf(ref=1)
    dummy = 1
    base = runs - 64  # metadata block of the file set
    real_first = 2
    REAL = 600 if not small else 64
    base = runs - REAL  # metadata block of the file set
    real = {base + k: real_first + k for k in range(REAL)}
    # Metadata layout: base file set, base+2 root, base+3.. folder data, then files.
    fes = [base + REAL - 10 + k for k in range(8)]
    kids = [(x, fes[i % 8], 0) for i, x in enumerate(names(names_n))]
    data = u.folder(base + 3, kids, base + 2)
    nblocks = (len(data) + BS - 1) // BS
    assert nblocks <= REAL - 14
    for k in range(nblocks):
        u.put(P + real[base + 3 + k], data[k * BS:(k + 1) * BS])
    u.put(P + real[base + 2],
          u.w.entry(base + 2, 4, len(data), u.w.short_ad(len(data), base + 3), 0, 0))
    file_data = real_first + REAL
    u.put(P + file_data, b'data\n')
    for at in fes:
        u.put(P + real[at], u.w.entry(at, 5, 5, u.w.long_ad(5, file_data, 0), 1, 0))
    ads = [u.w.short_ad(BS, real.get(j, dummy)) for j in range(runs)]
    aed_first = file_data + 1
    locs = list(range(aed_first, aed_first + len(ads) // ((BS - 24) // 8 - 1) + 2))
    meta_fe = locs[-1] + 1
    u.put(P + meta_fe,
          u.w.entry(meta_fe, 250, runs * BS, u.chain([], ads, locs), 0, 0))
    m = bytearray(64)
    m[0], m[1] = 2, 64
    m[4:36] = u.w.regid('*UDF Metadata Partition', u.w.udf_suffix())
    struct.pack_into('<HHIIIIHB', m, 36, 1, 0, meta_fe, meta_fe, 0xFFFFFFFF, 32, 1, 0)
    maps = struct.pack('<BBHH', 1, 6, 1, 0) + bytes(m)
    u.finish(out, meta_fe + 16, maps, 2, fsd=base, fsd_ref=1, root=base + 2, fsd_at=P + real[base])


def udf_repeated_folder(out, small):
    # The root's data is one block named 30,000 times by its descriptors.
    times = 2000 if small else 30000
    u = Udf()
    fe = 1
    block = 3
    kids = [(x, fe, 0) for x in names(40, 'r')]
    data = u.folder(block, kids, 2)
    assert len(data) <= BS
    u.put(P + block, data)
    u.put(P + 4, b'data\n')
    u.put(P + fe, u.w.entry(fe, 5, 5, u.w.short_ad(5, 4), 0, 0))
    ads = [u.w.short_ad(BS, block) for _ in range(times - 1)]
    locs = list(range(10, 10 + times // ((BS - 24) // 8 - 1) + 2))
    u.put(P + 2, u.w.entry(2, 4, times * BS, u.chain([u.w.short_ad(BS, block)], ads, locs),
                           0, 0))
    u.finish(out, locs[-1] + 16, fsd_at=P + 0)


def udf_nesting(out, small, levels):
    # Folders nested levels deep, one in each, an empty file in the deepest.
    levels = min(levels, 100) if small else levels
    u = Udf()
    empty = 1
    u.put(P + empty, u.w.entry(empty, 5, 0, b'', 0, 0))
    for k in range(levels + 1):
        fe, fids = 2 + 2 * k, 3 + 2 * k
        parent = fe - 2 if k else fe
        kid = ('leaf.txt', empty, 0) if k == levels else ('d', fe + 2, 0x02)
        data = u.folder(fids, [kid], parent)
        u.put(P + fids, data)
        u.put(P + fe, u.w.entry(fe, 4, len(data), u.w.short_ad(len(data), fids), 0, 0))
    u.finish(out, 2 * levels + 4 + 16, fsd_at=P + 0)


def udf_nesting_1000(out, small):
    udf_nesting(out, small, 1000)


def udf_nesting_1500(out, small):
    udf_nesting(out, small, 1500)


# --- ISO 9660 ---

def both16(v):
    return struct.pack('<H', v) + struct.pack('>H', v)


def both32(v):
    return struct.pack('<I', v) + struct.pack('>I', v)


def record(name, lba, size, flags=0, su=b''):
    n = len(name)
    body = both32(lba) + both32(size) + bytes([100, 1, 1, 0, 0, 0, 0]) + bytes([flags, 0, 0]) \
        + both16(1) + bytes([n]) + name
    if n % 2 == 0:
        body += b'\0'
    body += su
    if (len(body) + 2) % 2:
        body += b'\0'
    return bytes([len(body) + 2, 0]) + body


def folder_blocks(records):
    """Records laid into 2048-byte blocks, none crossing a block's end."""
    out, cur = [], b''
    for r in records:
        if len(cur) + len(r) > BS:
            out.append(cur + bytes(BS - len(cur)))
            cur = b''
        cur += r
    out.append(cur + bytes(BS - len(cur)))
    return b''.join(out)


class Iso:
    def __init__(self):
        self.blocks = {}

    def put(self, block, data):
        for i in range(0, max(len(data), 1), BS):
            chunk = data[i:i + BS]
            self.blocks[block + i // BS] = chunk + bytes(BS - len(chunk))

    def finish(self, path, root_lba, root_size):
        total = max(self.blocks) + 1
        self.put(16, pvd(total, root_lba, root_size))
        self.put(17, b'\xffCD001\x01')
        with open(path, 'wb') as f:
            for b in range(total):
                f.write(self.blocks.get(b, bytes(BS)))


def pvd(total, root_lba, root_size):
    d = bytearray(BS)
    d[0:7] = b'\x01CD001\x01'
    d[40:72] = b'BOMB'.ljust(32)
    d[80:88] = both32(total)
    d[120:124] = both16(1)
    d[124:128] = both16(1)
    d[128:132] = both16(BS)
    root = record(b'\0', root_lba, root_size, 2)
    d[156:156 + len(root)] = root
    d[881] = 1
    return bytes(d)


SP = b'SP\x07\x01\xbe\xef\x00'


def rr_continuation_fanout(out, small):
    # Every record continues its System Use entries in one shared chain of
    # 15 continuation areas of 8 KiB, each full of padding entries.
    n = 3000 if small else 60000
    iso = Iso()
    areas = 4 if small else 15
    area_at = 20
    for k in range(areas):
        body = b''
        nxt = area_at + 4 * (k + 1)
        ce = b'CE\x1c\x01' + both32(nxt) + both32(0) + both32(8192)
        while len(body) + 4 + len(ce) <= 8192:
            body += b'PD\x04\x01'
        if k + 1 < areas:
            body += ce
        iso.put(area_at + 4 * k, body)
    ce = b'CE\x1c\x01' + both32(area_at) + both32(0) + both32(8192)
    root_lba = area_at + 4 * areas
    recs = [record(b'\0', root_lba, 0, 2, SP), record(b'\1', root_lba, 0, 2)]
    data_at = 18
    iso.put(data_at, b'data\n')
    for i in range(n):
        nm = ('file-%06d' % i).encode()
        recs.append(record(b'F%06d.;1' % i, data_at, 5, 0,
                           b'NM' + bytes([5 + len(nm), 1, 0]) + nm + ce))
    data = folder_blocks(recs)
    size = len(data)
    data = record(b'\0', root_lba, size, 2, SP) + data[len(recs[0]):]
    iso.put(root_lba, data)
    iso.finish(out, root_lba, size)


def iso_overlapping_folders(out, small):
    # Folders whose extents overlap: each starts one block after the last and
    # runs to the end of one region full of file records.
    folders, region = (100, 200) if small else (1000, 2048)
    iso = Iso()
    base = 100
    data_at = 18
    iso.put(data_at, b'data\n')
    for b in range(region):
        recs = [record(b'F%05d_%02d.;1' % (b, k), data_at, 5) for k in range(40)]
        iso.put(base + b, folder_blocks(recs)[:BS])
    root_lba = base + region
    recs = [record(b'\0', root_lba, 0, 2), record(b'\1', root_lba, 0, 2)]
    for i in range(folders):
        recs.append(record(b'D%05d' % i, base + i, (region - i) * BS, 2))
    data = folder_blocks(recs)
    data = record(b'\0', root_lba, len(data), 2) + data[len(recs[0]):]
    iso.put(root_lba, data)
    iso.finish(out, root_lba, len(data))


def iso_multi_extent_overlap(out, small):
    # A file in 20,000 parts that all name the same two gigabytes; and one in
    # two parts that overlap by a block. OK.TXT is whole.
    parts = 2000 if small else 20000
    iso = Iso()
    data_at = 18
    iso.put(data_at, b'data\n')
    iso.put(data_at + 1, b'more\n')
    root_lba = 20
    recs = [record(b'\0', root_lba, 0, 2), record(b'\1', root_lba, 0, 2)]
    for i in range(parts):
        recs.append(record(b'BIG.;1', data_at, 0x80000000, 0x80 if i + 1 < parts else 0))
    recs.append(record(b'PAIR.;1', data_at, 2 * BS, 0x80))
    recs.append(record(b'PAIR.;1', data_at + 1, BS, 0))
    recs.append(record(b'OK.TXT;1', data_at + 1, 5))
    data = folder_blocks(recs)
    data = record(b'\0', root_lba, len(data), 2) + data[len(recs[0]):]
    iso.put(root_lba, data)
    iso.finish(out, root_lba, len(data))


# --- both ---

def hybrid_wide_folder(out, small):
    # One folder of 40,000 empty files, recorded in UDF and in ISO 9660 under
    # the same names: the merge of the two trees looks every name up.
    n = 2000 if small else 40000
    kids = names(n, 'F')
    u = Udf()
    empty, root, big, root_fids, big_fids = 1, 2, 3, 4, 5
    u.put(P + empty, u.w.entry(empty, 5, 0, b'', 0, 0))
    data = u.folder(root_fids, [('BIG', big, 0x02)], root)
    u.put(P + root_fids, data)
    u.put(P + root, u.w.entry(root, 4, len(data), u.w.short_ad(len(data), root_fids), 0, 0))
    data = u.folder(big_fids, [(x, empty, 0) for x in kids], root)
    u.put(P + big_fids, data)
    u.put(P + big, u.w.entry(big, 4, len(data), u.w.short_ad(len(data), big_fids), 0, 0))
    part_len = big_fids + (len(data) + BS - 1) // BS + 16
    # The ISO 9660 tree after the partition; its descriptors before UDF's.
    iso_root = P + part_len
    iso_big = iso_root + 1
    recs = [record(b'\0', iso_big, 0, 2), record(b'\1', iso_root, BS, 2)]
    recs += [record(x.encode() + b'.;1', 0, 0) for x in kids]
    data = folder_blocks(recs)
    data = record(b'\0', iso_big, len(data), 2) + data[len(recs[0]):]
    u.put(iso_big, data)
    u.put(iso_root, folder_blocks([record(b'\0', iso_root, BS, 2), record(b'\1', iso_root, BS, 2),
                                   record(b'BIG', iso_big, len(data), 2)]))
    total = max(u.blocks) + 2  # and the anchor at the end
    u.put(16, pvd(total, iso_root, BS))
    u.put(17, b'\xffCD001\x01')
    u.finish(out, part_len, fsd_at=P + 0, vrs_at=18)


KINDS = {f.__name__.replace('_', '-'): f for f in (
    udf_aed_fanout, udf_indirect_fanout, rr_continuation_fanout, udf_vat_expansion,
    udf_sparing_expansion, udf_metadata_runs, udf_repeated_folder, iso_overlapping_folders,
    iso_multi_extent_overlap, hybrid_wide_folder, udf_nesting_1000, udf_nesting_1500)}


def main():
    if sys.argv[1:] == ['--list']:
        print('\n'.join(KINDS))
        return
    p = argparse.ArgumentParser()
    p.add_argument('kind', choices=sorted(KINDS))
    p.add_argument('output')
    p.add_argument('--small', action='store_true')
    a = p.parse_args()
    KINDS[a.kind](a.output, a.small)


if __name__ == '__main__':
    main()
