#!/usr/bin/python3
"""Writes an ISO 9660 image with Rock Ridge and Joliet from a folder, with pycdlib
(pycdlib_udf.py: with a UDF bridge instead).

usage: pycdlib_image.py TREE OUTPUT
"""
import io
import itertools
import os
import sys

import pycdlib


def write(tree, output, udf=False):
    iso = pycdlib.PyCdlib()
    if udf:
        iso.new(interchange_level=4, udf='2.60')
    else:
        iso.new(interchange_level=3, rock_ridge='1.09', joliet=3)
    counter = itertools.count(1)

    def walk(host, iso_dir, other_dir):
        for name in sorted(os.listdir(host)):
            path = os.path.join(host, name)
            link = os.path.islink(path)
            folder = os.path.isdir(path) and not link
            other = other_dir + '/' + (name if udf else name[:64])  # the UDF or Joliet path
            if link and udf:
                iso.add_symlink(udf_symlink_path=other, udf_target=os.readlink(path))
                continue
            n = next(counter)
            iso_path = iso_dir + '/' + ('D%06d' % n if folder else 'F%06d.;1' % n)
            names = {'udf_path': other} if udf else {'rr_name': name, 'joliet_path': other}
            if link:
                iso.add_symlink(iso_path, rr_symlink_name=name, rr_path=os.readlink(path))
            elif folder:
                iso.add_directory(iso_path, **names)
                walk(path, iso_path, other)
            else:
                with open(path, 'rb') as f:
                    data = f.read()
                iso.add_fp(io.BytesIO(data), len(data), iso_path, **names)

    walk(tree, '', '')
    iso.write(output)
    iso.close()


if __name__ == '__main__':
    write(sys.argv[1], sys.argv[2])
