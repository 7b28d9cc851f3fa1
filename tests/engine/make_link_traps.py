#!/usr/bin/python3
"""Makes an image whose links lay a trap for an extractor, one trap per image.

usage: make_link_traps.py KIND OUTSIDE OUTPUT    (--list: the kinds)

The links point into OUTSIDE, a folder beside the target named "outside",
where nothing may appear. Every image but "apart" holds keep.txt, sub/aa.txt
and sub/zz.txt around the trap in sub/. xorriso writes the tree; entries are
then renamed in place (same length, in NM and the ISO 9660 name) or their PX
link count changed.
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
    """Renames in the Rock Ridge and the ISO 9660 name alike, so both clash."""
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


# Each kind: its entries in the order made (a file's text, '->' and a link's
# target with {out} for OUTSIDE and {name} for its name, or '=' and another
# name of the file), then the renames and link counts in sub/ (None: none).
KINDS = {
    # A link out, and a folder that will bear the link's name.
    'link_and_folder': ({'sub/trapdoor': '->{out}', 'sub/trapdoos/inner.txt': 'inner\n'},
                        [('trapdoos', 'trapdoor')], []),
    # sub/climber in the target reaches OUTSIDE by climbing two levels.
    'climbing_link': ({'sub/climber': '->../../{name}', 'sub/climbes/inner.txt': 'inner\n',
                       'sub/climbes/more.txt': 'more\n'}, [('climbes', 'climber')], []),
    # A link to a file not yet in OUTSIDE, then two files of its name.
    'link_then_files': ({'sub/decoys': '->{out}/victim', 'sub/decoyt': 'through the link\n',
                         'sub/decoyu': 'through again\n'},
                        [('decoyt', 'decoys'), ('decoyu', 'decoys')], []),
    'link_loop': ({'sub/loopa': '->loopb', 'sub/loopb': '->loopa',
                   'sub/loopc/inner.txt': 'inner\n'}, [('loopc', 'loopa')], []),
    # The second name of a file says it is the only one; an empty file (which
    # shares the extent of every empty file) says it has two names.
    'lying_counts': ({'sub/pair1': 'one file, two names\n', 'sub/pair2': '=sub/pair1',
                      'sub/alone': '', 'sub/blank': ''}, [], [('pair2', 1), ('alone', 2)]),
    # one/portal and two/portal land on one name when extracted together.
    'apart': ({'one/portal': '->{out}', 'two/portal/inner.txt': 'inner\n'}, None, None),
}
BASE = {'keep.txt': 'keep\n', 'sub/aa.txt': 'first\n', 'sub/zz.txt': 'last\n'}


def main():
    if sys.argv[1:] == ['--list']:
        print('\n'.join(KINDS))
        return
    kind, outside, target = sys.argv[1:4]
    entries, renames, counts = KINDS[kind]
    with tempfile.TemporaryDirectory() as tmp:
        tree = os.path.join(tmp, 'tree')
        for path, text in (entries if renames is None else BASE | entries).items():
            at = os.path.join(tree, path)
            os.makedirs(os.path.dirname(at), exist_ok=True)
            if text.startswith('->'):
                os.symlink(text[2:].format(out=outside, name=os.path.basename(outside)), at)
            elif text.startswith('='):
                os.link(os.path.join(tree, text[1:]), at)
            else:
                with open(at, 'w') as f:
                    f.write(text)
        iso = os.path.join(tmp, 'image.iso')
        subprocess.run(['xorriso', '-as', 'mkisofs', '-quiet', '-R', '-o', iso, tree],
                       check=True, stderr=subprocess.DEVNULL)
        with open(iso, 'rb') as f:
            img = Image(f.read())
    for old, new in renames or []:
        rename(img, 'SUB', old, new)
    for name, count in counts or []:
        set_links(img, 'SUB', name, count)
    with open(target, 'wb') as f:
        f.write(img.d)


if __name__ == '__main__':
    main()
