#pragma once
// Pixel checks of the scene-object tests: objects drawn unlit in red on the
// blue background of the 32 x 32 test scene, seen from +Z; world (x, y) on
// the z = 0 plane maps to pixels.
#include <array>

#include "platform/Rounding.h"
#include "support/SceneRenderSupport.h"

namespace qira::testing {

class TObjectPixelTest : public TUnlitSceneTest {
 protected:
  template <typename T>
  T& AddRed() {
    return AddColoured<T>(s_->scene->Objects(), {1, 0, 0, 1}, true);
  }

  // Pixels per unit at z = 0 for the test camera 30 units away.
  static constexpr float kScale = 16.0f * (50.0f * 2.0f * 96.0f / (25.4f * 32.0f)) / 15.0f;
  std::array<int, 3> At(float x, float y) const {
    return s_->Pixel(FloorToInt(kSightX + x * kScale), FloorToInt(kSightY + y * kScale));
  }
  bool Red(float x, float y) const { return Near(At(x, y), kRedRgb, 8); }
  bool Background(float x, float y) const { return Near(At(x, y), kBlueRgb, 8); }
};

}  // namespace qira::testing
