#pragma once
// What a sphere's draw sends (TGLSphere::BuildList). The draw runs its loops on these
// figures and the counts of what a sphere takes are made from them, so that a count
// follows what the draw really emits, at every tessellation.
#include <algorithm>
#include <cstdint>

namespace qira {

// A sphere of Slices x Stacks closing Caps of its openings (0 to 2): each stack a
// triangle strip of 2 x (Slices + 1) vertices, 2 x Slices triangles; each cap a fan of
// its centre and Slices + 1 vertices of its rim, Slices triangles. A strip repeats the
// row it shares with the next, so a sphere sends each inner row of its grid twice.
struct TSphereStrips {
  int64_t Slices = 1;
  int64_t Stacks = 1;
  int64_t Caps = 0;

  constexpr int64_t StripVertices() const { return 2 * (Slices + 1); }
  constexpr int64_t FanVertices() const { return Slices + 2; }
  constexpr int64_t Vertices() const { return Stacks * StripVertices() + Caps * FanVertices(); }
  constexpr int64_t Triangles() const { return Stacks * 2 * Slices + Caps * Slices; }
};

// Counts below 1 are drawn as 1, as TGLSphere's setters keep them.
constexpr TSphereStrips SphereStripsOf(int64_t slices, int64_t stacks, int64_t caps = 0) {
  return {std::max<int64_t>(slices, 1), std::max<int64_t>(stacks, 1), std::clamp<int64_t>(caps, 0, 2)};
}

}  // namespace qira
