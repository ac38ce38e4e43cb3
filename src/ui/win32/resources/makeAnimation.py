#!/usr/bin/env python3
"""Writes progress.avi, the progress window's animation: 16 frames of 64 x 32 pixels, uncompressed
8-bit with a palette (the animation control plays such clips without a decoder), and a frame index.
Pixel colour 0 is the clip's background, which the transparent control replaces by the window's own.

    makeAnimation.py OUTPUT
"""
import math
import struct
import sys

WIDTH, HEIGHT, FRAMES = 64, 32, 16
FRAME_MICROSECONDS = 80000

# Palette: 0 background (magenta, never drawn as such), 1 light paper, 2 dark outline, 3..10 a blue ramp.
PALETTE = [(255, 0, 255), (236, 236, 228), (64, 64, 72)] + [
    (40 + 24 * i, 80 + 20 * i, 200) for i in range(8)]


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, body):
    return kind + struct.pack("<I", len(body) + 4) + fourcc + body


def frame(n):
    """Two sheets with a beam of eight blocks running from the left one to the right one."""
    rows = [[0] * WIDTH for _ in range(HEIGHT)]
    for left in (2, 46):
        for y in range(6, 26):
            for x in range(left, left + 16):
                edge = y in (6, 25) or x in (left, left + 15)
                rows[y][x] = 2 if edge else 1
    for block in range(8):
        position = (n + block * 2) % FRAMES
        x = 20 + int(position * 24 / FRAMES)
        y = 15 + int(round(4 * math.sin(position * math.pi / FRAMES)))
        for dy in range(3):
            for dx in range(3):
                rows[y - 4 + dy][x + dx] = 3 + block
    # Bottom-up rows, each already a multiple of four bytes wide.
    return b"".join(bytes(row) for row in reversed(rows))


def main(output):
    frame_size = WIDTH * HEIGHT
    main_header = struct.pack("<10I4I", FRAME_MICROSECONDS, frame_size * 1000000 // FRAME_MICROSECONDS, 0,
                              0x10, FRAMES, 0, 1, frame_size, WIDTH, HEIGHT, 0, 0, 0, 0)
    stream_header = (b"vids" + b"\0\0\0\0" +
                     struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, FRAME_MICROSECONDS, 1000000, 0, FRAMES,
                                 frame_size, 0xFFFFFFFF, 0, 0, 0, WIDTH, HEIGHT))
    bitmap_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, frame_size, 0, 0,
                                len(PALETTE), len(PALETTE))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    stream_list = riff_list(b"LIST", b"strl", chunk(b"strh", stream_header) + chunk(b"strf", bitmap_header + palette))
    header_list = riff_list(b"LIST", b"hdrl", chunk(b"avih", main_header) + stream_list)

    movie = b""
    index = b""
    for n in range(FRAMES):
        offset = 4 + len(movie)  # from the list's "movi" to the chunk
        data = frame(n)
        movie += chunk(b"00db", data)
        index += b"00db" + struct.pack("<III", 0x10, offset, len(data))
    movie_list = riff_list(b"LIST", b"movi", movie)
    body = header_list + movie_list + chunk(b"idx1", index)
    with open(output, "wb") as out:
        out.write(riff_list(b"RIFF", b"AVI ", body))


if __name__ == "__main__":
    main(sys.argv[1])
