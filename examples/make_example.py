#!/usr/bin/python3
"""Writes the bundled example project Example.q3d together with the data files
it was made from: two vertical boreholes (BH1.ink / BH1.bgd, BH2.ink / BH2.bgd)
and two sections measured between them (BH1_BH2_25kHz.sec, BH1_BH2_12.5kHz.sec).

Usage: make_example.py [OUTPUT_FOLDER]   (default: the folder of this script)

The project is written from the stored layouts with `struct` only, reusing the
fixture generators of tests/fixtures:

  "QIRA 3D image" | int32 program version | int32 end offset (file length)
  | model offset (3 doubles, scene order) | camera position (3 floats)
  | view direction (3 floats) | geology legend block | root object record

The root holds the groups "Boreholes" (the two boreholes), "Sections" (the
section group of the pair with its two sections), "Potential sections" (empty)
and "Objects" (the axis cross)."""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))

from fixturebytes import Stream  # noqa: E402
from make_boreholes import points_part  # noqa: E402
from make_geology import depth_list, interval  # noqa: E402
from make_graphics import axis_default  # noqa: E402
from make_records import write_legend  # noqa: E402
from make_sections import bounds, data_range, sample, sample_palette_chunk, sec_file  # noqa: E402

INF = math.inf
PROGRAM_VERSION = 1000000          # 1.0.0.0, the version that wrote the file
WHITE = 0x00FFFFFF

# ---- Boreholes -------------------------------------------------------------
# Vertical holes, so the path is the collar minus the depth: every coordinate
# is exact and the example is what the program computes from the files.

STATION_DEPTHS = [10.0 * i for i in range(11)]     # 0 .. 100 m

# Rocks: (full name, short name, colour $00BBGGRR).
SAND = ("Sand", "Sd", 0x0000D7FF)
CLAY = ("Clay", "Cl", 0x00286EA0)
GRAVEL = ("Gravel", "Gr", 0x00A0A0A0)

BOREHOLES = [
    dict(name="BH1", collar=(1000.0, 2000.0, 150.0),
         intervals=[(0.0, 30.0, SAND), (30.0, 65.0, CLAY), (65.0, 100.0, GRAVEL)]),
    dict(name="BH2", collar=(1030.0, 2040.0, 148.0),
         intervals=[(0.0, 25.0, SAND), (25.0, 70.0, CLAY), (70.0, 100.0, GRAVEL)]),
]


def ink_text(b):
    x, y, z = b["collar"]
    lines = ["%d %g %g %g" % (len(STATION_DEPTHS), x, y, z), "0"]
    lines += ["%g 0 0" % d for d in STATION_DEPTHS[1:]]
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def bgd_bytes(b):
    return depth_list([interval(top, bottom, short.encode("cp1252"), full.encode("cp1252"),
                                color=colour)
                       for top, bottom, (full, short, colour) in b["intervals"]])


def find_or_add(legend, rock):
    full, short, colour = rock
    for i, (f, s, _) in enumerate(legend):
        if f.upper() == full.upper() and s.upper() == short.upper():
            legend[i] = (f, s, colour)
            return i
    legend.append(rock)
    return len(legend) - 1


def borehole_points(b, legend):
    """The path as the program builds it: stations, then a point at every
    interval's top and bottom, then the rock of each point (Top < depth <= Bottom)."""
    x, y, z = b["collar"]
    depths = sorted(set(STATION_DEPTHS) | {d for top, bottom, _ in b["intervals"] for d in (top, bottom)})
    points = []
    for d in depths:
        rock = -1
        for top, bottom, r in b["intervals"]:
            if top < d <= bottom:
                rock = find_or_add(legend, r)
        points.append((x, y, z - d, d, rock))
    return points


# ---- Records ---------------------------------------------------------------

def common(s, type_id, name, children=(), visible=1, accept=0, exclusive=0, expanded=1,
           bmin=(INF, INF, INF), bmax=(-INF, -INF, -INF)):
    """The common chunk of a scene object; children are writer functions."""
    at = s.open_chunk(0)
    s.i32(type_id)
    s.string(name)
    for flag in (visible, 255, accept, exclusive, expanded):
        s.u8(flag)
    for v in bmin + bmax:
        s.f64(v)
    s.i32(len(children))
    for child in children:
        child(s)
    s.close_chunk(at)


def group(name, children=(), expanded=1):
    return lambda s: common(s, 0, name, children, expanded=expanded)


def borehole_record(b, points):
    def write(s):
        bmin = tuple(min(p[i] for p in points) for i in range(3))
        bmax = tuple(max(p[i] for p in points) for i in range(3))
        common(s, 2, b["name"], accept=1, expanded=0, bmin=bmin, bmax=bmax)
        at = s.open_chunk(0)
        s.raw(b"Borehole")
        points_part(s, points)
        s.string(b["name"])
        for v in b["collar"]:
            s.f64(v)
        s.f64(1.5)          # Radius
        s.u8(1)             # ShowLabels
        s.u32(WHITE)        # LabelColor
        s.f64(0.1)          # LabelSize
        s.u8(1)             # ApplyPipeToAll
        s.u8(1)             # ApplyColorToAll
        s.u8(1)             # ShowTopLabel
        s.u8(0)             # ShowBottomLabel
        s.u8(1)             # ApplyLabelsToAll
        s.close_chunk(at)
    return write


# ---- Sections --------------------------------------------------------------
# Nine rows from elevation 145 down to 55, twelve columns from BH1 to BH2; the
# values (2 .. 50, inside the palette's range) show a conductive body between
# the holes. Cells of the top row's corners hold no data (0).

ROWS, COLS = 9, 12


def section_values(frequency):
    spread = 2.5 if frequency > 20000 else 3.5
    values = []
    for i in range(ROWS):
        row = []
        for j in range(COLS):
            if i == 0 and j in (0, COLS - 1):
                row.append(0.0)
                continue
            r2 = ((i - 5.0) / spread) ** 2 + ((j - 6.5) / (spread * 1.3)) ** 2
            row.append(round(2.0 + 46.0 * math.exp(-r2), 3))
        values.append(row)
    return values


def section_sample(frequency):
    (x1, y1, _), (x2, y2, _) = BOREHOLES[0]["collar"], BOREHOLES[1]["collar"]
    return sample(b1="BH1", b2="BH2", frequency=frequency, cols=COLS, rows=ROWS,
                  start_z=145.0, end_z=55.0,
                  x1=[x1] * (ROWS + 1), x2=[x2] * (ROWS + 1),
                  y1=[y1] * (ROWS + 1), y2=[y2] * (ROWS + 1),
                  values=section_values(frequency))


def section_record(sec, name, visible):
    """The section's record; its palette is the one a section reads from the
    file's value table (1, 10, 100, range 2 .. 50, logarithmic as the file's
    flag says)."""
    def write(s):
        bmin, bmax = bounds(sec)
        common(s, 4, name, visible=visible, accept=1, exclusive=1, expanded=0, bmin=bmin, bmax=bmax)
        at = s.open_chunk(0)
        s.raw(b"Section")
        s.string(sec["b1"])
        s.string(sec["b2"])
        s.f32(sec["frequency"])
        s.i32(sec["data_kind"])
        s.i32(sec["cols"])
        s.i32(sec["rows"])
        for array in ("x1", "x2", "y1", "y2"):
            for v in sec[array]:
                s.f64(v)
        s.f64(sec["start_z"])
        s.f64(sec["end_z"])
        for row in sec["values"]:
            for v in row:
                s.f64(v)
        lo, hi = data_range(sec)
        s.f64(lo)
        s.f64(hi)
        sample_palette_chunk(s, sec["log"])
        for flag in (1, 1, 0, 0, 1, 1, 1):
            s.u8(flag)
        s.close_chunk(at)
    return write


def section_group_record(sections, b1="BH1", b2="BH2"):
    def write(s):
        common(s, 1, "%s - %s" % (b1, b2), sections, expanded=1)
        at = s.open_chunk(0)
        s.string(b1)
        s.string(b2)
        s.close_chunk(at)
    return write


# ---- The project -----------------------------------------------------------

def build():
    legend = []
    boreholes = [(b, borehole_points(b, legend)) for b in BOREHOLES]
    high, low = section_sample(25000.0), section_sample(12500.0)

    files = {}
    for b, _ in boreholes:
        files[b["name"] + ".ink"] = ink_text(b)
        files[b["name"] + ".bgd"] = bgd_bytes(b)
    files["BH1_BH2_25kHz.sec"] = sec_file(high)
    files["BH1_BH2_12.5kHz.sec"] = sec_file(low)

    files["Example.q3d"] = project_bytes(
        (1015.0, 100.0, 2020.0), legend,
        [borehole_record(b, p) for b, p in boreholes],
        [section_group_record([section_record(high, "25 kHz", visible=1),
                               section_record(low, "12.5 kHz", visible=0)])])
    return files


def project_bytes(centre, legend, boreholes, section_groups, objects=(axis_default,)):
    """The project file: the data's centre (scene order), the view, the legend
    and the root with its four groups (objects: writers of the "Objects" group's
    children)."""
    s = Stream()
    s.raw(b"QIRA 3D image")
    at = s.open_chunk(PROGRAM_VERSION)
    for v in centre:
        s.f64(v)
    for v in (0.0, 0.0, 650.0):             # camera position
        s.f32(v)
    for v in (0.96, 0.0, 0.28):             # view direction
        s.f32(v)
    write_legend(s, [(full, short, colour) for full, short, colour in legend])
    common(s, 0, "", [
        group("Boreholes", boreholes),
        group("Sections", section_groups),
        group("Potential sections", expanded=0),
        group("Objects", list(objects)),
    ], expanded=0)
    s.close_chunk(at)
    return bytes(s)


def main(argv):
    if len(argv) > 2:
        sys.stderr.write("usage: %s [OUTPUT_FOLDER]\n" % os.path.basename(argv[0]))
        return 2
    folder = argv[1] if len(argv) == 2 else HERE
    os.makedirs(folder, exist_ok=True)
    for name, data in build().items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bytes(data))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
