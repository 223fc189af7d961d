#pragma once
// The rules by which a view window's keys and the cadencer's ticks spin the view;
// the handlers themselves are members of TForm3D (ViewNavigation.cpp).
namespace qira {

// Spin speeds set by the arrow keys stay within -kMaxSpinSpeed..kMaxSpinSpeed.
inline constexpr int kMaxSpinSpeed = 11;
// Degrees per second of cadencer time for each step of spin speed.
inline constexpr double kSpinDegreesPerStep = 10.0;
// Cadencer seconds without a mouse move after which the viewer hides the cursor.
inline constexpr double kCursorHideSeconds = 3.0;
// Wheel delta per unit of zoom: one notch (120) moves the camera 6 percent farther.
inline constexpr double kWheelZoomDivisor = 2000.0;
// Mouse pixels per unit of zoom in a Ctrl drag.
inline constexpr double kDragZoomDivisor = 500.0;

// One step up (Right / Down arrow) unless the speed is already above kMaxSpinSpeed - 1.
inline int RaiseSpinSpeed(int speed) { return speed > kMaxSpinSpeed - 1 ? speed : speed + 1; }
// One step down (Left / Up arrow) unless the speed is already below -(kMaxSpinSpeed - 1).
inline int LowerSpinSpeed(int speed) { return speed < -(kMaxSpinSpeed - 1) ? speed : speed - 1; }

}  // namespace qira
