#!/usr/bin/python3
"""Writes an ISO 9660 image with a UDF bridge from a folder, with pycdlib.
pycdlib's UDF time stamps have month and day swapped, so its times prove nothing.

usage: pycdlib_udf.py TREE OUTPUT
"""
import io
import os
import sys

import pycdlib


def main():
    tree, output = sys.argv[1], sys.argv[2]
    iso = pycdlib.PyCdlib()
    iso.new(interchange_level=4, udf='2.60')
    counter = [0]

    def iso_name(directory):
        counter[0] += 1
        return ('D%06d' % counter[0]) if directory else ('F%06d.;1' % counter[0])

    def walk(host, iso_dir, udf_dir):
        for name in sorted(os.listdir(host)):
            path = os.path.join(host, name)
            udf_path = udf_dir + '/' + name
            if os.path.islink(path):
                iso.add_symlink(udf_symlink_path=udf_path, udf_target=os.readlink(path))
            elif os.path.isdir(path):
                iso_path = iso_dir + '/' + iso_name(True)
                iso.add_directory(iso_path, udf_path=udf_path)
                walk(path, iso_path, udf_path)
            else:
                with open(path, 'rb') as f:
                    data = f.read()
                iso.add_fp(io.BytesIO(data), len(data), iso_dir + '/' + iso_name(False),
                           udf_path=udf_path)

    walk(tree, '', '')
    iso.write(output)
    iso.close()


if __name__ == '__main__':
    main()
