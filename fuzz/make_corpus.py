#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus (fuzz/corpus/). Run again after the
input layout of a target changes; the files are small and committed."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def bcd(v):
    return (v // 10 % 10) * 16 + v % 10


def krw(y, mo, d, h, mi, s):
    return bytes([0xAA, 0x00, bcd(y % 100), bcd(mo), bcd(d), 0, bcd(h), bcd(mi), bcd(s)])


def pl(y, mo, d, h, mi, s):
    return bytes([0xAA, 0xAA, 0xAA, s, mi, h, 0, d, mo, y % 100, 0, 0, 0])


def mn(y, mo, d, h, mi, s):
    return bytes([0xAA, 0, 0, bcd(y // 100), bcd(y % 100), bcd(mo), bcd(d), 0, bcd(h), bcd(mi), bcd(s), 0x03])


# Line noise; no 0xAA in it, so that every format finds the frame after it.
NOISE = bytes([0xFF, 0x00, 0x13, 0x37, 0x55])


def header(fmt, mode=1, sec=31, minute=0, fine=135, count=0, jump=3, flags=3, step=1,
           offset=0, longest=0, seed=0):
    return (bytes([fmt, mode, sec, minute]) + struct.pack('<H', fine) +
            bytes([count, jump, flags, step]) + struct.pack('<i', offset) + bytes([longest, seed]))


def stream(frame):
    times = [(2026, 1, 1, 0, 0, 30), (2026, 1, 1, 0, 0, 31), (2026, 2, 30, 0, 0, 32),
             (2026, 1, 1, 8, 0, 31), (2026, 1, 1, 24, 61, 61)]
    out = b''
    for t in times:
        out += NOISE + frame(*t)
    return out


def write(sub, name, data):
    d = os.path.join(HERE, 'corpus', sub)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def config(mode=1, sec=31, minute=0, count=0, fine=135, points=(), jump=3, nocorrect=1, fmt=1):
    r = bytearray(224)
    r[0], r[1], r[2], r[3] = 1, 10, mode, jump
    struct.pack_into('<HHHH', r, 4, sec, minute, count, fine)
    for i, p in enumerate(points[:25]):
        struct.pack_into('<d', r, 16 + 8 * i, p)
    r[216], r[217] = nocorrect, fmt
    return bytes(r)


def main():
    # HandleChunk: one seed per format, whole chunks and split ones.
    write('handlechunk', 'krw', header(1) + stream(krw))
    write('handlechunk', 'pl_split', header(2, longest=7, seed=5) + stream(pl))
    # MN_CODE on two daily points given as h m s, and a year beyond 9999.
    write('handlechunk', 'mn_daily', header(3, mode=3, count=2, flags=1 | 4) + bytes([0, 0, 31, 8, 0, 31]) +
          stream(mn) + bytes([0xAA, 0, 0, 0xFF, 0xFF, 1, 1, 0, 0, 0, 31, 3]))
    write('handlechunk', 'invalid_format', header(0) + stream(krw))
    # A damaged record's values: fine adjustment 5000 ms, 200 daily points (NaN among them).
    write('handlechunk', 'damaged', header(1, mode=3, fine=5000, count=200, flags=1) +
          b''.join(struct.pack('<d', p) for p in [math.nan, 46023 + 31 / 86400, math.inf] + [-1e300] * 22) +
          stream(krw))
    # The clock a minute before the end of 9999 and a frame for 23:59:59 with the
    # largest fine adjustment: the corrected time would fall past the calendar.
    write('handlechunk', 'end_of_9999', header(1, fine=999, jump=255, flags=1 | 8, step=50) +
          bytes([0xAA, 0, 0, 0, 0, 0, 0x23, 0x59, 0x59]) + NOISE)

    # The configuration file.
    write('config', 'default', config())
    write('config', 'short', config()[:100])
    write('config', 'damaged', config(mode=3, count=200, fine=2000, fmt=3,
                                      points=[math.nan] * 3 + [46023 + 31 / 86400, 1e308, -0.0]))
    write('config', 'two_records', config(mode=2, sec=31, minute=0, fmt=2) + config())


if __name__ == "__main__":
    main()
