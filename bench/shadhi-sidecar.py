#!/usr/bin/env python3
"""Writes a darktable XMP sidecar whose history holds one step: the shadows and
highlights module ("shadhi", parameter version 5) at its default settings
(shadows +50, highlights -50, radius 100, compress 50, Gaussian softening).
The parameters are the module's parameter struct, little-endian, as hex.
Usage: shadhi-sidecar.py OUT.xmp"""
import struct
import sys

params = struct.pack("<iffffffffIfi",
                     0,       # Gaussian order 0
                     100.0,   # radius
                     50.0,    # shadows
                     0.0,     # white point adjustment
                     -50.0,   # highlights
                     0.0,     # reserved
                     50.0,    # compress
                     100.0,   # shadows colour adjustment
                     50.0,    # highlights colour adjustment
                     127,     # unbound flags
                     1e-6,    # low approximation
                     0)       # soften with: Gaussian
xmp = """<?xml version="1.0" encoding="UTF-8"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/" x:xmptk="XMP Core 4.4.0-Exiv2">
 <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
  <rdf:Description rdf:about=""
    xmlns:darktable="http://darktable.sf.net/"
   darktable:xmp_version="4"
   darktable:history_end="1">
   <darktable:history>
    <rdf:Seq>
     <rdf:li
      darktable:num="0"
      darktable:operation="shadhi"
      darktable:enabled="1"
      darktable:modversion="5"
      darktable:params="%s"
      darktable:multi_name=""
      darktable:multi_priority="0"/>
    </rdf:Seq>
   </darktable:history>
  </rdf:Description>
 </rdf:RDF>
</x:xmpmeta>
""" % params.hex()
with open(sys.argv[1], "w") as f:
    f.write(xmp)
