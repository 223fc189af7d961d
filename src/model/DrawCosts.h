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

namespace qira {

struct TDrawCost {
  int64_t ObjectBytes;   // each object
  int64_t ElementBytes;  // each face, point, segment or sphere in it

  constexpr int64_t Of(int64_t objects, int64_t elements) const {
    return objects * ObjectBytes + elements * ElementBytes;
  }
};

// A surface of faces (3DFACE).
inline constexpr TDrawCost SurfaceDrawCost{7936, 224};
// Points.
inline constexpr TDrawCost PointsDrawCost{2816, 32};
// Line segments.
inline constexpr TDrawCost LinesDrawCost{2560, 768};
// A group of spheres of one radius.
inline constexpr TDrawCost SpheresDrawCost{512, 15872};
// A text label (4.8 KB measured, with its tree node).
inline constexpr TDrawCost LabelDrawCost{5120, 0};
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
  TFrameKind Spheres;   // groups of spheres (of the default slices) and their spheres
  int64_t Labels = 0;
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
// 1.10 to 1.35. Measure them again whenever the engine's drawing changes.
constexpr int64_t FrameDrawBytes(const TFrameContent& drawn) {
  constexpr int64_t kMB = int64_t{1} << 20;
  const auto binned = [](const TFrameKind& kind, int64_t first, int64_t object, int64_t element) {
    return kind.Elements <= 0 ? 0 : first + std::max<int64_t>(kind.Objects, 0) * object + kind.Elements * element;
  };
  const int64_t bins = binned(drawn.Faces, 0, 72 << 10, 224) + binned(drawn.Points, 3 * kMB / 2, 38 << 10, 544) +
                       binned(drawn.Segments, 3 * kMB / 4, 0, 16 << 10) + binned(drawn.Spheres, kMB / 2, 0, 40 << 10) +
                       std::max<int64_t>(drawn.Labels, 0) * 512;
  return std::min<int64_t>(bins, 96 * kMB);
}

// ---- Opening a project ---------------------------------------------------------------
// Measured as above, from the program's open function (read, new window, tree, build,
// first frame) under a memory cgroup, on projects of 2,000 to 80,000 objects of one
// kind: the need's growth with the objects, less its part that does not grow (the
// window below); the element figures from two sizes of the same objects (boreholes of
// 2 and 22 points, with and without a change of rock at each). Each counts the
// object's tree node too. Fitted so that the count is 7 to 15 % above the need.

// A borehole, besides the object and its path: the pipe, two labels and the tree
// node; and each node of its pipe (a point, or a change of rock: a geology interval).
// Measured 9.3 to 10.9 KB for a borehole of two points, 0.2 KB a node.
inline constexpr TDrawCost BoreholeDrawCost{10240, 192};
// A section, besides its object, grid and sheet (SectionMemoryNeeded): its palette,
// two meshes and the tree node. Measured 7.9 KB for a section of one cell in all.
inline constexpr TDrawCost SectionDrawCost{7168, 0};
// Any other object read, by type id (group, section group, borehole, axis, section,
// surface, points, lines, spheres, line, label, planes): the object, its tree node
// and its nodes in the scene, and for each byte of its record what the kind makes
// of it (the values read, the meshes and lists drawn from them). Measured per object
// of one element (a face, point, segment or sphere; a line of 2 points, planes of 3,
// a label of 9 characters), from 10,000 to 40,000 of them: a group 0.8 KB, an axis
// 115 KB, faces 8.8, points 4.8, segments 4.2, a sphere of 24 slices 30, a line 4.0,
// a label 4.8, planes 32; per stored byte of one object of 200,000 to 1,000,000
// elements: faces 5.6, points 2, segments 14, spheres of 24 slices 1225, a line's
// points 8.2, planes' points under 10; a label's text 6 a character. A record's
// bytes include its name and bounds, so a small object of a kind with a high cost a
// byte (spheres) is counted well above its need. Boreholes and sections count
// themselves (above).
inline constexpr TDrawCost StoredObjectDrawCosts[] = {
    {1024, 4},    {1024, 4},    {1024, 4},    {131072, 4}, {1024, 4},   {8704, 6},
    {5120, 2},    {3072, 15},   {1024, 1280}, {3840, 9},   {4352, 8},   {34816, 10}};
// A new window of a project: its scene, context and first frame, with the renderer's
// bins as full as many objects make them (82 MB measured beside 2,000 to 80,000
// boreholes, 32 MB for the example project in all).
inline constexpr int64_t ProjectWindowDrawBytes = int64_t{96} << 20;

}  // namespace qira
