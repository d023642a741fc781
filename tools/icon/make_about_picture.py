#!/usr/bin/env python3
"""Writes res/about.jpg, the About box's picture (130 x 114, shown at 65 x 57):
a clock face under a receiving antenna with its radio waves, on a sky
gradient. Draws a PPM and has ImageMagick's convert write the JPEG. Run
again only to change the picture; the JPEG is kept in the repository."""
import math, os, subprocess, sys, tempfile

W, H = 130, 114
px = []
for y in range(H):  # sky: light blue down to white
    t = y / (H - 1)
    px.append([(int(150 + 100 * t), int(200 + 50 * t), 255)] * W)

def put(x, y, c):
    if 0 <= x < W and 0 <= y < H:
        px[y][x] = c

# The clock face.
cx, cy, r = 52, 64, 40
for y in range(H):
    for x in range(W):
        d = math.hypot(x - cx, y - cy)
        if d <= r - 4:
            put(x, y, (255, 255, 255))
        elif d <= r:
            put(x, y, (0, 0, 128))
for h in range(12):  # hour marks
    a = h * math.pi / 6
    for k in range(r - 10, r - 5):
        put(int(round(cx + k * math.sin(a))), int(round(cy - k * math.cos(a))), (0, 0, 128))

def hand(angle, length, width, colour):
    for i in range(length * 3):
        t = i / 3
        x, y = cx + t * math.sin(angle), cy - t * math.cos(angle)
        for dx in range(-width, width + 1):
            for dy in range(-width, width + 1):
                put(int(round(x)) + dx, int(round(y)) + dy, colour)

hand(math.pi / 6 * 10 + 0.2, 20, 2, (0, 0, 128))   # hours, about ten past ten
hand(math.pi / 30 * 8, 30, 1, (0, 0, 128))        # minutes
hand(math.pi / 30 * 35, 33, 0, (220, 0, 0))       # seconds
for y in range(cy - 3, cy + 4):
    for x in range(cx - 3, cx + 4):
        if math.hypot(x - cx, y - cy) <= 3:
            put(x, y, (0, 128, 0))

# The antenna on the right, with its waves.
ax, ay = 108, 40
for y in range(ay, ay + 50):
    for x in range(ax - 1, ax + 2):
        put(x, y, (80, 80, 80))
for x in range(ax - 8, ax + 9):
    put(x, ay + 50, (80, 80, 80))
for rr in (7, 13, 19):
    for a in range(-50, 51):
        t = math.radians(a)
        for s in (-1, 1):
            put(int(round(ax + s * rr * math.cos(t))), int(round(ay - rr * math.sin(t) * 0.9)), (0, 128, 0))

out = sys.argv[1] if len(sys.argv) > 1 else 'res/about.jpg'
with tempfile.NamedTemporaryFile(suffix='.ppm', delete=False) as f:
    f.write(b'P6 %d %d 255\n' % (W, H))
    f.write(bytes(v for row in px for p in row for v in p))
    ppm = f.name
subprocess.run(['convert', ppm, '-quality', '90', out], check=True)
os.unlink(ppm)
