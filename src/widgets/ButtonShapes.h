#pragma once
// The shapes of the shaped button as polygons, and the regions a shape turns into:
// the outline of each kind in face coordinates, its rim and focus outlines, the
// turn by the button's angle, the lit and shaded rim bands, and the shift of the
// control that keeps the rotation centre in place while the face turns.
#include <cstdint>
#include <optional>

#include "platform/CanvasTypes.h"
#include "widgets/RegionRotation.h"

namespace qira {

enum TShapedButtonKind : uint8_t {
  bkRect, bkRoundRect, bkElliptic, bkPoly, bkPolyStar, bkArc, bkDonut, bkUser,
  bkArrow, bkArrow1, bkArrow2, bkCross, bkCutRect, bkCross1, bkOval
};
enum TIA3DKind : uint8_t { dk3D, dkFlatten, dk3dsimple, dkFlattenSimple, dk3dBorder, dk3dBorderFlatten, dkNone };

// What an outline is made from. Width and Height are the unrotated face
// (ButtonWidth, ButtonHeight), Depth the rim width (ButtonDepth).
struct TShapeParams {
  TShapedButtonKind Kind = bkRect;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Depth = 2;
  int32_t PeaksNumber = 6;
  double RadiusRatio = 0.5;
  double ArcAngle = 2.0943951023931957;
  // The traced user region and its bounding box (left, top, width, height) when it
  // was traced; null: none.
  const TPolygonSet* User = nullptr;
  int32_t UserLeft = 0;
  int32_t UserTop = 0;
  int32_t UserWidth = 0;
  int32_t UserHeight = 0;
};

struct TShapeOutline {
  TPolygonSet Set;
  // An arc band sets its own face height; otherwise nothing.
  std::optional<int32_t> ArcHeight;
};

// The outline of a kind (one polygon at level 0 unless the kind has a hole).
TShapeOutline ButtonOutline(const TShapeParams& params);

// The box a face of w × h takes when turned by angle tenths of a degree:
// round(|cos a|·w + |sin a|·h) × round(|sin a|·w + |cos a|·h).
TSize RotatedExtent(int32_t w, int32_t h, int32_t angle);

// How far the control moves so that the rotation centre (cx, cy) of a w × h face
// keeps its place on the parent while the face turns from angle − step to angle.
TPoint RotationShift(int32_t w, int32_t h, int32_t cx, int32_t cy, int32_t angle, int32_t step);

// The regions of a shape. Every one is absent when its outline has no polygon.
struct TButtonRegions {
  std::optional<TRegion> Window;
  std::optional<TRegion> OutlineFrame;
  std::optional<TRegion> InnerFrame;
  std::optional<TRegion> FocusFrame;
  std::optional<TRegion> LightRim;
  std::optional<TRegion> DarkRim;
  std::optional<TRegion> InnerLight;
  std::optional<TRegion> InnerDark;
};

// Rim, inner border and focus outlines derived from outline (insets by depth), all
// turned by angle about the face centre (w div 2, h div 2) and moved into the middle
// of a control of storedW × storedH; then split into bands and made regions.
TButtonRegions BuildShapeRegions(const TPolygonSet& outline, TIA3DKind kind, int32_t depth, int32_t w, int32_t h,
                                 int32_t angle, int32_t storedW, int32_t storedH);

// A list of quadrilaterals (or any polygons) as one region under the alternate rule.
TRegion BandRegion(const Tpoints& points, const Tintegers& counts);

}  // namespace qira
