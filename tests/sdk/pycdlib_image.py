#!/usr/bin/python3
"""Writes an ISO 9660 image with Rock Ridge and Joliet from a folder, with pycdlib.

usage: pycdlib_image.py TREE OUTPUT
"""
import os
import sys

import pycdlib


def main():
    tree, output = sys.argv[1], sys.argv[2]
    iso = pycdlib.PyCdlib()
    iso.new(interchange_level=3, rock_ridge='1.09', joliet=3)
    counter = [0]

    def iso_name(directory):
        counter[0] += 1
        return ('D%06d' % counter[0]) if directory else ('F%06d.;1' % counter[0])

    def walk(host, iso_dir, joliet_dir):
        for name in sorted(os.listdir(host)):
            path = os.path.join(host, name)
            iso_path = iso_dir + '/' + iso_name(os.path.isdir(path) and not os.path.islink(path))
            joliet_path = joliet_dir + '/' + name[:64]
            if os.path.islink(path):
                target = os.readlink(path)
                iso.add_symlink(iso_path, rr_symlink_name=name, rr_path=target)
            elif os.path.isdir(path):
                iso.add_directory(iso_path, rr_name=name, joliet_path=joliet_path)
                walk(path, iso_path, joliet_path)
            else:
                with open(path, 'rb') as f:
                    data = f.read()
                import io
                iso.add_fp(io.BytesIO(data), len(data), iso_path, rr_name=name,
                           joliet_path=joliet_path)

    walk(tree, '', '')
    iso.write(output)
    iso.close()


if __name__ == '__main__':
    main()
