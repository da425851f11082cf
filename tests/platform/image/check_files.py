"""Checks PNG and BMP files with the standard library only: PNG chunk
structure, CRCs (zlib.crc32), header fields and the unfiltered pixels; BMP
file and info headers (struct) and the pixel rows. Each FILE has its pixels
beside it as FILE.rgba (R G B A per pixel). Exits non-zero on the first
fault."""
import os
import struct
import sys
import zlib


def fail(name, why):
    print(f"{name}: {why}")
    sys.exit(1)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def check_png(name, data, rgba):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail(name, "signature")
    pos, chunks = 8, []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            fail(name, f"CRC of {kind}")
        chunks.append((kind, body))
        pos += 12 + length
    if pos != len(data) or chunks[0][0] != b"IHDR" or chunks[-1][0] != b"IEND":
        fail(name, "chunk layout")
    w, h, depth, colour, comp, filt, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    if depth != 8 or colour not in (2, 6) or comp or filt or interlace:
        fail(name, f"header {depth} {colour}")
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(b"".join(b for k, b in chunks if k == b"IDAT"))
    stride = w * channels
    if len(raw) != h * (stride + 1):
        fail(name, "image data size")
    prev, pixels = bytearray(stride), bytearray()
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            c = prev[i - channels] if i >= channels else 0
            line[i] = (line[i] + [0, a, prev[i], (a + prev[i]) // 2, paeth(a, prev[i], c)][f]) & 255
        pixels += line
        prev = line
    want = rgba if channels == 4 else bytes(b for i, b in enumerate(rgba) if i % 4 != 3)
    if bytes(pixels) != want or len(rgba) != w * h * 4:
        fail(name, "pixels")


def check_bmp(name, data, rgba):
    magic, size, _, offset = struct.unpack("<2sIII", data[:14])
    hsize, w, h, planes, bpp, compression = struct.unpack("<IiiHHI", data[14:34])
    if magic != b"BM" or size != len(data) or planes != 1 or offset != 14 + hsize:
        fail(name, "file header")
    if bpp == 24 and (hsize, compression) != (40, 0):
        fail(name, "24-bit info header")
    if bpp == 32:
        masks = struct.unpack("<IIII", data[54:70])
        if (hsize, compression, masks) != (124, 3, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)):
            fail(name, "32-bit V5 header")
    if bpp not in (24, 32) or h <= 0 or w * h * 4 != len(rgba):
        fail(name, "depth or size")
    stride = (w * bpp + 31) // 32 * 4
    if len(data) != offset + stride * h:
        fail(name, "image size")
    for y in range(h):  # bottom-up rows of B G R (A)
        row = data[offset + (h - 1 - y) * stride:]
        for x in range(w):
            p = row[x * bpp // 8:(x + 1) * bpp // 8]
            r, g, b, a = rgba[(y * w + x) * 4:(y * w + x + 1) * 4]
            if (p[2], p[1], p[0]) != (r, g, b) or (bpp == 32 and p[3] != a) or (bpp == 24 and a != 255):
                fail(name, f"pixel {x},{y}")


def main(folder):
    seen = 0
    for name in sorted(os.listdir(folder)):
        if name.endswith(".rgba"):
            continue
        data = open(os.path.join(folder, name), "rb").read()
        rgba = open(os.path.join(folder, name + ".rgba"), "rb").read()
        (check_png if name.endswith(".png") else check_bmp)(name, data, rgba)
        seen += 1
    if seen == 0:
        fail(folder, "no files")


main(sys.argv[1])
