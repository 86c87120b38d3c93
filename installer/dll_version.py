#!/usr/bin/env python3
"""dll_version.py FILE: the file version of a DLL's version record (its fixed
part), as A.B.C.D."""
import struct
import sys

if len(sys.argv) != 2:
    sys.exit(__doc__)
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("no version record in " + sys.argv[1])
ms, ls = struct.unpack_from("<II", data, at + 8)
print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
