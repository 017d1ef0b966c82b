#!/usr/bin/env python3
"""Regenerates the reference-pixel copy under tests/data/gdi-reference.

Expects the recorded reference folder (default: ../shared/gdi-reference beside
the project folder, or the folder given as the first argument) to hold
primitives/ (NAME.gdi scripts, NAME.ppm pictures, NAME.pbm region masks),
buttons/ and captions/ (cases.txt, NAME.ppm, NAME.pbm, NAME.state). Texts are copied as they
are; pictures become PNG (NAME.ppm -> NAME.png) and masks 1-bit PNG
(NAME.pbm -> NAME.mask.png, white = inside the region). MANIFEST lists every
file copied with the size and a checksum of its pixels, so the tests can tell
that the copy is whole and decodes to the recorded pixels.

Only the Python 3 standard library is used. The output is byte-for-byte the
same on every run, so a refresh of unchanged data changes nothing in git.
"""

import os
import re
import shutil
import struct
import sys
import zlib

FOLDERS = ("primitives", "buttons", "captions")
TEXT_SUFFIXES = (".gdi", ".state", ".txt")


def fnv1a64(data):
    h = 0xCBF29CE484222325
    for b in data:
        h ^= b
        h = (h * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def read_netpbm(path):
    """Returns (magic, width, height, payload) of a binary P6 or P4 file."""
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    wanted = 4 if data[:2] == b"P6" else 3
    while len(fields) < wanted:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1  # the single whitespace before the raster
    magic = fields[0].decode()
    width, height = int(fields[1]), int(fields[2])
    if magic == "P6":
        if int(fields[3]) != 255:
            raise ValueError(f"{path}: only maxval 255 is supported")
        size = width * height * 3
    elif magic == "P4":
        size = (width + 7) // 8 * height
    else:
        raise ValueError(f"{path}: not a binary PPM or PBM file")
    payload = data[pos:pos + size]
    if len(payload) != size:
        raise ValueError(f"{path}: raster is cut short")
    return magic, width, height, payload


def chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body +
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered_rows(rows, bpp, adaptive):
    """PNG scanlines with a filter byte each: none, or per row the filter
    whose output has the smallest sum of absolute values."""
    out = bytearray()
    prev = bytes(len(rows[0])) if rows else b""
    for row in rows:
        if not adaptive:
            out += b"\0" + row
            prev = row
            continue
        best = None
        for kind in range(5):
            line = bytearray(len(row))
            for i, x in enumerate(row):
                a = row[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                pred = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
                line[i] = (x - pred) & 0xFF
            cost = sum(v if v < 128 else 256 - v for v in line)
            if best is None or cost < best[0]:
                best = (cost, kind, line)
        out += bytes([best[1]]) + best[2]
        prev = row
    return bytes(out)


def png(width, height, colour_type, depth, rows, bpp, palette=None):
    candidates = [zlib.compress(filtered_rows(rows, bpp, adaptive), 9)
                  for adaptive in (False, True)]
    idat = min(candidates, key=len)
    body = b"\x89PNG\r\n\x1a\n"
    body += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))
    if palette is not None:
        body += chunk(b"PLTE", b"".join(palette))
    body += chunk(b"IDAT", idat)
    body += chunk(b"IEND", b"")
    return body


def pack_indices(indices, depth):
    per_byte = 8 // depth
    out = bytearray()
    for i in range(0, len(indices), per_byte):
        byte = 0
        group = indices[i:i + per_byte]
        for j, v in enumerate(group):
            byte |= v << (8 - depth * (j + 1))
        out.append(byte)
    return bytes(out)


def picture_png(width, height, rgb):
    """Palette PNG when the picture has at most 256 colours, else RGB."""
    pixels = [rgb[i:i + 3] for i in range(0, len(rgb), 3)]
    colours = sorted(set(pixels))
    stride = width * 3
    if len(colours) > 256:
        rows = [rgb[y * stride:(y + 1) * stride] for y in range(height)]
        return png(width, height, 2, 8, rows, 3)
    depth = next(d for d in (1, 2, 4, 8) if len(colours) <= 1 << d)
    index = {c: i for i, c in enumerate(colours)}
    rows = [pack_indices([index[p] for p in pixels[y * width:(y + 1) * width]], depth)
            for y in range(height)]
    return png(width, height, 3, depth, rows, 1, colours)


def mask_bits(width, height, packed):
    """One byte per pixel, 0 or 1, from PBM rows padded to whole bytes."""
    row_bytes = (width + 7) // 8
    bits = bytearray()
    for y in range(height):
        row = packed[y * row_bytes:(y + 1) * row_bytes]
        for x in range(width):
            bits.append((row[x // 8] >> (7 - x % 8)) & 1)
    return bytes(bits)


def mask_png(width, height, bits):
    rows = [pack_indices(list(bits[y * width:(y + 1) * width]), 1) for y in range(height)]
    return png(width, height, 0, 1, rows, 1)


def copy_name(name):
    if name.endswith(".ppm"):
        return name[:-4] + ".png"
    if name.endswith(".pbm"):
        return name[:-4] + ".mask.png"
    return name


def plain_comments(data):
    """The recorded scripts' comments cite the documents they were written
    from; the copy keeps what they say about the case and drops the citation."""
    lines = []
    for line in data.decode("utf-8").split("\n"):
        if line.startswith("#"):
            line = re.sub(r"\bPart \d+(\.\d+)* ", "", line)
            line = re.sub(r"\bspec says\b", "expected:", line)
        lines.append(line)
    return "\n".join(lines).encode("utf-8")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "..", "shared", "gdi-reference")
    target = os.path.join(root, "tests", "data", "gdi-reference")
    for folder in FOLDERS:
        if not os.path.isdir(os.path.join(source, folder)):
            sys.exit(f"refresh-reference-data: no {folder}/ in {source}; "
                     "give the recorded reference folder as the argument")

    manifest = ["# copy name, source name, kind, width, height, FNV-1a 64 of the pixels",
                "# (pictures: R, G, B bytes a pixel; masks: one byte 0 or 1 a pixel;",
                "# texts: the file's bytes, width and height 0)"]
    for folder in FOLDERS:
        out_dir = os.path.join(target, folder)
        if os.path.isdir(out_dir):
            shutil.rmtree(out_dir)
        os.makedirs(out_dir)
        for name in sorted(os.listdir(os.path.join(source, folder))):
            path = os.path.join(source, folder, name)
            out_name = copy_name(name)
            if name.endswith(".ppm"):
                _, w, h, rgb = read_netpbm(path)
                data, kind, digest = picture_png(w, h, rgb), "picture", fnv1a64(rgb)
            elif name.endswith(".pbm"):
                _, w, h, packed = read_netpbm(path)
                bits = mask_bits(w, h, packed)
                data, kind, digest = mask_png(w, h, bits), "mask", fnv1a64(bits)
            elif name.endswith(TEXT_SUFFIXES):
                with open(path, "rb") as f:
                    data = plain_comments(f.read())
                w = h = 0
                kind, digest = "text", fnv1a64(data)
            else:
                sys.exit(f"refresh-reference-data: do not know what {path} is")
            with open(os.path.join(out_dir, out_name), "wb") as f:
                f.write(data)
            manifest.append(f"{folder}/{out_name} {folder}/{name} {kind} {w} {h} {digest:016x}")
    with open(os.path.join(target, "MANIFEST"), "w") as f:
        f.write("\n".join(manifest) + "\n")
    print(f"refresh-reference-data: {len(manifest) - 3} files written to {target}")


if __name__ == "__main__":
    main()
