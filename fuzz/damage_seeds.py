#!/usr/bin/env python3
"""Writes damaged copies of the media seeds in FOLDER beside them:
bit flips through the middle of a transport stream, an MP4 cut inside its
index, an AVI whose index is overwritten, a Matroska file with a bad cluster.
Every run damages the same way (a fixed generator), so a finding can be made
again from its seed.

usage: damage_seeds.py FOLDER
"""
import os
import random
import sys


def scramble(data, start, length, seed, step=7):
    rng = random.Random(seed)
    for i in range(start, min(len(data), start + length), step):
        data[i] = rng.randrange(256)


def damage(folder):
    def load(name):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return bytearray(f.read())

    def save(name, data):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)

    ts = load("seed.ts")
    if ts:
        scramble(ts, len(ts) // 3, len(ts) // 3, 20)
        save("damaged-bits.ts", ts)
    mp4 = load("seed.mp4")
    if mp4 and mp4.find(b"moov") > 0:
        moov = mp4.find(b"moov")
        save("damaged-cut-moov.mp4", mp4[: moov + (len(mp4) - moov) // 2])
    avi = load("seed.avi")
    if avi and avi.find(b"idx1") > 0:
        index = avi.find(b"idx1") + 8
        scramble(avi, index, len(avi) - index, 7, step=3)
        save("damaged-index.avi", avi)
    mkv = load("seed.mkv")
    if mkv and mkv.find(b"\x1f\x43\xb6\x75") > 0:
        scramble(mkv, mkv.find(b"\x1f\x43\xb6\x75") + 16, 1024, 3)
        save("damaged-cluster.mkv", mkv)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    damage(sys.argv[1])
