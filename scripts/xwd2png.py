#!/usr/bin/python3
"""Converts an xwd dump (32-bit TrueColor ZPixmap, as Xvfb gives it) to PNG with the standard library."""
import struct
import sys
import zlib


def convert(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    if bits_per_pixel != 32:
        raise SystemExit(f"xwd2png: {bits_per_pixel} bits per pixel is not handled")
    pixels = data[header_size + ncolors * 12:]
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * 4]
        out = bytearray(b"\0")  # filter type: none
        for x in range(0, width * 4, 4):
            b0, b1, b2, b3 = line[x:x + 4]
            # byte_order 0 is LSBFirst: B G R X
            out += bytes((b2, b1, b0)) if byte_order == 0 else bytes((b1, b2, b3))
        rows.append(bytes(out))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        png = convert(f.read())
    with open(sys.argv[2], "wb") as f:
        f.write(png)
