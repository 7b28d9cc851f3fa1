#!/usr/bin/python3
"""Writes images cheap to store and expensive to read, one KIND each, well
formed apart from it. --small: under 1 MiB (fuzzing seeds); --list: the kinds.

usage: make_bombs.py KIND OUTPUT [--small]
"""
import argparse
import struct
import sys

from fixture_bytes import Blocks, both16, both32, blocks_of
from udf_layout import TYPE1_MAP, Udf, long_ad, short_ad

BS = 2048
P = 512  # first block of the UDF partition


class Volume(Udf):
    """A UDF volume: blocks put at absolute places, the descriptors around them."""

    def __init__(self, ref=0):
        super().__init__(BS, 0x201, ref, nsr=2)  # ref: the partition file identifiers use
        self.blocks = Blocks(BS)
        self.put = self.blocks.put

    def chain(self, first_ads, ads, locs, per=(BS - 24) // 8 - 1):
        """first_ads, then ads in linked extent descriptors at locs (partition blocks)."""
        return super().chain(lambda loc, d: self.put(P + loc, d), first_ads, ads, locs, per)

    def folder(self, fids_at, names_icbs, parent):
        """Folder data: the parent, then one identifier per (name, icb, traits)."""
        return b''.join([self.fid(None, parent, fids_at, 0x0A)] +
                        [self.fid(name, icb, fids_at, traits) for name, icb, traits in names_icbs])

    def folder_at(self, fe, fids_at, names_icbs, parent):
        """The folder's data at fids_at, its entry at fe (partition blocks)."""
        data = self.folder(fids_at, names_icbs, parent)
        self.put(P + fids_at, data)
        self.put(P + fe, self.entry(fe, 4, len(data), short_ad(len(data), fids_at), 0, 0))
        return data

    def finish(self, path, part_len, maps=TYPE1_MAP, map_count=1, fsd=0, fsd_ref=0, root=2,
               anchor_at_end=True, fsd_at=P, vrs_at=16):
        self.put(fsd_at, self.fsd(fsd, root, fsd_ref, 'Bomb', 'Bomb'))
        for off, d in self.vrs(at=vrs_at * BS):
            self.put(off // BS, d)
        self.descriptors(self.put, P, part_len, fsd, fsd_ref, maps, map_count, 'BOMB', 'Bomb')
        last = max(self.blocks) + 1
        for at in (256, last) if anchor_at_end else (256,):
            self.put(at, self.anchor(at))
        self.blocks.save(path)


def names(n, prefix='f'):
    return ['%s%06d' % (prefix, i) for i in range(n)]


def plain_root(u, children, fids_at=3, root=2):
    """FSD at 0, root entry at 2, its folder data from 3 on (partition blocks)."""
    return fids_at + blocks_of(len(u.folder_at(root, fids_at, children, root)), BS)


def udf_aed_fanout(out, small):
    # Every identifier names one file whose descriptors run through a chain of
    # allocation extent descriptors.
    n, hops = (2000, 200) if small else (20000, 4000)
    u = Volume()
    fe = 1
    data = plain_root(u, [(x, fe, 0) for x in names(n)])
    u.put(P + data, b'shared data block\n')
    locs = list(range(data + 1, data + 1 + hops))
    ads = [short_ad(BS, data) for _ in range(hops)]
    first = [short_ad(BS, data)]
    u.put(P + fe, u.entry(fe, 5, BS * (len(ads) + 1), u.chain(first, ads, locs, 1), 0, 0))
    u.finish(out, locs[-1] + 16, fsd_at=P + 0)


def udf_indirect_fanout(out, small):
    # Identifiers name the links of one long chain of indirect entries, each
    # with a CRC over the whole block.
    n, links = (2000, 60) if small else (20000, 60)
    u = Volume()
    chain = list(range(10, 10 + links))
    fe = chain[-1] + 1
    nxt = plain_root(u, [(x, chain[i % links], 0) for i, x in enumerate(names(n))], fids_at=100)
    for i, at in enumerate(chain):
        target = chain[i + 1] if i + 1 < links else fe
        u.put(P + at, u.indirect(at, target, 0, BS, 4))
    u.put(P + fe, u.entry(fe, 5, 5, short_ad(5, nxt), 0, 0))
    u.put(P + nxt, b'data\n')
    u.finish(out, nxt + 16, fsd_at=P + 0)


def udf_vat_expansion(out, small):
    # 24 virtual maps over one partition, one VAT of 64 MiB made of one
    # repeated run, mapping every virtual block but a few to one block; files
    # whose one descriptor spans a gigabyte of virtual blocks.
    files = 20 if small else 200
    repeat = 1 if small else 32
    u = Volume(ref=1)
    region = 2 * 1024 * 1024 // BS if not small else 64  # blocks of the repeated VAT run
    zero_at = 1  # the block every virtual block maps to
    nb = (files * 44 + 100) // BS + 1
    real = {v: 2 + v for v in range(3 + nb + files + 10)}  # virtual block -> physical block
    vat_at = 2 + len(real)
    run = bytearray(region * BS)
    run[0:152] = u.vat_header('Bomb')
    for i in range((len(run) - 152) // 4):
        struct.pack_into('<I', run, 152 + 4 * i, real.get(i, zero_at))
    u.put(P + vat_at, bytes(run))
    # Virtual layout: 0 file set, 2 root, 3.. folder data, then file entries.
    fe0 = 3 + nb
    data = u.folder(3, [(x, fe0 + i, 0) for i, x in enumerate(names(files))], 2)
    assert len(data) <= nb * BS
    for k in range(nb):
        u.put(P + real[3 + k], data[k * BS:(k + 1) * BS])
    u.put(P + real[2], u.entry(2, 4, len(data), short_ad(len(data), 3), 0, 0))
    span = (30000 if small else 500000) * BS  # inside the first run of the table
    for v in range(fe0, fe0 + files):
        u.put(P + real[v], u.entry(v, 5, span, short_ad(span, 100), 0, 0))
    fe_at = vat_at + region
    ads = b''.join(short_ad(region * BS, vat_at) for _ in range(repeat))
    u.put(P + fe_at, u.entry(fe_at, 248, region * BS * repeat, ads, 0, 0))
    maps = TYPE1_MAP + u.virtual_map() * 24
    u.finish(out, fe_at + 1, maps, 25, fsd=0, fsd_ref=1, anchor_at_end=False, fsd_at=P + real[0])


def udf_sparing_expansion(out, small):
    # A sparing table of 65,535 entries that all name one packet: each
    # descriptor over the partition becomes an extent per packet. Structures
    # are read through a second, physical map of the same partition.
    entries = 4096 if small else 65535
    u = Volume(ref=1)
    packet = 32
    spare_at = 40  # absolute block of the one replacement packet
    table_at = P + 1000
    files, names_n = (4, 500) if small else (10, 20000)
    fes = list(range(4, 4 + files))
    kids = [(x, fes[i % files], 0) for i, x in enumerate(names(names_n))]
    data_at = 20
    data = u.folder(data_at, kids, 2)
    u.put(P + data_at, data)
    u.put(P + 2, u.entry(2, 4, len(data), long_ad(len(data), data_at, 1), 1, 0))
    per = entries * packet // 4  # four descriptors over the whole partition
    span = per * BS
    for at in fes:
        ads = b''.join(long_ad(span, k * per, 0) for k in range(4))
        u.put(P + at, u.entry(at, 5, 4 * span, ads, 1, 0))
    st = u.sparing_table([(k * packet, spare_at) for k in range(entries)])
    # The table is longer than a tag's CRC can cover: its CRC covers nothing.
    struct.pack_into('<HHBBHHHI', st, 0, 0, 2, 0, 0, 0, 0, 0, table_at)
    st[4] = sum(st[0:4] + st[5:16]) & 0xFF
    u.put(table_at, bytes(st))
    u.put(spare_at, b'spared\n')
    maps = u.sparable_map(packet, len(st), table_at) + TYPE1_MAP
    u.finish(out, entries * packet, maps, 2, fsd=0, fsd_ref=1, fsd_at=P + 0)


def udf_metadata_runs(out, small):
    # A metadata file of 200,000 one-block runs; the structures sit in the
    # last runs, so a reader that walks the runs walks them all per lookup.
    runs, names_n = (20000, 2000) if small else (200000, 20000)
    u = Volume(ref=1)
    dummy = 1
    real_first = 2
    REAL = 600 if not small else 64
    base = runs - REAL  # metadata block of the file set
    real = {base + k: real_first + k for k in range(REAL)}
    # Metadata layout: base file set, base+2 root, base+3.. folder data, then files.
    fes = [base + REAL - 10 + k for k in range(8)]
    kids = [(x, fes[i % 8], 0) for i, x in enumerate(names(names_n))]
    data = u.folder(base + 3, kids, base + 2)
    nblocks = blocks_of(len(data), BS)
    assert nblocks <= REAL - 14
    for k in range(nblocks):
        u.put(P + real[base + 3 + k], data[k * BS:(k + 1) * BS])
    u.put(P + real[base + 2],
          u.entry(base + 2, 4, len(data), short_ad(len(data), base + 3), 0, 0))
    file_data = real_first + REAL
    u.put(P + file_data, b'data\n')
    for at in fes:
        u.put(P + real[at], u.entry(at, 5, 5, long_ad(5, file_data, 0), 1, 0))
    ads = [short_ad(BS, real.get(j, dummy)) for j in range(runs)]
    aed_first = file_data + 1
    locs = list(range(aed_first, aed_first + len(ads) // ((BS - 24) // 8 - 1) + 2))
    meta_fe = locs[-1] + 1
    u.put(P + meta_fe, u.entry(meta_fe, 250, runs * BS, u.chain([], ads, locs), 0, 0))
    maps = TYPE1_MAP + u.metadata_map(meta_fe, meta_fe)
    u.finish(out, meta_fe + 16, maps, 2, fsd=base, fsd_ref=1, root=base + 2, fsd_at=P + real[base])


def udf_repeated_folder(out, small):
    # The root's data is one block named 30,000 times by its descriptors.
    times = 2000 if small else 30000
    u = Volume()
    fe = 1
    block = 3
    data = u.folder(block, [(x, fe, 0) for x in names(40, 'r')], 2)
    assert len(data) <= BS
    u.put(P + block, data)
    u.put(P + 4, b'data\n')
    u.put(P + fe, u.entry(fe, 5, 5, short_ad(5, 4), 0, 0))
    ads = [short_ad(BS, block) for _ in range(times - 1)]
    locs = list(range(10, 10 + times // ((BS - 24) // 8 - 1) + 2))
    u.put(P + 2, u.entry(2, 4, times * BS, u.chain([short_ad(BS, block)], ads, locs), 0, 0))
    u.finish(out, locs[-1] + 16, fsd_at=P + 0)


def udf_nesting(out, small, levels):
    # Folders nested levels deep, one in each, an empty file in the deepest.
    levels = min(levels, 100) if small else levels
    u = Volume()
    empty = 1
    u.put(P + empty, u.entry(empty, 5, 0, b'', 0, 0))
    for k in range(levels + 1):
        fe = 2 + 2 * k
        kid = ('leaf.txt', empty, 0) if k == levels else ('d', fe + 2, 0x02)
        u.folder_at(fe, fe + 1, [kid], fe - 2 if k else fe)
    u.finish(out, 2 * levels + 4 + 16, fsd_at=P + 0)


# --- ISO 9660 ---

def record(name, lba, size, flags=0, su=b''):
    body = both32(lba) + both32(size) + bytes([100, 1, 1, 0, 0, 0, 0, flags, 0, 0]) + \
        both16(1) + bytes([len(name)]) + name + bytes(1 - len(name) % 2) + su
    return bytes([len(body) + 2 + len(body) % 2, 0]) + body + bytes(len(body) % 2)


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


def dotted(recs, lba, su=b''):
    """Folder data of recs, its first record ('.', at lba) giving the size."""
    data = folder_blocks(recs)
    return record(b'\0', lba, len(data), 2, su) + data[len(recs[0]):]


def iso_descriptors(blocks, total, root_lba, root_size):
    d = bytearray(BS)
    d[0:7] = b'\x01CD001\x01'
    d[40:72] = b'BOMB'.ljust(32)
    d[80:88] = both32(total)
    d[120:132] = both16(1) + both16(1) + both16(BS)
    root = record(b'\0', root_lba, root_size, 2)
    d[156:156 + len(root)] = root
    d[881] = 1
    blocks.put(16, bytes(d))
    blocks.put(17, b'\xffCD001\x01')


class Iso(Blocks):
    def finish(self, path, root_lba, data):
        self.put(root_lba, data)
        iso_descriptors(self, max(self) + 1, root_lba, len(data))
        self.save(path)


def dots(lba):
    return [record(b'\0', lba, 0, 2), record(b'\1', lba, 0, 2)]


SP = b'SP\x07\x01\xbe\xef\x00'


def rr_continuation_fanout(out, small):
    # Every record continues its System Use entries in one shared chain of
    # 15 continuation areas of 8 KiB, each full of padding entries.
    n = 3000 if small else 60000
    iso = Iso()
    areas = 4 if small else 15
    area_at = 20

    def ce(at):
        return b'CE\x1c\x01' + both32(at) + both32(0) + both32(8192)

    for k in range(areas):
        body = b'PD\x04\x01' * ((8192 - 28) // 4)
        iso.put(area_at + 4 * k, body + (ce(area_at + 4 * (k + 1)) if k + 1 < areas else b''))
    root_lba = area_at + 4 * areas
    recs = [record(b'\0', root_lba, 0, 2, SP), record(b'\1', root_lba, 0, 2)]
    data_at = 18
    iso.put(data_at, b'data\n')
    for i in range(n):
        nm = ('file-%06d' % i).encode()
        recs.append(record(b'F%06d.;1' % i, data_at, 5, 0,
                           b'NM' + bytes([5 + len(nm), 1, 0]) + nm + ce(area_at)))
    iso.finish(out, root_lba, dotted(recs, root_lba, SP))


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
    recs = dots(root_lba) + [record(b'D%05d' % i, base + i, (region - i) * BS, 2)
                             for i in range(folders)]
    iso.finish(out, root_lba, dotted(recs, root_lba))


def iso_multi_extent_overlap(out, small):
    # A file in 20,000 parts that all name the same two gigabytes; and one in
    # two parts that overlap by a block. OK.TXT is whole.
    parts = 2000 if small else 20000
    iso = Iso()
    data_at = 18
    iso.put(data_at, b'data\n')
    iso.put(data_at + 1, b'more\n')
    root_lba = 20
    recs = dots(root_lba) + [record(b'BIG.;1', data_at, 0x80000000, 0x80 if i + 1 < parts else 0)
                             for i in range(parts)]
    recs.append(record(b'PAIR.;1', data_at, 2 * BS, 0x80))
    recs.append(record(b'PAIR.;1', data_at + 1, BS, 0))
    recs.append(record(b'OK.TXT;1', data_at + 1, 5))
    iso.finish(out, root_lba, dotted(recs, root_lba))


# --- both ---

def hybrid_wide_folder(out, small):
    # One folder of 40,000 empty files, recorded in UDF and in ISO 9660 under
    # the same names: the merge of the two trees looks every name up.
    n = 2000 if small else 40000
    kids = names(n, 'F')
    u = Volume()
    empty, root, big, root_fids, big_fids = 1, 2, 3, 4, 5
    u.put(P + empty, u.entry(empty, 5, 0, b'', 0, 0))
    u.folder_at(root, root_fids, [('BIG', big, 0x02)], root)
    data = u.folder_at(big, big_fids, [(x, empty, 0) for x in kids], root)
    part_len = big_fids + blocks_of(len(data), BS) + 16
    # The ISO 9660 tree after the partition; its descriptors before UDF's.
    iso_root = P + part_len
    iso_big = iso_root + 1
    recs = [record(b'\0', iso_big, 0, 2), record(b'\1', iso_root, BS, 2)]
    data = dotted(recs + [record(x.encode() + b'.;1', 0, 0) for x in kids], iso_big)
    u.put(iso_big, data)
    u.put(iso_root, folder_blocks([record(b'\0', iso_root, BS, 2), record(b'\1', iso_root, BS, 2),
                                   record(b'BIG', iso_big, len(data), 2)]))
    iso_descriptors(u.blocks, max(u.blocks) + 2, iso_root, BS)  # and the anchor at the end
    u.finish(out, part_len, fsd_at=P + 0, vrs_at=18)


KINDS = {f.__name__.replace('_', '-'): f for f in (
    udf_aed_fanout, udf_indirect_fanout, rr_continuation_fanout, udf_vat_expansion,
    udf_sparing_expansion, udf_metadata_runs, udf_repeated_folder, iso_overlapping_folders,
    iso_multi_extent_overlap, hybrid_wide_folder)}
KINDS['udf-nesting-1000'] = lambda out, small: udf_nesting(out, small, 1000)
KINDS['udf-nesting-1500'] = lambda out, small: udf_nesting(out, small, 1500)


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
