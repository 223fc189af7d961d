#!/usr/bin/python3
"""Writes the inputs of scripts/memory-sweep and of the DXF rows of scripts/bench
into a folder: drawings, model files and projects of the sizes at which an
import, an open or an export takes hundreds of megabytes.

Usage: make_sweep_inputs.py FOLDER [NAME ...]   (default: every input)

DXF text is written here from the format (code line, value line), as a drawing
program writes it; the model files, the two 80,000-object projects and the
2000 x 2000 section project come from the tests' and the example's generators,
so they are what the program's own files look like. The projects the program
saves itself (of the 2,000,000 points, of the 50,000 sphere groups) are made from
these by scripts/memory-sweep with qira_step, as are the projects of one large
object of points, of faces and of spheres. The projects of one large object of
each kind and layout after a small one come from the tests' generators too."""

import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "examples"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))

import make_example as ex  # noqa: E402
import make_projects  # noqa: E402
from make_graphics import bounds_of, label_fields, record  # noqa: E402
from make_polyline import line_fields  # noqa: E402
from make_records import obj  # noqa: E402
from make_model_files import text as model_text  # noqa: E402
from make_sections import sample  # noqa: E402
from make_surface_records import surface_record  # noqa: E402


# ---- Drawings ------------------------------------------------------------------

def group(code, value, code_text=None):
    return "%3s\n%s\n" % (str(code) if code_text is None else code_text, value)


def drawing(entities, tables=()):
    head = [group(0, "SECTION"), group(2, "TABLES")] + list(tables) + [group(0, "ENDSEC")] if tables else []
    return ("".join(head + [group(0, "SECTION"), group(2, "ENTITIES")] + list(entities) +
                    [group(0, "ENDSEC"), group(0, "EOF")])).encode("cp1252")


def xyz(i, point):
    return "".join(group(c + i, "%g" % v) for c, v in zip((10, 20, 30), point))


def layer_of(n, names, layer_code=None):
    return group(8, names[n % len(names)], layer_code)


def lines(count, layers):
    for n in range(count):
        x, y = n % 1000, n // 1000
        yield group(0, "LINE") + layer_of(n, layers) + xyz(0, (x, y, 0.0)) + xyz(1, (x + 0.5, y + 0.5, 1.0))


def faces(count, layers, layer_code=None):
    for n in range(count):
        x, y = n % 1000, n // 1000
        corners = ((x, y, 0.0), (x + 1, y, 0.0), (x + 1, y + 1, 1.0), (x, y + 1, 1.0))
        yield (group(0, "3DFACE") + layer_of(n, layers, layer_code) +
               "".join(xyz(i, p) for i, p in enumerate(corners)))


def scattered_faces(count, layers):
    """Triangles (a 3DFACE whose fourth corner is its third) none of whose corners another shares."""
    for n in range(count):
        x, y = 2 * (n % 1000), 2 * (n // 1000)
        corners = ((x, y, 0.0), (x + 1, y, 0.0), (x, y + 1, 0.0), (x, y + 1, 0.0))
        yield (group(0, "3DFACE") + layer_of(n, layers) + "".join(xyz(i, p) for i, p in enumerate(corners)))


def points(count, layers):
    for n in range(count):
        yield group(0, "POINT") + layer_of(n, layers) + xyz(0, (n % 1000, n // 1000, (n % 7) * 0.25))


def point_cloud(megabytes):
    """One run: POINTs on one layer up to the size, as a scanner's cloud."""
    out, size, n = [], 0, 0
    while size < megabytes * 1000000:
        entity = group(0, "POINT") + group(8, "Cloud") + xyz(0, (1000 + n % 997 * 0.013, 2000 + n // 997 * 0.011,
                                                                  100 + (n % 89) * 0.037))
        out.append(entity)
        size += len(entity)
        n += 1
    return out


def point_set(count):
    """POINTs on one layer, one run: the import makes them one point set."""
    for n in range(count):
        yield group(0, "POINT") + group(8, "Survey") + xyz(0, (n % 1000 * 0.5, n // 1000 * 0.5, (n % 13) * 0.1))


def layer_table(count, name="L%07d"):
    """A LAYER table of as many layers, each with a colour of its own."""
    yield group(0, "TABLE") + group(2, "LAYER") + group(70, count)
    for n in range(count):
        yield group(0, "LAYER") + group(2, name % n) + group(70, 0) + group(62, 1 + n % 255) + group(6, "CONTINUOUS")
    yield group(0, "ENDTAB")


def unknown_names(count, name="SHAPE%07d"):
    """Entities of as many kinds the reader does not know, among lines it reads."""
    for n in range(count):
        yield group(0, name % n)
        if n % 1000 == 0:
            yield from lines(1, TWO_LAYERS)


# Names of 40 characters: longer than a string holds in itself, so each has a heap
# block of its own.
LONG_UNKNOWN_NAME = "U%039d"
LONG_LAYER_NAME = "L%039d"


TWO_LAYERS = ("Walls", "Floors")
LONG_LAYERS = ("A" * 254 + "1", "B" * 254 + "2")

DRAWINGS = {
    "lines-50k.dxf": lambda: drawing(lines(50000, TWO_LAYERS)),
    "faces-50k.dxf": lambda: drawing(faces(50000, TWO_LAYERS)),
    "points-50k.dxf": lambda: drawing(points(50000, TWO_LAYERS)),
    "faces-long-layers.dxf": lambda: drawing(faces(50000, LONG_LAYERS)),
    # The layer's code written with a leading zero, as the reader's integer parse takes it.
    "faces-08-codes.dxf": lambda: drawing(faces(50000, TWO_LAYERS, layer_code=" 08")),
    "unknown-names.dxf": lambda: drawing(unknown_names(1000000)),
    "unknown-names-40.dxf": lambda: drawing(unknown_names(1000000, LONG_UNKNOWN_NAME)),
    "point-cloud-27mb.dxf": lambda: drawing(point_cloud(27)),
    # Saved by the program as points-2m.q3d (scripts/memory-sweep makes it with qira_step).
    "points-2m.dxf": lambda: drawing(point_set(2000000)),
    # One object each, saved by the program (scripts/memory-sweep makes them with qira_step):
    # a million points, half a million faces.
    "points-1m.dxf": lambda: drawing(point_set(1000000)),
    "faces-500k-one-layer.dxf": lambda: drawing(faces(500000, ("Surface",))),
    "faces-scattered-500k.dxf": lambda: drawing(scattered_faces(500000, ("Surface",))),
    # A million layers, of which the 10 lines use two.
    "layers-1m.dxf": lambda: drawing(lines(10, ("L0000000", "L0000001")), tables=layer_table(1000000)),
    "layers-1m-40.dxf": lambda: drawing(lines(10, (LONG_LAYER_NAME % 0, LONG_LAYER_NAME % 1)),
                                        tables=layer_table(1000000, LONG_LAYER_NAME)),
}


# ---- Model files ------------------------------------------------------------------

def model(count, group_each):
    out = ["[Geomentry]", "Distance=1000", "FTransmitterTo=500", "RReceiverTo=500", "RTransmitterTo=500",
           "FReceiverTo=500", "[Spheres]", "Count=%d" % count]
    for i in range(1, count + 1):
        out += ["[Sphere_%d]" % i, "Ro=%d" % (i if group_each else 10), "Epsilon=1", "Mu=1", "Radius=2",
                "X=%d" % (i % 1000), "Y=%d" % (i // 1000 % 100), "Z=%d" % (10 + i % 400)]
    return model_text(out)


MODELS = {
    "spheres-100k-one-group.mdl": lambda: model(100000, False),
    "spheres-50k-group-each.mdl": lambda: model(50000, True),
}


# ---- Projects ---------------------------------------------------------------------

def fixture_project(name):
    return lambda: bytes(make_projects.build_all()[name])


def large_section(side):
    """A section of side x side cells between two boreholes, values across the
    palette's range."""
    values = [[2.0 + (i * 7 + j * 13) % 48 for j in range(side)] for i in range(side)]
    return sample(b1="BH1", b2="BH2", frequency=12500.0, cols=side, rows=side, start_z=0.0, end_z=-float(side),
                  x1=[0.0] * (side + 1), x2=[float(side)] * (side + 1),
                  y1=[0.0] * (side + 1), y2=[0.0] * (side + 1), values=values, log=0)


def section_project(side):
    """One visible section of side x side cells, in the example's project layout."""
    groups = [ex.section_group_record([ex.section_record(large_section(side), "12.5 kHz", visible=1)])]
    return ex.project_bytes((side / 2.0, -side / 2.0, 0.0), [], [], groups)


def older_section_project(side):
    """The same section in the older project layout (version 3), beside the tests'
    two boreholes."""
    return bytes(make_projects.legacy(3, sections=[large_section(side)]))


def boreholes_project(count):
    """The older layout's project of the tests with as many boreholes, all at one
    place, named "B000000".. in a scattered order (7919 is a prime: every name comes)."""
    return lambda: bytes(make_projects.legacy(3, names=[("B%06d" % (i * 7919 % count), 1.0) for i in range(count)]))


def polyline_record(name, points, diameter):
    bmin, bmax = bounds_of(points)
    return lambda s: record(s, obj(name, type_id=9, accept=1, bmin=bmin, bmax=bmax),
                            lambda t: line_fields(t, points, diameter, 0x004080C0, 1))


CUBE = 400.0


def tangle(count, start=0):
    """Points of a curve that winds through a cube of CUBE metres, filling much of
    the view: a large object in a renderer's bins."""
    h = CUBE / 2
    return [(h + h * math.sin(0.0013 * i), h + h * math.sin(0.0017 * i + 1.0), h + h * math.sin(0.0019 * i + 2.0))
            for i in range(start, start + count)]


def polylines_project(count, points):
    """As many polylines of as many points each, spread through the cube."""
    lines = [polyline_record("L%06d" % i, tangle(points, i * 7919 % 5000000), 1.0) for i in range(count)]
    return lambda: ex.project_bytes((CUBE / 2,) * 3, [], [], [], objects=lines)


def sections_project(count, side):
    """As many visible sections of side x side cells, each between a pair of its own,
    on a grid through the cube."""
    groups = []
    for i in range(count):
        x, y = (i % 100) * CUBE / 100, (i // 100) * CUBE / 100
        values = [[2.0 + (i + r * 7 + c * 13) % 48 for c in range(side)] for r in range(side)]
        sec = sample(b1="P%05d" % i, b2="Q%05d" % i, frequency=12500.0, cols=side, rows=side,
                     start_z=CUBE / 2, end_z=CUBE / 2 - 3.0, x1=[x] * (side + 1), x2=[x + 3.0] * (side + 1),
                     y1=[y] * (side + 1), y2=[y] * (side + 1), values=values, log=0)
        groups.append(ex.section_group_record([ex.section_record(sec, "12.5 kHz", visible=1)],
                                              b1=sec["b1"], b2=sec["b2"]))
    return lambda: ex.project_bytes((CUBE / 2,) * 3, [], [], groups)


# ---- One large object after a small one ----------------------------------------------
# Each project holds a small object and then one large object, in one list: the open
# has kept an object when it meets the large one's fields. Sized so each open peaks at
# a few hundred MB at most, so its limits can be scanned finely.

def small_then_large(small, big):
    return bytes(make_projects.small_then_large(small, big))


def surface_of(kind, faces, name):
    return lambda s: surface_record(s, name, kind, faces, [0] * len(faces), [0] * len(faces))


def large_surface_project(kind, side):
    """Faces of a side x side grid: triangles (face kind 0), or, of face kind 2, a face of
    four corners for every other square and two triangles for the others."""
    mixed = (lambda cell: cell % 2 == 0) if kind == 2 else (lambda cell: False)
    return small_then_large(surface_of(kind, make_projects.grid_faces(3, mixed), "Klein"),
                            surface_of(kind, make_projects.grid_faces(side, mixed), "Fläche"))


def older_surface_project(version, side):
    """Triangles of a side x side grid in a surface record of the older project layout
    (version 2: one chunk; 3: three), behind a small one, the tests' boreholes and
    sections."""
    return bytes(make_projects.legacy(version, surfaces=[("Klein", make_projects.grid_faces(3)),
                                                         ("Fläche", make_projects.grid_faces(side))]))


def small_section(side=10):
    return dict(large_section(side), b1="BH0", b2="BH1")


def sections_after_small_project(side):
    """A small section's pair, then the large section's, in the example's layout."""
    groups = [ex.section_group_record([ex.section_record(sec, "12.5 kHz", visible=1)], b1=sec["b1"], b2=sec["b2"])
              for sec in (small_section(), large_section(side))]
    return ex.project_bytes((side / 2.0, -side / 2.0, 0.0), [], [], groups)


def older_sections_after_small_project(side):
    """The same in the older layout (version 3), behind the tests' two boreholes."""
    return bytes(make_projects.legacy(3, sections=[small_section(), large_section(side)]))


def borehole_after_small_project(count):
    """A borehole of 3 points, then one of count points winding down, 0.01 m between them."""
    def path(n):
        return [(10.0 * math.cos(i * 0.001), 10.0 * math.sin(i * 0.001), -0.01 * i, 0.01 * i, -1) for i in range(n)]
    holes = [ex.borehole_record(dict(name=name, collar=(10.0, 0.0, 0.0)), path(n))
             for name, n in (("Klein", 3), ("Tief", count))]
    return ex.project_bytes((0.0, 0.0, -0.005 * count), [], holes, [])


def long_label(s, characters, name="Beschriftung"):
    """A label of lines of 99 characters, three of each line outside ASCII (two or three
    bytes each once read), as many characters in all."""
    line = "Zeile 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 Ärger – 5 € ....\r"
    text = (line * (characters // len(line) + 1))[:characters]
    record(s, obj(name, type_id=10), lambda t: label_fields(t, (0.0, 0.0, 0.0), 1.0, 0x00FF8040, 0, 0, text))


def scattered_triangles(count):
    """count triangles of three corners each their own: none is shared with another."""
    side = int(math.ceil(math.sqrt(count)))
    faces = []
    for i in range(count):
        x, y = 2.0 * (i % side) - side, 2.0 * (i // side) - side
        faces.append([(x, y, 0.0), (x + 1.5, y, 0.0), (x, y + 1.5, 0.0)])
    return faces


def scattered_surface_project(count):
    """A small surface, then one of count triangles whose corners are not shared."""
    return small_then_large(surface_of(0, make_projects.grid_faces(3), "Klein"),
                            surface_of(0, scattered_triangles(count), "Verstreut"))


def coloured_surface_project(side):
    """A small surface, then a side x side grid of triangles each of a colour of its own:
    a point's colour is part of what it is shared by, so no corner is shared."""
    faces = make_projects.grid_faces(side)
    colours = [(i * 2654435761) & 0x00FFFFFF for i in range(len(faces))]
    return small_then_large(surface_of(0, make_projects.grid_faces(3), "Klein"),
                            lambda s: surface_record(s, "Bunt", 0, faces, colours, [1] * len(faces)))


def long_labels_project(count, characters):
    """A small label, then a group of count labels of `characters` characters each."""
    def labels(s):
        at = make_projects.open_group(s, "Beschriftungen", count)
        for i in range(count):
            long_label(s, characters, "B%d" % i)
        s.close_chunk(at)
    return small_then_large(lambda s: long_label(s, 10), labels)


def many_lines_project(count, segments):
    """A small line object, then a group of count line objects of `segments` segments each."""
    def group_of_lines(s):
        at = make_projects.open_group(s, "Linien", count)
        for _ in range(count):
            make_projects.large_lines(s, segments)
        s.close_chunk(at)
    return small_then_large(lambda s: make_projects.large_lines(s, 4), group_of_lines)


LONG_NAME = 10000000     # characters of a long name
MANY_STOPS = 10000000    # stops of a palette
MANY_LEGEND_ENTRIES = 1000000  # empty entries of a legend


def long_name_section_project(older):
    """A small section, then a section of 20 x 20 cells whose first borehole's name is
    LONG_NAME characters long, in the current layout or the older one (version 3)."""
    if older:
        return bytes(make_projects.legacy(3, sections=[small_section(), dict(large_section(20), b1="B" * LONG_NAME)]))
    return small_then_large(lambda s: make_projects.long_name_section(s),
                            lambda s: make_projects.long_name_section(s, b1="B" * LONG_NAME))


def many_stops_section_project():
    """A small section, then one of 20 x 20 cells whose palette holds MANY_STOPS stops."""
    return small_then_large(lambda s: make_projects.long_name_section(s),
                            lambda s: make_projects.long_name_section(
                                s, palette=make_projects.many_stops_palette(MANY_STOPS)))


def spheres_of_many_slices_project(count, slices):
    """A small object of spheres, then count spheres of `slices` slices in a row across the view."""
    return small_then_large(lambda s: make_projects.large_spheres(s, 2, 16),
                            lambda s: make_projects.spheres_in_a_row(s, count, slices))


def large_of(kind_writer, small_size, large_size):
    return lambda: small_then_large(lambda s: kind_writer(s, small_size), lambda s: kind_writer(s, large_size))


PROJECTS = {
    "boreholes-5k.q3d": boreholes_project(5000),
    "boreholes-20k.q3d": boreholes_project(20000),
    "many-boreholes.q3d": fixture_project("legacy_v3_many_boreholes.q3d"),
    "many-sections.q3d": fixture_project("legacy_v3_many_sections.q3d"),
    "section-2000.q3d": lambda: section_project(2000),
    "section-3000.q3d": lambda: section_project(3000),
    "section-3000-older.q3d": lambda: older_section_project(3000),
    # One polyline of a million points (24 MB), and 10,000 small ones; the tests'
    # 10,000 boreholes; 10,000 sections of 10 x 10 cells, 400 of 150 x 150.
    "polyline-1m.q3d": polylines_project(1, 1000000),
    "polylines-10k.q3d": polylines_project(10000, 10),
    "boreholes-10k.q3d": fixture_project("legacy_v3_10k_boreholes.q3d"),
    "sections-10k.q3d": sections_project(10000, 10),
    "sections-400-150.q3d": sections_project(400, 150),
    # One large object of each kind and layout after a small one (faces-500k.q3d, the
    # four-corner faces the program saved from a DXF, follows its axis cross).
    "large-triangles.q3d": lambda: large_surface_project(0, 700),
    "large-mixed-faces.q3d": lambda: large_surface_project(2, 600),
    "large-surface-oldest.q3d": lambda: older_surface_project(2, 700),
    "large-surface-older.q3d": lambda: older_surface_project(3, 700),
    "large-section.q3d": lambda: sections_after_small_project(1200),
    "large-section-older.q3d": lambda: older_sections_after_small_project(1200),
    "large-points.q3d": large_of(lambda s, side: make_projects.large_points(s, side, 1), 2, 1000),
    "large-spheres.q3d": large_of(lambda s, side: make_projects.large_spheres(s, side, 128), 2, 13),
    "large-borehole.q3d": lambda: borehole_after_small_project(500000),
    "long-label.q3d": large_of(long_label, 10, 30000000),
    "large-lines.q3d": large_of(make_projects.large_lines, 4, 200000),
    "large-polyline.q3d": large_of(make_projects.large_polyline, 4, 500000),
    "large-planes.q3d": large_of(make_projects.large_planes, 4, 200000),
    # The worst shape of each kind beside its usual one: triangles whose corners are not
    # shared (scattered, or a grid with a colour per face), many long labels, many line
    # objects of many segments.
    "scattered-triangles.q3d": lambda: scattered_surface_project(500000),
    "scattered-triangles-1m.q3d": lambda: scattered_surface_project(1000000),
    "scattered-triangles-2m.q3d": lambda: scattered_surface_project(2000000),
    "coloured-triangles.q3d": lambda: coloured_surface_project(501),
    "long-labels-256.q3d": lambda: long_labels_project(256, 4096),
    "long-labels-20k.q3d": lambda: long_labels_project(20000, 4096),
    "many-lines.q3d": lambda: many_lines_project(2000, 100),
    # Long names in every layout that reads one into an object, and many stops.
    "long-name-section.q3d": lambda: long_name_section_project(False),
    "long-name-section-older.q3d": lambda: long_name_section_project(True),
    "long-name-surface-oldest.q3d": lambda: bytes(make_projects.legacy(
        2, surfaces=[("Klein", make_projects.grid_faces(3)), ("S" * LONG_NAME, make_projects.ONE_TRIANGLE)])),
    "long-name-borehole-older.q3d": lambda: bytes(make_projects.legacy(3, names=[("Klein", 1.0), ("B" * LONG_NAME, 2.0)])),
    "many-stops-section.q3d": many_stops_section_project,
    # A group's long name (copied as its name and key), and a legend of many empty entries.
    "long-name-group.q3d": lambda: bytes(make_projects.large(
        lambda s: make_projects.write_record(s, make_projects.obj("G" * LONG_NAME)))),
    "many-empty-legend.q3d": lambda: bytes(make_projects.current(legend=[("", "", 0)] * MANY_LEGEND_ENTRIES)),
    # Spheres of many slices: what each draws follows its strips, not its grid.
    "spheres-40-300.q3d": lambda: spheres_of_many_slices_project(40, 300),
    "spheres-40-220.q3d": lambda: spheres_of_many_slices_project(40, 220),
}
# Points of every size the renderer bins differently (a tile is 64 pixels), round and
# square: 500,000 over the view after a small set.
POINT_SIZES = (1, 2, 16, 32, 33, 48, 64, 65, 100, 128, 200, 255)
for _size in POINT_SIZES:
    for _round, _shape in ((1, "round"), (0, "square")):
        PROJECTS["points-500k-%s-%d.q3d" % (_shape, _size)] = large_of(
            lambda s, side, r=_round, z=_size: make_projects.large_points(s, side, r, size=z), 2, 707)

INPUTS = dict(DRAWINGS, **MODELS, **PROJECTS)


def main(argv):
    if len(argv) < 2 or any(name not in INPUTS for name in argv[2:]):
        sys.stderr.write("usage: %s FOLDER [%s]...\n" % (os.path.basename(argv[0]), "|".join(INPUTS)))
        return 2
    os.makedirs(argv[1], exist_ok=True)
    for name in argv[2:] or INPUTS:
        with open(os.path.join(argv[1], name), "wb") as f:
            f.write(INPUTS[name]())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
