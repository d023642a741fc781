#!/usr/bin/env python3
"""Writes the sample captures: 75 seconds of a receiver whose time is eight
hours ahead of the simulated PC clock (start 2026-01-01 00:00:00), one frame a
second, with line noise, a frame split over two reads and, at 08:01:01, one
frame that claims 08:01:31 (a 30-second jump on a scheduled second); a few
seconds of a receiver in step with the PC whose first frame is misread; and
receivers that must not leave the clock wrong (noise, misreads, a stuck one)."""


def bcd(v):
    return (v // 10) * 16 + v % 10


def krw(h, m, s, y=26, mo=1, d=1):
    return [0xAA, 0x00, bcd(y), bcd(mo), bcd(d), 0x00, bcd(h), bcd(m), bcd(s)]


def pl(h, m, s):
    return [0xAA, 0xAA, 0xAA, s, m, h, 0x00, 1, 1, 26, 0x00, 0x00, 0x00]


def mn(h, m, s):
    return [0xAA, 0x00, 0x00, 0x20, 0x26, bcd(1), bcd(1), 0x00, bcd(h), bcd(m), bcd(s), 0x03]


FORMATS = {"krw_code": (1, "KRW_CODE", krw), "pl_code": (2, "PL_CODE", pl), "mn_code": (3, "MN_CODE", mn)}
NOISE = [0xFF, 0x00, 0x13, 0x37, 0x55]


def hexs(bs):
    return " ".join("%02X" % b for b in bs)


def main():
    for name, (code, caption, build) in FORMATS.items():
        out = [
            "# %s receiver, one frame a second, 8 hours ahead of the PC (start 2026-01-01 00:00:00)." % caption,
            "# Replay: tkw-replay --format %d --tick --monitor samples/%s.cap" % (code, name),
            "# Elapsed 200: the correction requested at start-up would step the clock by 8 hours, so it",
            "# waits for the next frame, which agrees: set at 1200. Second 31 of each minute corrects on",
            "# schedule. Elapsed 5200: noise before the frame; 9200/9210: a frame split over two reads;",
            "# 41200: a frame 30 s off on second 31 (a jump, not corrected).",
        ]
        for k in range(75):
            t = 8 * 3600 + 20 + k
            if k == 41:
                t += 30
            frame = build(t // 3600, t // 60 % 60, t % 60)
            at = 200 + 1000 * k
            if k == 5:
                out.append("%d %s" % (at, hexs(NOISE + frame)))
            elif k == 9:
                out.append("%d %s" % (at, hexs(frame[:4])))
                out.append("%d %s" % (at + 10, hexs(frame[4:])))
            else:
                out.append("%d %s" % (at, hexs(frame)))
        out.append("75000")
        with open("%s.cap" % name, "w") as f:
            f.write("\n".join(out) + "\n")

    out = [
        "# KRW_CODE receiver in step with the PC (start 2026-01-01 00:00:00), its first frame misread",
        "# as 2031-07-09 03:12:07. Replay: tkw-replay --tick --monitor samples/misread_frame.cap",
        "# Elapsed 200: the correction requested at start-up would step the clock by years, so it waits",
        "# for the next frame; that one does not agree, the misread frame is dropped (jump log) and the",
        "# next frame, in step, corrects at once.",
    ]
    for k in range(4):
        frame = krw(3, 12, 7, 31, 7, 9) if k == 0 else krw(0, 0, k)
        out.append("%d %s" % (200 + 1000 * k, hexs(frame)))
    out.append("4000")
    with open("misread_frame.cap", "w") as f:
        f.write("\n".join(out) + "\n")

    # Receivers that must not leave the clock wrong: one frame a second from
    # elapsed 200, each capture a list of frames (None: a second without one).
    misread = krw(3, 12, 7, 31, 7, 9)
    noise = [0xAA, 0x00, 0x28, 0x3E, 0xD3, 0x6A, 0x25, 0x2B, 0xBF]
    guards = {
        "noise_at_start": (
            "a receiver 10 s ahead of the PC whose adapter sends a burst of noise before the first frame\n"
            "(it passes KRW_CODE's test and reads as month 3E, day D3). The noise is refused, but the\n"
            "correction owed since start-up stays owed: a 10 s step is a jump, made when the second\n"
            "frame agrees with the first (SET at elapsed 1200), then on schedule at second 31.",
            "", [noise] + [krw(0, 0, 10 + k) for k in range(30)]),
        "repeated_misread": (
            "a receiver in step with the PC whose first two frames are the same misread,\n"
            "2031-07-09 03:12:07. The same time twice does not agree: both are dropped and the\n"
            "third frame, in step, corrects at once.",
            "", [misread, misread] + [krw(0, 0, k) for k in range(2, 5)]),
        "stuck_receiver": (
            "a receiver stuck on 00:00:31 from the start (the PC starts at 00:00:00). Its frames\n"
            "never agree with each other, so the correction owed since start-up is never made.",
            "", [krw(0, 0, 31)] * 40),
        "misread_59_minutes": (
            "a receiver in step with the PC whose first frame reads 00:59:00, 59 minutes off. A step\n"
            "beyond the jump threshold waits for a second frame; the next one, in step, corrects at once.",
            "", [krw(0, 59, 0)] + [krw(0, 0, k) for k in range(1, 4)]),
        "dead_battery": (
            "a PC whose clock battery is dead (2001-01-01) and a receiver at 2026-01-01 08:00:00 whose\n"
            "every other frame is misread. Good frames agree with each other across the bad ones: the\n"
            "clock is set at the third frame (elapsed 2200).",
            " --start '2001-01-01 00:00:00.000'",
            [krw(8, 0, k) if k % 2 == 0 else misread for k in range(6)]),
    }
    for name, (story, options, frames) in guards.items():
        out = ["# KRW_CODE: " + line for line in story.split("\n")]
        out.append("# Replay: tkw-replay --tick --monitor%s samples/%s.cap" % (options, name))
        for k, frame in enumerate(frames):
            if frame is not None:
                out.append("%d %s" % (200 + 1000 * k, hexs(frame)))
        out.append("%d" % (1000 * len(frames)))
        with open("%s.cap" % name, "w") as f:
            f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
