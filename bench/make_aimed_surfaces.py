#!/usr/bin/python3
"""Writes surfaces whose corners were chosen against a fixed hash of the surface's
sharing index, and the same number of corners chosen at random, as a project and as
a drawing: how a file could aim the index, and what an ordinary file costs beside it.

Usage: make_aimed_surfaces.py FOLDER [TRIANGLES ...]   (default: 25000 100000)

Writes aimed-N.q3d, aimed-N.dxf, random-N.q3d and random-N.dxf. A corner is kept when
the fixed hash (the index's of the build before it was seeded) puts its key in the
first 4,096 slots of an index of 2^20: the first 4,096 of every smaller index too.
The key is the corner's place in the scene (north, elevation, east as floats, the
view's offset being zero: one triangle spans the bounds so that their centre is the
origin) and the surface's colour with its opacity. Each triangle's corners are its own."""

import os
import random
import struct
import sys
from multiprocessing import Pool

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))

import make_projects  # noqa: E402
from make_surface_records import SKY, surface_record  # noqa: E402
from make_sweep_inputs import drawing, group, xyz  # noqa: E402

M = (1 << 64) - 1
SPAN = 1000          # corners lie in -SPAN..SPAN on each axis
RUN, SLOTS = 4096, 1 << 20
PROJECT_OPACITY = 200
DXF_RED = 1          # colour number of the drawing's faces: red, opaque


def word_of(v):
    return struct.unpack("<I", struct.pack("<f", float(v)))[0]


WORDS = {v: word_of(v) for v in range(-SPAN, SPAN + 1)}


def colour_word(rgb, opacity):
    r, g, b = rgb
    return r | g << 8 | b << 16 | opacity << 24


def fixed_hash_state(h, w):
    return ((h ^ w) * 1099511628211) & M


def fixed_hash_end(h):
    h = ((h ^ (h >> 33)) * 0xff51afd7ed558ccd) & M
    h = ((h ^ (h >> 33)) * 0xc4ceb9fe1a85ec53) & M
    return h ^ (h >> 33)


def aimed_in_plane(args):
    """The corners (north, east, elevation) of one plane north = n whose keys land in
    the run."""
    north, colour = args
    kept = []
    h0 = fixed_hash_state(1469598103934665603, WORDS[north])
    for elevation in range(-SPAN + 1, SPAN):
        h1 = fixed_hash_state(h0, WORDS[elevation])
        for east in range(-SPAN + 1, SPAN):
            h3 = fixed_hash_state(fixed_hash_state(h1, WORDS[east]), colour)
            if fixed_hash_end(h3) & (SLOTS - 1) < RUN:
                kept.append((north, east, elevation))
    return kept


def aimed_corners(count, colour):
    corners = []
    with Pool(3) as pool:
        planes = [(n, colour) for n in random.Random(count).sample(range(-SPAN + 1, SPAN), 2 * SPAN - 1)]
        for kept in pool.imap(aimed_in_plane, planes):
            corners += kept
            if len(corners) >= count:
                break
    random.Random(1).shuffle(corners)
    return corners[:count]


def random_corners(count):
    rng = random.Random(count)
    seen = set()
    while len(seen) < count:
        seen.add((rng.randint(-SPAN + 1, SPAN - 1), rng.randint(-SPAN + 1, SPAN - 1), rng.randint(-SPAN + 1, SPAN - 1)))
    corners = sorted(seen)
    rng.shuffle(corners)
    return corners


def triangles_of(corners):
    """Each three corners a triangle, then the one that spans the bounds."""
    faces = [[corners[i], corners[i + 1], corners[i + 2]] for i in range(0, len(corners) - 2, 3)]
    faces.append([(-SPAN, -SPAN, -SPAN), (SPAN, SPAN, SPAN), (SPAN, -SPAN, 0)])
    return faces


def project(faces):
    # Survey points are (north, east, elevation).
    def root(s):
        at = make_projects.open_group(s, "", 1)
        surface_record(s, "Gezielt", 0, faces, [0] * len(faces), [0] * len(faces), colour=SKY)
        s.close_chunk(at)
    return bytes(make_projects.current(root=root, offset=(0.0, 0.0, 0.0), camera=(0.0, 0.0, 5000.0),
                                       direction=(0.0, 0.0, 1.0)))


def dxf(faces):
    def entity(f):
        # DXF X is east, Y north.
        return (group(0, "3DFACE") + group(8, "Surface") + group(62, DXF_RED) +
                "".join(xyz(i, (p[1], p[0], p[2])) for i, p in enumerate(f + [f[2]])))
    return drawing(entity(f) for f in faces)


def main():
    folder = sys.argv[1]
    counts = [int(a) for a in sys.argv[2:]] or [25000, 100000]
    os.makedirs(folder, exist_ok=True)
    sky = (SKY & 0xFF, SKY >> 8 & 0xFF, SKY >> 16 & 0xFF)
    for n in counts:
        for name, corners_of in (("aimed", lambda c: aimed_corners(3 * n, c)), ("random", lambda c: random_corners(3 * n))):
            for ext, colour, write in (("q3d", colour_word(sky, PROJECT_OPACITY), project),
                                       ("dxf", colour_word((255, 0, 0), 255), dxf)):
                with open(os.path.join(folder, "%s-%d.%s" % (name, n, ext)), "wb") as f:
                    f.write(write(triangles_of(corners_of(colour))))


if __name__ == "__main__":
    main()
