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
// What a frame takes in the renderer beside the objects it draws: a first draw of
// faces, lines or points, the rasterizer's bins of each element and of each change of
// state between objects, up to what the renderer holds of a frame.
// Measured 11 MB for 1,000 lines on layers taking turns, 43 MB for 1,000 faces, 60 to
// 77 MB from 10,000 elements up (it varies with the rasterizer's threads).
constexpr int64_t FrameDrawBytes(int64_t elements) {
  return elements <= 0 ? 0 : std::min<int64_t>((int64_t{40} << 20) + elements * 4096, int64_t{80} << 20);
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
