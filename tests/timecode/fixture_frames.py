#!/usr/bin/env python3
"""Prints the frames the fixture scripts build, for the test that holds them
against the program's encoder: one a line, "SOURCE CODE Y MO D H MI S HEX...".

usage: fixture_frames.py SOURCE_DIR"""
import datetime
import importlib.util
import os
import sys

ROOT = sys.argv[1]


def load(path):
    spec = importlib.util.spec_from_file_location(os.path.basename(path)[:-3], os.path.join(ROOT, path))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def out(source, code, t, frame):
    print(source, code, *t, " ".join("%02X" % b for b in frame))


corpus = load("fuzz/make_corpus.py")
samples = load("samples/make_samples.py")
capture = load("bench/make_capture.py")
# Every field different, so that two fields swapped would show.
for t in [(2031, 7, 9, 13, 45, 56), (2026, 12, 31, 23, 59, 59), (2001, 1, 2, 0, 8, 7)]:
    for code, build in ((1, corpus.krw), (2, corpus.pl), (3, corpus.mn)):
        out("fuzz/make_corpus.py", code, t, build(*t))
    # The samples are of 2026-01-01 (but a misread KRW_CODE frame).
    for code, build in ((1, samples.krw), (2, samples.pl), (3, samples.mn)):
        out("samples/make_samples.py", code, (2026, 1, 1) + t[3:], build(*t[3:]))
    out("samples/make_samples.py", 1, t, samples.krw(*t[3:], t[0] % 100, t[1], t[2]))
    out("bench/make_capture.py", 1, t, bytes.fromhex(capture.krw(datetime.datetime(*t))))
