#pragma once
// The record a view window hands to every scene object of its tree: the model
// offset, the window's engine nodes and the survey-to-scene conversion.
//
// Survey points are (X, Y, Z) = (North, East, Elevation); the scene is y-up with
// x = North, y = Elevation, z = East. The model offset is kept in scene order.
#include <array>
#include <cmath>
#include <functional>
#include <limits>

#include "model/SurveyPoint.h"
#include "scene/math/VectorTypes.h"

namespace qira {

// Engine nodes; the scene objects only pass them on.
class TGLDummyCube;
class TGLWindowsBitmapFont;

// Survey point -> ModelCube-local scene coordinates: x = X - offset x - cube x,
// y = Z - offset y - cube y, z = Y - offset z - cube z.
inline TAffineVector SurveyToScene(const std::array<double, 3>& modelOffset,
                                   const std::array<double, 3>& modelCubePosition, double x,
                                   double y, double z) {
  return {static_cast<float>(x - modelOffset[0] - modelCubePosition[0]),
          static_cast<float>(z - modelOffset[1] - modelCubePosition[1]),
          static_cast<float>(y - modelOffset[2] - modelCubePosition[2])};
}

// True when the scene's floats hold `v` (finite, within a float's range): a place
// beyond would put what stands there at infinity, then nowhere.
inline bool SceneCanPlace(double v) { return std::fabs(v) <= std::numeric_limits<float>::max(); }

struct TSceneContext {
  // Scene order: x = survey X, y = survey Z, z = survey Y. Starts at (0, 0, 0).
  std::array<double, 3> ModelOffset{0, 0, 0};
  // The offset the objects' places were measured from, ModelCube's local origin in
  // the survey (scene order): ModelCube stands at PlacedOffset - ModelOffset, taken
  // from the two each time the offset moves, so no step of it is lost to a float.
  std::array<double, 3> PlacedOffset{0, 0, 0};
  TGLDummyCube* CenterCube = nullptr;
  TGLDummyCube* AxisCube = nullptr;
  TGLDummyCube* ModelCube = nullptr;  // parent of every scene object's nodes
  TGLWindowsBitmapFont* BitmapFont = nullptr;
  // Bound by the window to its conversion (which also knows where ModelCube stands).
  std::function<TAffineVector(double x, double y, double z)> ToSceneMethod;

  // The window's conversion; while none is bound, ModelCube counts as standing at the origin.
  TAffineVector ToScene(double x, double y, double z) const {
    if (ToSceneMethod) return ToSceneMethod(x, y, z);
    return SurveyToScene(ModelOffset, {0, 0, 0}, x, y, z);
  }
  TAffineVector ToScene(const TSurveyPoint& p) const { return ToScene(p.X, p.Y, p.Z); }
};

}  // namespace qira
