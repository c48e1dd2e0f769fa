# records_only.py IN.wmf OUT.wmf: copies a WMF without the enhanced
# metafile it carries (the MFCOMMENT escapes that start with "WMFC"), so
# that both renderers have to draw its own WMF records. LibreOffice puts its
# EMF into every WMF it exports, and both renderers draw that instead when it
# is there; without this copy the WMF records would never be compared.
# Exits 1 (writing nothing) when the file carries no EMF.
import struct, sys
data = open(sys.argv[1], "rb").read()
start = 22 if data[:4] == b"\xd7\xcd\xc6\x9a" else 0
out = bytearray(data[:start + 18])
pos, dropped, largest = start + 18, 0, 3
while pos + 6 <= len(data):
    words, function = struct.unpack_from("<IH", data, pos)
    if words < 3: break
    record = data[pos:pos + 2 * words]
    if function == 0x0626 and record[6:8] == b"\x0f\x00" and record[10:14] == b"WMFC":
        dropped += 1
    else:
        out += record
        largest = max(largest, words)
    pos += 2 * words
    if function == 0: break
if not dropped: sys.exit(1)
struct.pack_into("<I", out, start + 6, (len(out) - start) // 2)  # file size in words
struct.pack_into("<I", out, start + 12, largest)  # largest record in words
open(sys.argv[2], "wb").write(out)
