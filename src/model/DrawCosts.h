#pragma once
// What the first draw of an object takes: its engine nodes built, their meshes
// compiled and drawn once. An import or an open counts it beside its own reading,
// so that what the memory cannot show is refused before it is read instead of the
// program being killed when it first draws.
//
// Measured on a Release build with the engine drawing a pipe straight from its nodes:
// a new document's window drawn headless (Mesa's llvmpipe through EGL on 8 cores, an
// 800 x 600 view), then the import and its first frame, under a memory cgroup of its
// own. The need is the group's peak less its usage when the count is taken; the
// costs are fitted, with the import's own costs (Dxf.cpp, ModelFile.cpp), to drawings
// of 1,000 to 100,000 objects of one element each (two layers taking turns) and to one
// object of 100,000 to 1,000,000 elements, so that the count is 5 to 15 % above the
// need from 10,000 elements up (small drawings are counted above their need by at
// most the frame below). Measure them again so whenever the engine's drawing changes.
#include <algorithm>
#include <cstdint>

#include "scene/objects/SphereStrips.h"

namespace qira {

struct TDrawCost {
  int64_t ObjectBytes;   // each object
  int64_t ElementBytes;  // each face, point, segment or sphere in it

  constexpr int64_t Of(int64_t objects, int64_t elements) const {
    return objects * ObjectBytes + elements * ElementBytes;
  }
};

// A surface of faces (3DFACE), as a DXF import counts it: its object, and each face at
// the most a face of a drawing takes (see SurfaceSheetCost): four corners of their own
// drawn as two triangles, 368 B (as a quadrilateral 352, a triangle 264).
inline constexpr TDrawCost SurfaceDrawCost{7936, 368};
// A surface's sheet, as an open counts it. The sheet keeps a point once where faces
// meet, so what a face takes drawn follows how its corners are shared: each corner is
// counted as a point of its own (scattered triangles, a colour per face, faces folded
// beyond the smoothing angle), so that no shape the stored sizes allow takes more; and
// each index. A point is held twice once drawn (the sheet and the driver's buffer, 32 B
// each, the one released after the other is filled), an index too (4 B each). On the
// Release build of the sweep's driver, opened after a small surface: 500,000 scattered
// triangles needed 175 to 187 MB at 800 x 600 and 1920 x 1080, 1,000,000 324 to 353
// (298 to 330 B a triangle more, its faces' 104 among them); a grid of 977,202
// triangles, sharing its corners, 175 to 240 MB, as the renderer's threads keep pace.
struct TSurfaceSheetCost {
  int64_t ObjectBytes;
  int64_t CornerBytes;
  int64_t IndexBytes;

  constexpr int64_t Of(int64_t corners, int64_t indices) const {
    return ObjectBytes + corners * CornerBytes + indices * IndexBytes;
  }
};
inline constexpr TSurfaceSheetCost SurfaceSheetCost{7936, 80, 8};
// Points.
inline constexpr TDrawCost PointsDrawCost{2816, 32};
// Line segments.
inline constexpr TDrawCost LinesDrawCost{2560, 768};
// What a frame draws, for what it takes in the renderer (FrameDrawBytes): of each kind,
// its objects (each a change of the renderer's state) and their elements.
struct TFrameKind {
  int64_t Objects = 0;
  int64_t Elements = 0;
};
struct TFrameContent {
  TFrameKind Faces;     // surfaces and their faces
  TFrameKind Points;    // point sets and their points
  TFrameKind Segments;  // lines and their segments
};

// What a frame takes in the renderer beside the objects it draws: the first draw of
// points or lines, what each object (its change of state) and each element put in the
// rasterizer's bins, up to what the renderer holds of a frame, its blocks of 36 MB:
// one or two as its threads keep pace, more on a busy machine.
// Measured as above, and with the tests' heap probe (the rasterizer drawing as it
// goes), on DXF drawings and model files at 800 x 600 and 1920 x 1080: the same at
// both, the bins following the primitives and their states, not the view's pixels.
// An object of faces 72 KB (its two meshes: 68 KB measured for 300 in view, 39 KB for
// 1,000), of points 38 KB (36 to 39 KB), of lines nothing beside their segments. A face
// 224 B (165 to 225 B in view, next to none for faces too small to see), a point
// 544 B (440 to 480 B), a segment 16 KB (its pipe: 12 to 16 KB, from 5,000 down to
// 100 in view), a sphere of 24 slices 40 KB (31 KB), a label 0.5 KB; the first draw of
// points 1.2 to 1.6 MB, of lines 0.8 MB, of spheres 0.5 MB (3.6 MB measured for 100
// spheres, their bins and first draw). The whole frame: 37 to 45 MB for 1,000 to
// 100,000 objects of faces or points and for 1,000,000 points in one, 60 to 70 MB for
// 5,000 to 20,000 segments or 2,000 spheres; on a busy machine up to 90 MB (179 MB
// needed for 10,000 objects of faces, 120 for 10,000 of points), and now and then
// 115 MB for one draw of 1,000,000 points (199 MB needed, counted 188).
// Count / need of the import and its first draw, at both sizes: 1,000 to 100,000
// objects of one element, layers taking turns, 1.09 to 1.75; one object of 20,000 to
// 1,000,000 faces, points or segments 1.07 to 1.66 (20,000 faces out of sight: 1.50 by
// the heap probe, 2.05 by the cgroup, which sees 2 MB less, the heap the new window's
// draw freed); 10 lines 1.1 to 1.6 by the heap probe; models of 100 to 100,000 spheres
// 1.10 to 1.35. Since a frame waits for the renderer every ObjectsBetweenRenderWaits
// objects, 10,000 objects of faces and 20,000 of points take 20 to 35 MB less, and the
// bound is 56 MB. Measure them again whenever the engine's drawing changes.
constexpr int64_t FrameDrawBytes(const TFrameContent& drawn) {
  constexpr int64_t kMB = int64_t{1} << 20;
  const auto binned = [](const TFrameKind& kind, int64_t first, int64_t object, int64_t element) {
    return kind.Elements <= 0 ? 0 : first + std::max<int64_t>(kind.Objects, 0) * object + kind.Elements * element;
  };
  const int64_t bins = binned(drawn.Faces, 0, 72 << 10, 224) + binned(drawn.Points, 3 * kMB / 2, 38 << 10, 544) +
                       binned(drawn.Segments, 3 * kMB / 4, 0, 16 << 10);
  return std::min<int64_t>(bins, 56 * kMB);
}

// ---- Opening a project ---------------------------------------------------------------
// Measured as above, from the program's open function (read, new window, tree, build,
// first frame) under a memory cgroup, at views of 800 x 600, 1920 x 1080 and 3840 x
// 2160, with the renderer waited for every 256 objects (SceneObject.cpp): without that
// wait what a frame holds grew with the machine's load (0.4 to 1.8 GB for one frame of
// 40,000 boreholes). Projects of 10,000 to 80,000 objects of one kind, and of one
// object of 1,000 to 2,000,000 elements; the need is the group's peak less its usage
// when the count is taken. Every object is counted from what it holds (its points,
// faces, segments, spheres, nodes, characters, cells), never from its stored bytes.
// Count / need of the program's own open, by view (800 x 600 / 1920 x 1080):
//   80,000 boreholes (the tests' fixture) 1.09 / 1.10, 80,000 spread over the view
//   1.12 / 1.12, boreholes of 22 points 1.20 / 1.18; 80,000 sections and 40,010 groups
//   1.10 / 1.11; a section of 2000 x 2000 cells 1.22 / 1.22, of 1000 x 1000 1.66 /
//   1.24, of 500 x 500 1.35 / 1.11, of 1000 x 1000 cells drawn as cells 1.28 / 1.29;
//   one point set of 2,000,000 points (from a DXF) 1.14 to 1.34 / 1.16 to 1.35 (by the
//   renderer's block above); 50,000 objects of one sphere each 1.08 / 1.09, 100,000
//   spheres in one object 1.09 / 1.09, spheres of 8, 16 and 24 slices 1.09 to 1.18;
//   faces, points, segments, polylines, planes, labels, axes and groups, 10,000 and
//   40,000 objects 1.04 to 1.23; one object of 50,000 to 1,000,000 elements 1.02 to
//   1.58 (the frame's bound counted for faces too small to fill it); the example
//   project 1.16 / 1.26. The program itself, full screen at 1920 x 1080: the 80,000
//   boreholes peak at 818 MB, counted 877.

// A view window of a project: its scene, context and first frame, and each pixel of
// its view (colour and depth, and the colour shown): 28 MB and 8 B a pixel measured
// headless, 11 to 12 B a pixel on a window of the X server.
inline constexpr int64_t ViewWindowBytes = int64_t{30} << 20;
inline constexpr int64_t ViewPixelBytes = 12;
constexpr int64_t ViewDrawBytes(int64_t width, int64_t height) {
  return ViewWindowBytes + std::max<int64_t>(width, 0) * std::max<int64_t>(height, 0) * ViewPixelBytes;
}

// What a frame's primitives hold in the renderer's bins while it draws them, by what
// each object adds (TGraphMain::BinnedBytes), no more than as many objects as the
// renderer is left to queue (ObjectsBetweenRenderWaits) put there, and up to what the
// renderer holds at most: 62 to 68 MB measured for one object of 50,000 segments or
// 200,000 points, whatever the view's size, with now and then one more block of its
// own (36 MB) for a single draw of a million points or more; under 12 MB for 80,000
// small objects. Inside one object's draw the renderer is waited for too
// (VerticesBetweenRenderWaits, SceneObject.h), so a busy machine lets no single draw
// queue more: opened at 1920 x 1080 beside six busy loops, one polyline of a million
// points needs 239 MB (303 before; counted 363), 2,000,000 points 214 MB (222 to 294
// before; counted 296), none killed at the count + 2 to 10 %.
inline constexpr int64_t FrameBinsBytes = int64_t{72} << 20;
constexpr int64_t FrameBinsOf(int64_t binned) { return std::clamp<int64_t>(binned, 0, FrameBinsBytes); }
// FrameBinsOf where the frame waits at a stretch of `stretchVertices`, more than the
// least (`leastStretchVertices`, with which `binned` bounded each mesh) where there is
// room (RenderStretchVertices, SceneObject.h): each mesh's share grows with the
// stretch up to what its draw sends in all (`whole`, at least `binned`), and so does
// the frame's bound. At the least stretch, FrameBinsOf.
constexpr int64_t FrameBinsAt(int64_t binned, int64_t whole, int64_t stretchVertices, int64_t leastStretchVertices) {
  if (stretchVertices <= leastStretchVertices) return FrameBinsOf(binned);
  const double growth = static_cast<double>(stretchVertices) / static_cast<double>(leastStretchVertices);
  const double grown = std::min(static_cast<double>(std::max(binned, whole)), static_cast<double>(binned) * growth);
  return static_cast<int64_t>(std::clamp(grown, 0.0, static_cast<double>(FrameBinsBytes) * growth));
}

// The bins of one mesh's elements (a section's cells, a surface's triangles), each of
// `verticesEach` indices: inside one draw the renderer is left to hold no more than
// `stretchVertices` (VerticesBetweenRenderWaits) before the frame waits for it. A
// 300 x 300 section filling the view measured 22.5 MB in all once its sheet's draw
// waited, where its 90,000 cells at 448 B counted 49.
constexpr int64_t MeshBinsOf(double elements, int64_t verticesEach, int64_t binBytes, int64_t stretchVertices) {
  const double most = static_cast<double>((stretchVertices + verticesEach - 1) / verticesEach);
  return static_cast<int64_t>(std::clamp(elements, 0.0, most)) * binBytes;
}

// Every object read: the object and its tree node (0.8 KB measured for a group), and
// each character of its name, kept with its sort key and shown by the tree.
inline constexpr TDrawCost GraphObjectCost{768, 4};

// A borehole's first draw: its pipe and two labels, and each node of its pipe (a
// point, or a change of rock) its share of the pipe. Measured 9.4 KB for a borehole
// of two points, spread over the view or stacked in one place, and 0.21 KB a node.
inline constexpr TDrawCost BoreholeDrawCost{9216, 160};
// A section's: its palette and two meshes (7.9 KB measured for a section of one
// cell, with its object and tree node), beside its sheet (SectionMemoryNeeded).
inline constexpr TDrawCost SectionDrawCost{6656, 0};
// Spheres: each sphere and its node (4 KB measured, with 0.9 KB an object of spheres
// besides, its object and tree node: GraphObjectCost), and its list: each vertex its
// draw sends (SphereStrips.h, the figures the draw runs on), as the driver keeps the
// vertices a list was given (32 B: place, normal, texture point). A strip repeats the
// row of the grid it shares with the next, so a sphere of n slices and stacks sends
// 2n(n + 1) vertices, near twice its grid. Measured on the Release build of the sweep's
// driver at 800 x 600, each sphere's share the difference of two projects of spheres
// after a small object: 28 to 34 B a vertex sent for 300, 512, 720 and 1,024 slices
// (5.0, 15.9, 34.8 and 64.5 MB a sphere), 31 to 41 for 220 (3.0 to 4.0 MB), 21 for 64
// (0.18 MB, lists sharing the driver's blocks).
struct TSpheresDrawCost {
  int64_t SphereBytes;
  int64_t VertexBytes;  // each vertex the sphere's draw sends

  constexpr int64_t Of(int64_t spheres, const TSphereStrips& strips) const {
    return spheres * (SphereBytes + strips.Vertices() * VertexBytes);
  }
};
inline constexpr TSpheresDrawCost SpheresDrawCost{4096, 36};
// A text label: its node and the texts it draws (3.6 KB measured with its object and
// tree node), and each byte of its text beside the label's own: the node's copy, the
// codes a draw converts it to and what the renderer holds of their quads. Measured on
// the Release build of the sweep's driver, a label opened after a small one, of 1, 10
// and 30 million characters (ASCII, and three of every 99 outside it): 3.75 to 4.05 B
// a character in all with the label's own text in one run, 2.9 to 2.95 in another
// (the renderer's share of the quads varies).
inline constexpr TDrawCost LabelDrawCost{3072, 3};
// An axis cross: its arrows, spheres and labels (112 KB measured).
inline constexpr int64_t AxisDrawBytes = 124 << 10;
// A polyline: its pipe and each of its points (3.7 KB and 0.2 KB measured), beside
// its end spheres (SpheresDrawCost).
inline constexpr TDrawCost LineDrawCost{3584, 224};
// Planes: their two meshes and lists (31 KB measured for three points), each point.
inline constexpr TDrawCost PlanesDrawCost{33792, 288};
// A point set's node beside its first draw above: the node, and each point's place
// and colour in it.
inline constexpr TDrawCost PointsNodeCost{512, 28};
// A surface's two meshes beside their first draw above (counted per triangle).
inline constexpr int64_t SurfaceNodeBytes = 1024;

// What each element adds to the renderer's bins (see FrameBinsBytes), measured as
// the frame's share beside the objects': a round point 0.5 KB, a square one 45 B, a
// segment 6.7 KB, a polyline's point 3.4 KB, a plane's point 0.4 KB, a quad of a
// sphere 0.18 KB (each sphere a node of its own), a node of a borehole (its pipe and
// labels) 8 KB, a label 0.5 KB. A cell of a section and a triangle of faces take the
// most when each is a few pixels in view (a section or surface filling the view,
// the tests' heap probe): 340 to 390 B a cell, 220 to 290 B a triangle; much less
// once they are too small to see.
inline constexpr int64_t PointBinBytes = 512;
inline constexpr int64_t SquarePointBinBytes = 64;
inline constexpr int64_t SegmentBinBytes = 8192;
inline constexpr int64_t LinePointBinBytes = 4096;
inline constexpr int64_t PlanesPointBinBytes = 512;
inline constexpr int64_t SphereQuadBinBytes = 192;
// A sphere's bins: half a quad's for each triangle its draw sends.
constexpr int64_t SphereBinBytes(const TSphereStrips& strips) { return strips.Triangles() * SphereQuadBinBytes / 2; }
inline constexpr int64_t SectionCellBinBytes = 448;
inline constexpr int64_t TriangleBinBytes = 384;
inline constexpr int64_t BoreholeNodeBinBytes = 8192;
inline constexpr int64_t LabelBinBytes = 512;
// A label's character, a quad of its own: what the renderer holds of the quads a frame
// queues, spread over the characters of its labels. The frame waits on the vertices
// queued, labels' quads among them, so many long labels hold at most a stretch's bins
// at a time: 256 labels of 4,096 characters needed 7 MB (800 x 600) and 18 MB (1920 x
// 1080) beside their label's own bins and text.
inline constexpr int64_t GlyphBinBytes = 32;
inline constexpr int64_t AxisBinBytes = 1024;

}  // namespace qira
