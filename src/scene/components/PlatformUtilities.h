#pragma once
// The thin layer between the engine and the platform: colour packing, the
// screen's resolution and colour depth, bitmap rows, the high-resolution
// counter, operating-system errors and the sub-component test. The clock and
// the screen facts are injectable so that tests and headless runs do not
// depend on the machine.
#include <cstdint>
#include <functional>
#include <string>

#include "scene/components/Components.h"

class QImage;

namespace qira {

// An operating-system call failed: "OS Error : <the system's text>".
class EOSError : public Exception {
 public:
  using Exception::Exception;
};

// The platform colour value: red + green*256 + blue*65536, each argument cut
// to its low byte (a value outside 0..255 wraps; callers that want to clamp
// clamp first).
inline uint32_t RGB(int32_t red, int32_t green, int32_t blue) {
  return (static_cast<uint32_t>(red) & 0xFFu) | ((static_cast<uint32_t>(green) & 0xFFu) << 8) |
         ((static_cast<uint32_t>(blue) & 0xFFu) << 16);
}

// Raises EOSError for the calling thread's last error (errno).
[[noreturn]] void RaiseLastOSError();
// Raises EOSError for that error code.
[[noreturn]] void RaiseLastOSError(int errorCode);

// ---- screen facts

struct TScreenCaps {
  int32_t logicalPixelsX = 96;  // pixels per logical inch along the width
  int32_t logicalPixelsY = 96;  // along the height
  int32_t bitsPerPixel = 32;
  int32_t numColors = -1;  // -1 above 8 bits per pixel, as the platform reports
};

// The primary screen's facts (through Qt when a GUI application exists, else
// the defaults above), unless a provider was installed.
TScreenCaps GetScreenCaps();
// Installs the source of screen facts; an empty function restores the default.
void SetScreenCapsProvider(std::function<TScreenCaps()> provider);
int32_t GetDeviceLogicalPixelsX();
int32_t GetCurrentColorDepth();

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Device-dependent and custom formats: the screen's depth; 24-bit and anything
// else not listed: 24.
int32_t PixelFormatToColorBits(TPixelFormat format);

// Address of a row of the image's pixels; null for a row outside the image.
uint8_t* BitmapScanLine(QImage& bitmap, int32_t row);

// ---- high-resolution counter

// The counter behind QueryPerformanceCounter: ticks and ticks per second.
// The default is std::chrono::steady_clock in nanoseconds.
struct TPerformanceClock {
  std::function<int64_t()> counter;
  int64_t frequency = 0;  // 0: the system has no counter
};

// Installs a clock; a clock without counter function restores the default.
void SetPerformanceClock(TPerformanceClock clock);
void QueryPerformanceCounter(int64_t& counter);
// False (and 0) when the installed clock has no frequency.
bool QueryPerformanceFrequency(int64_t& frequency);
// Milliseconds of the same clock, wrapping at 2^32 as the platform's tick count does.
uint32_t GetTickCount();

// True when the component is marked as a sub-component of another.
inline bool IsSubComponent(const TComponent& component) { return component.IsSubComponent(); }

}  // namespace qira
