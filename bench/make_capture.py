#!/usr/bin/env python3
"""Writes a long KRW_CODE capture for tkw-replay to standard output: a receiver
in step with the simulated PC clock (start 2026-01-01 00:00:00, tkw-replay's
default), one frame a second for SECONDS seconds, line noise before every
hundredth frame and, once an hour, a frame 30 s off on a correcting second (a jump, logged).

usage: make_capture.py SECONDS"""
import datetime
import sys


def bcd(v):
    return (v // 10) * 16 + v % 10


def krw(t):
    """The KRW_CODE frame for the date-time t, in hex."""
    return "AA 00 %02X %02X %02X 00 %02X %02X %02X" % (
        bcd(t.year % 100), bcd(t.month), bcd(t.day), bcd(t.hour), bcd(t.minute), bcd(t.second))


def main():
    seconds = int(sys.argv[1])
    start = datetime.datetime(2026, 1, 1)
    out = sys.stdout
    out.write("# KRW_CODE, %d s, in step with tkw-replay's default start\n" % seconds)
    for k in range(seconds):
        t = start + datetime.timedelta(seconds=k + (30 if k % 3600 == 1801 else 0))
        frame = krw(t)
        noise = "FF 00 13 " if k % 100 == 50 else ""
        out.write("%d %s%s\n" % (1000 * k + 200, noise, frame))
    out.write("%d\n" % (1000 * seconds))


if __name__ == "__main__":
    main()
