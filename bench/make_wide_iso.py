#!/usr/bin/python3
"""Writes a plain ISO 9660 image of FOLDERS folders under the root with FILES
empty files each, for timing the viewer and Find on a tree far larger than
any disc a writer makes. The default, 1,996 x 1,000, gives 1,997,997 entries
with the root: just under the two million a reader takes.

File names are F<folder><file>.TXT, so a search for "f12" matches one file
in a hundred and "f" every file.

usage: make_wide_iso.py OUTPUT [--folders N] [--files N]
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "sdk"))
from make_bombs import Iso, dots, dotted, record  # noqa: E402


def main():
    p = argparse.ArgumentParser()
    p.add_argument("output")
    p.add_argument("--folders", type=int, default=1996)
    p.add_argument("--files", type=int, default=1000)
    a = p.parse_args()

    iso = Iso()
    at = 20  # the root goes after the folders
    folders = []
    for d in range(a.folders):
        recs = dots(at) + [record(b"F%04d%04d.TXT;1" % (d, f), 0, 0) for f in range(a.files)]
        data = dotted(recs, at)
        iso.put(at, data)
        folders.append(record(b"D%04d" % d, at, len(data), 2))
        at += len(data) // 2048
    iso.finish(a.output, at, dotted(dots(at) + folders, at))


if __name__ == "__main__":
    main()
