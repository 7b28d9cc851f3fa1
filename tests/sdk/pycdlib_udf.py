#!/usr/bin/python3
"""Writes an ISO 9660 image with a UDF bridge from a folder, with pycdlib.
pycdlib's UDF time stamps have month and day swapped, so its times prove nothing.

usage: pycdlib_udf.py TREE OUTPUT
"""
import sys

from pycdlib_image import write

write(sys.argv[1], sys.argv[2], udf=True)
