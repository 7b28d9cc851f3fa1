#!/usr/bin/python3
"""Makes an image whose links lay a trap for an extractor, one trap per image.

usage: make_link_traps.py KIND OUTSIDE OUTPUT

OUTSIDE is an absolute folder beside the extraction's target, named
"outside"; the links point into it and nothing may ever appear there. Every
image but "apart" holds keep.txt, sub/aa.txt and sub/zz.txt, which an
extraction writes whatever else it refuses; the trap lies in sub/, between
them. xorriso writes the image from a tree made here; the kinds then rename
entries in place, in their Rock Ridge NM field and their ISO 9660 name alike
(a new name of the same length, so nothing moves), or change a PX link
count. Run with --list to see the kinds.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'sdk'))
from make_hostile import Image  # noqa: E402


def rr_name(img, off):
    pos, length = img.su_entry(off, 'NM')
    return bytes(img.d[pos + 5:pos + length]).decode('utf-8')


def entry(img, folder, name):
    """Offset of the record named `name` (Rock Ridge) in the folder at path `folder`."""
    for off in img.records(img.find(folder)):
        dot = img.d[off + 32] == 1 and img.d[off + 33] in (0, 1)
        if not dot and rr_name(img, off) == name:
            return off
    raise KeyError(name)


def rename(img, folder, old, new):
    """Renames in the Rock Ridge name and in the ISO 9660 one alike: a reader
    that finds names clashing in one tree finds them clashing in the other."""
    assert len(old) == len(new)
    off = entry(img, folder, old)
    pos, _ = img.su_entry(off, 'NM')
    img.d[pos + 5:pos + 5 + len(new)] = new.encode('utf-8')
    iso = off + 33
    assert img.d[iso:iso + len(old)] == old.upper().encode('ascii')
    img.d[iso:iso + len(new)] = new.upper().encode('ascii')


def set_links(img, folder, name, count):
    pos, _ = img.su_entry(entry(img, folder, name), 'PX')
    img.set_both32(pos + 12, count)


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w') as f:
        f.write(text)


# Each kind: (tree maker, patch). The tree maker gets the tree's root and OUTSIDE.

def link_and_folder_tree(t, outside):
    # A link out, and a folder that will bear the link's name.
    os.symlink(outside, f'{t}/sub/trapdoor')
    write(f'{t}/sub/trapdoos/inner.txt', 'inner\n')


def link_and_folder(img):
    rename(img, 'SUB', 'trapdoos', 'trapdoor')


def climbing_link_tree(t, outside):
    # sub/climber in the target reaches OUTSIDE by climbing two levels.
    os.symlink('../../' + os.path.basename(outside), f'{t}/sub/climber')
    write(f'{t}/sub/climbes/inner.txt', 'inner\n')
    write(f'{t}/sub/climbes/more.txt', 'more\n')


def climbing_link(img):
    rename(img, 'SUB', 'climbes', 'climber')


def link_then_files_tree(t, outside):
    # A link to a file not yet in OUTSIDE, then two files of its name.
    os.symlink(outside + '/victim', f'{t}/sub/decoys')
    write(f'{t}/sub/decoyt', 'through the link\n')
    write(f'{t}/sub/decoyu', 'through again\n')


def link_then_files(img):
    rename(img, 'SUB', 'decoyt', 'decoys')
    rename(img, 'SUB', 'decoyu', 'decoys')


def link_loop_tree(t, outside):
    os.symlink('loopb', f'{t}/sub/loopa')
    os.symlink('loopa', f'{t}/sub/loopb')
    write(f'{t}/sub/loopc/inner.txt', 'inner\n')


def link_loop(img):
    rename(img, 'SUB', 'loopc', 'loopa')


def lying_counts_tree(t, outside):
    # Two names of one file share an extent; the second is made to say it
    # is the only one. Two empty files share the extent of every empty file;
    # the first is made to say it has two names.
    write(f'{t}/sub/pair1', 'one file, two names\n')
    os.link(f'{t}/sub/pair1', f'{t}/sub/pair2')
    write(f'{t}/sub/alone', '')
    write(f'{t}/sub/blank', '')


def lying_counts(img):
    set_links(img, 'SUB', 'pair2', 1)
    set_links(img, 'SUB', 'alone', 2)


def apart_tree(t, outside):
    # Not patched: one/portal and two/portal land on one name when both are
    # extracted into one folder.
    os.makedirs(f'{t}/one')
    os.symlink(outside, f'{t}/one/portal')
    write(f'{t}/two/portal/inner.txt', 'inner\n')


KINDS = {
    'link_and_folder': (link_and_folder_tree, link_and_folder),
    'climbing_link': (climbing_link_tree, climbing_link),
    'link_then_files': (link_then_files_tree, link_then_files),
    'link_loop': (link_loop_tree, link_loop),
    'lying_counts': (lying_counts_tree, lying_counts),
    'apart': (apart_tree, None),
}


def main():
    if sys.argv[1:] == ['--list']:
        print('\n'.join(KINDS))
        return
    kind, outside, target = sys.argv[1:4]
    make_tree, patch = KINDS[kind]
    with tempfile.TemporaryDirectory() as tmp:
        tree = os.path.join(tmp, 'tree')
        if patch:
            os.makedirs(f'{tree}/sub')
            write(f'{tree}/keep.txt', 'keep\n')
            write(f'{tree}/sub/aa.txt', 'first\n')
            write(f'{tree}/sub/zz.txt', 'last\n')
        make_tree(tree, outside)
        iso = os.path.join(tmp, 'image.iso')
        subprocess.run(['xorriso', '-as', 'mkisofs', '-quiet', '-R', '-o', iso, tree],
                       check=True, stderr=subprocess.DEVNULL)
        with open(iso, 'rb') as f:
            img = Image(f.read())
    if patch:
        patch(img)
    with open(target, 'wb') as f:
        f.write(img.d)


if __name__ == '__main__':
    main()
