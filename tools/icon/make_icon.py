#!/usr/bin/env python3
"""Writes res/tkw.ico: the strip's green indicator on a clock face, 16x16 and
32x32, 32-bit BGRA. Run again only to change the picture; the .ico is kept in
the repository so that building needs no Python."""
import struct, sys, math

def image(n):
    px = []
    c = (n - 1) / 2.0
    r = n / 2.0 - 0.5
    for y in range(n - 1, -1, -1):  # bottom-up rows
        for x in range(n):
            d = math.hypot(x - c, y - c)
            if d > r:
                px.append((0, 0, 0, 0))
            elif d > r - max(1, n // 16):
                px.append((0x80, 0x00, 0x00, 255))          # navy rim
            else:
                # hands at 12 and 3 o'clock in blue on green
                w = max(1, n // 16)
                on_hand = (abs(x - c) <= w / 2 + 0.01 and y <= c + 0.5 and y >= c - r * 0.75) or \
                          (abs(y - c) <= w / 2 + 0.01 and x >= c - 0.5 and x <= c + r * 0.6)
                px.append((0xff, 0, 0, 255) if on_hand else (0, 0x80, 0, 255))
    xor = b''.join(struct.pack('4B', *p) for p in px)
    mask_row = ((n + 31) // 32) * 4
    andmask = bytes(mask_row * n)
    hdr = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return hdr + xor + andmask

sizes = [16, 32]
imgs = [image(n) for n in sizes]
out = struct.pack('<HHH', 0, 1, len(sizes))
off = 6 + 16 * len(sizes)
for n, data in zip(sizes, imgs):
    out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), off)
    off += len(data)
out += b''.join(imgs)
open(sys.argv[1] if len(sys.argv) > 1 else 'res/tkw.ico', 'wb').write(out)
