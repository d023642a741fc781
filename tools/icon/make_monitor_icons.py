#!/usr/bin/env python3
"""Writes the monitor window's tool strip pictures, 16x16, 32-bit: each as a
normal and a greyed icon (res/monitor_<name>.ico, res/monitor_<name>_grey.ico).
  save   a page with an arrow going into a disk
  clear  a brush
  stop   a red prohibition sign
  go     a play triangle in a frame
Run again only to change the pictures; the .ico files are kept in the
repository so that building needs no Python."""
import math, os, struct, sys

N = 16

def blank():
    return [[(0, 0, 0, 0)] * N for _ in range(N)]

def put(img, x, y, c):
    if 0 <= x < N and 0 <= y < N:
        img[y][x] = c

def rect(img, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(img, x, y, c)

def frame(img, x0, y0, x1, y1, c):
    for x in range(x0, x1 + 1):
        put(img, x, y0, c); put(img, x, y1, c)
    for y in range(y0, y1 + 1):
        put(img, x0, y, c); put(img, x1, y, c)

def line(img, x0, y0, x1, y1, c, w=1):
    steps = max(abs(x1 - x0), abs(y1 - y0)) * 4 + 1
    for i in range(steps + 1):
        t = i / steps
        x, y = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
        for dx in range(w):
            for dy in range(w):
                put(img, int(round(x)) + dx, int(round(y)) + dy, c)

BLACK = (0, 0, 0, 255); WHITE = (255, 255, 255, 255); NAVY = (128, 0, 0, 255)
BLUE = (200, 80, 0, 255); GREEN = (0, 150, 0, 255); RED = (0, 0, 220, 255)
BROWN = (20, 70, 140, 255); YELLOW = (0, 200, 240, 255); GREY = (128, 128, 128, 255)

def save():
    img = blank()
    # the page, top left
    rect(img, 1, 0, 8, 8, WHITE); frame(img, 1, 0, 8, 8, BLACK)
    for y in (2, 4, 6):
        line(img, 3, y, 6, y, GREY)
    # the disk, bottom right
    rect(img, 6, 8, 15, 15, NAVY); rect(img, 8, 9, 13, 11, WHITE); rect(img, 9, 13, 12, 15, GREY)
    # the arrow from the page into the disk
    line(img, 10, 2, 10, 6, GREEN, 2)
    for i in range(4):
        line(img, 7 + i, 5 + i, 14 - i, 5 + i, GREEN)
    return img

def clear():
    img = blank()
    line(img, 13, 1, 7, 7, BROWN, 2)          # the handle
    rect(img, 5, 7, 8, 9, GREY)               # the ferrule
    for i in range(6):                         # the bristles
        line(img, 5 + i // 2, 10, 1 + i, 15, YELLOW)
    line(img, 4, 10, 9, 10, BLACK)
    return img

def stop():
    img = blank()
    c, r = 7.5, 7.2
    for y in range(N):
        for x in range(N):
            d = math.hypot(x - c, y - c)
            if r - 2.4 <= d <= r:
                put(img, x, y, RED)
            elif d < r - 2.4:
                put(img, x, y, WHITE)
    line(img, 3, 3, 12, 12, RED, 2)
    return img

def go():
    img = blank()
    rect(img, 1, 1, 14, 14, WHITE); frame(img, 1, 1, 14, 14, BLACK); frame(img, 2, 2, 13, 13, GREY)
    for y in range(4, 12):
        half = 4 - abs(y - 7.5)
        for x in range(5, 5 + int(round(half * 2)) + 1):
            put(img, x, y, GREEN)
    return img

def greyed(img):
    out = blank()
    for y in range(N):
        for x in range(N):
            b, g, r, a = img[y][x]
            if a:
                v = int(0.3 * r + 0.59 * g + 0.11 * b)
                v = 128 + v // 2           # light grey, as a disabled picture
                out[y][x] = (v, v, v, a)
    return out

def ico(img):
    px = b''.join(struct.pack('4B', *img[y][x]) for y in range(N - 1, -1, -1) for x in range(N))
    andmask = bytes(4 * N)
    hdr = struct.pack('<IiiHHIIiiII', 40, N, N * 2, 1, 32, 0, len(px) + len(andmask), 0, 0, 0, 0)
    data = hdr + px + andmask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', N, N, 0, 0, 1, 32, len(data), 22) + data

out = sys.argv[1] if len(sys.argv) > 1 else 'res'
for name, draw in (('save', save), ('clear', clear), ('stop', stop), ('go', go)):
    img = draw()
    open(os.path.join(out, 'monitor_%s.ico' % name), 'wb').write(ico(img))
    open(os.path.join(out, 'monitor_%s_grey.ico' % name), 'wb').write(ico(greyed(img)))
