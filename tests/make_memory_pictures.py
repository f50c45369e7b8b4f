#!/usr/bin/env python3
"""Tiny files that promise pictures of up to 100 megapixels: the cases where
decoding costs far more memory than the file suggests.

    make_memory_pictures.py FOLDER [SIDE]

SIDE (default 10000) is the side of the square pictures. WebP and JPEG files
are written through libwebp's and libjpeg-turbo's own encoders (loaded
with ctypes), the others by hand."""
import ctypes
import ctypes.util
import os
import struct
import sys
import zlib


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_rgba_zero_alpha(side):
    # Colour type 6 (RGBA); every row filter 0 and all bytes zero.
    raw = zlib.compressobj(9)
    row = b"\0" * (1 + side * 4)
    data = b"".join(raw.compress(row) for _ in range(side)) + raw.flush()
    ihdr = struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", data) + chunk(b"IEND", b"")


def bmp_rle4(side):
    # A 16-colour palette and an RLE stream that ends the bitmap at once:
    # every pixel skipped, so transparent.
    palette = b"".join(struct.pack("<BBBB", i * 16, i * 16, i * 16, 0) for i in range(16))
    rle = b"\x00\x01"
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 4, 2, len(rle), 2835, 2835, 16, 0)
    head = b"BM" + struct.pack("<IHHI", offset + len(rle), 0, 0, offset)
    return head + info + palette + rle


def webp_lib():
    name = ctypes.util.find_library("webp")
    if name is None:
        raise SystemExit("libwebp not found")
    lib = ctypes.CDLL(name)
    lib.WebPEncodeLosslessBGRA.restype = ctypes.c_size_t
    lib.WebPEncodeLosslessBGRA.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                           ctypes.POINTER(ctypes.c_void_p)]
    lib.WebPFree.argtypes = [ctypes.c_void_p]
    return lib


def webp_lossless(lib, width, height, pixel):
    pixels = (ctypes.c_uint8 * (width * height * 4))()
    if pixel != b"\0\0\0\0":
        ctypes.memmove(pixels, pixel * (width * height), width * height * 4)
    out = ctypes.c_void_p()
    size = lib.WebPEncodeLosslessBGRA(pixels, width, height, width * 4, ctypes.byref(out))
    if size == 0:
        raise SystemExit("libwebp could not encode")
    data = ctypes.string_at(out, size)
    lib.WebPFree(out)
    return data


def riff(chunks):
    body = b"WEBP" + chunks
    return b"RIFF" + struct.pack("<I", len(body)) + body


def webp_chunk(kind, data):
    return kind + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def u24(v):
    return struct.pack("<I", v)[:3]


def webp_animation(lib, side):
    # One 1x1 opaque frame on a side x side canvas.
    still = webp_lossless(lib, 1, 1, b"\x20\x40\x60\xff")
    vp8l = still[12:]  # the VP8L chunk of the still picture
    vp8x = bytes([0x02 | 0x10, 0, 0, 0]) + u24(side - 1) + u24(side - 1)  # animation, alpha
    anim = struct.pack("<IH", 0, 0)
    frame = u24(0) + u24(0) + u24(0) + u24(0) + u24(100) + bytes([0])
    return riff(webp_chunk(b"VP8X", vp8x) + webp_chunk(b"ANIM", anim) + webp_chunk(b"ANMF", frame + vp8l))


def jpeg_progressive_444(side):
    # Mid grey, progressive, no chroma subsampling: a small file whose
    # coefficients all have to be held at once.
    name = ctypes.util.find_library("turbojpeg")
    if name is None:
        raise SystemExit("libturbojpeg not found")
    tj = ctypes.CDLL(name)
    tj.tjInitCompress.restype = ctypes.c_void_p
    tj.tjCompress2.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                               ctypes.c_int, ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(ctypes.c_ulong),
                               ctypes.c_int, ctypes.c_int, ctypes.c_int]
    tj.tjFree.argtypes = [ctypes.c_void_p]
    tj.tjDestroy.argtypes = [ctypes.c_void_p]
    handle = tj.tjInitCompress()
    pixels = (ctypes.c_uint8 * (side * side * 3))()
    ctypes.memset(pixels, 128, side * side * 3)
    out, size = ctypes.c_void_p(), ctypes.c_ulong(0)
    tjpf_rgb, tjsamp_444, tjflag_progressive = 0, 0, 16384
    if tj.tjCompress2(handle, pixels, side, 0, side, tjpf_rgb, ctypes.byref(out), ctypes.byref(size), tjsamp_444, 90,
                      tjflag_progressive) != 0:
        raise SystemExit("libturbojpeg could not encode")
    data = ctypes.string_at(out, size.value)
    tj.tjFree(out)
    tj.tjDestroy(handle)
    return data


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    folder = sys.argv[1]
    side = int(sys.argv[2]) if len(sys.argv) == 3 else 10000
    os.makedirs(folder, exist_ok=True)
    lib = webp_lib()
    files = {
        "zero-alpha.png": png_rgba_zero_alpha(side),
        "rle4.bmp": bmp_rle4(side),
        "canvas.webp": webp_animation(lib, side),
        "transparent.webp": webp_lossless(lib, side, side, b"\0\0\0\0"),
        "progressive444.jpg": jpeg_progressive_444(side),
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
