#!/usr/bin/python3
"""Writes Survey.q3d, a survey-sized project for the scene benchmark: twenty
vertical boreholes on a 5 x 4 grid 30 m apart and fifty sections of 100 rows
by 200 columns (two frequencies between each of 25 neighbouring pairs), every
section visible. About 8.4 MB, nearly all of it the sections' values.
Every section shows the palette of the bundled example (red, green, blue over
2 .. 50), on a logarithmic scale as there, or on a linear one.

Usage: make_survey.py OUTPUT_FILE [logarithmic|linear]   (default: logarithmic)

Built from the same record writers as the bundled example, so the file is
what the program itself would save."""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "examples"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))

import make_example as ex  # noqa: E402
from make_sections import sample  # noqa: E402

GRID_COLUMNS, GRID_ROWS, SPACING = 5, 4, 30.0
ROWS, COLS = 100, 200
PAIRS = 25
FREQUENCIES = (25000.0, 12500.0)
TOP, BOTTOM = 145.0, 55.0


def boreholes():
    holes = []
    for r in range(GRID_ROWS):
        for c in range(GRID_COLUMNS):
            holes.append(dict(name="BH%d" % (len(holes) + 1),
                              collar=(1000.0 + SPACING * c, 2000.0 + SPACING * r, 150.0),
                              intervals=[(0.0, 30.0, ex.SAND), (30.0, 65.0, ex.CLAY),
                                         (65.0, 100.0, ex.GRAVEL)]))
    return holes


def neighbour_pairs(holes):
    pairs = []
    for r in range(GRID_ROWS):
        for c in range(GRID_COLUMNS):
            at = r * GRID_COLUMNS + c
            if c + 1 < GRID_COLUMNS:
                pairs.append((holes[at], holes[at + 1]))
            if r + 1 < GRID_ROWS:
                pairs.append((holes[at], holes[at + GRID_COLUMNS]))
    return pairs[:PAIRS]


def values(seed, frequency):
    # A smooth body with a ripple, inside the palette's 2 .. 50.
    spread = 0.25 if frequency > 20000 else 0.35
    rows = []
    for i in range(ROWS):
        y = i / (ROWS - 1) - 0.5
        row = []
        for j in range(COLS):
            x = j / (COLS - 1) - 0.5
            r2 = (x * x + y * y) / (spread * spread)
            ripple = 1.0 + 0.1 * math.sin(0.3 * (i + j + seed))
            row.append(round(2.0 + 46.0 * math.exp(-r2) * ripple / 1.1, 3))
        rows.append(row)
    return rows


def build(log):
    legend = []
    holes = boreholes()
    records = [ex.borehole_record(b, ex.borehole_points(b, legend)) for b in holes]
    groups = []
    for n, (a, b) in enumerate(neighbour_pairs(holes)):
        (x1, y1, _), (x2, y2, _) = a["collar"], b["collar"]
        sections = []
        for frequency in FREQUENCIES:
            sec = sample(b1=a["name"], b2=b["name"], frequency=frequency, cols=COLS, rows=ROWS,
                         start_z=TOP, end_z=BOTTOM,
                         x1=[x1] * (ROWS + 1), x2=[x2] * (ROWS + 1),
                         y1=[y1] * (ROWS + 1), y2=[y2] * (ROWS + 1),
                         values=values(n, frequency), log=log)
            sections.append(ex.section_record(sec, "%g kHz" % (frequency / 1000), visible=1))
        groups.append(ex.section_group_record(sections, a["name"], b["name"]))
    return ex.project_bytes((1060.0, 100.0, 2045.0), legend, records, groups)


PALETTES = {"logarithmic": 1, "linear": 0}


def main(argv):
    if len(argv) not in (2, 3) or (len(argv) == 3 and argv[2] not in PALETTES):
        sys.stderr.write("usage: %s OUTPUT_FILE [logarithmic|linear]\n" % os.path.basename(argv[0]))
        return 2
    log = PALETTES[argv[2] if len(argv) == 3 else "logarithmic"]
    with open(argv[1], "wb") as f:
        f.write(build(log))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
