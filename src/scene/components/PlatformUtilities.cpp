#include "scene/components/PlatformUtilities.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/Rounding.h"

namespace qira {

void RaiseLastOSError() { RaiseLastOSError(errno); }

void RaiseLastOSError(int errorCode) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(errorCode, buffer, sizeof buffer);
  throw EOSError(std::string("OS Error : ") + (text != nullptr ? text : buffer));
}

// ---- screen facts

namespace {

std::mutex screenLock;
std::function<TScreenCaps()> screenProvider;

TScreenCaps QtScreenCaps() {
  TScreenCaps caps;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return caps;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return caps;
  caps.logicalPixelsX = RoundToInt(screen->logicalDotsPerInchX());
  caps.logicalPixelsY = RoundToInt(screen->logicalDotsPerInchY());
  caps.bitsPerPixel = screen->depth();
  caps.numColors = caps.bitsPerPixel <= 8 ? (1 << caps.bitsPerPixel) : -1;
  return caps;
}

}  // namespace

TScreenCaps GetScreenCaps() {
  std::function<TScreenCaps()> provider;
  {
    std::lock_guard<std::mutex> guard(screenLock);
    provider = screenProvider;
  }
  return provider ? provider() : QtScreenCaps();
}

void SetScreenCapsProvider(std::function<TScreenCaps()> provider) {
  std::lock_guard<std::mutex> guard(screenLock);
  screenProvider = std::move(provider);
}

int32_t GetDeviceLogicalPixelsX() { return GetScreenCaps().logicalPixelsX; }

int32_t GetCurrentColorDepth() { return GetScreenCaps().bitsPerPixel; }

int32_t PixelFormatToColorBits(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pfDevice:
    case TPixelFormat::pfCustom:
      return GetCurrentColorDepth();
    case TPixelFormat::pf1bit:
      return 1;
    case TPixelFormat::pf4bit:
      return 4;
    case TPixelFormat::pf8bit:
      return 8;
    case TPixelFormat::pf15bit:
      return 15;
    case TPixelFormat::pf16bit:
      return 16;
    case TPixelFormat::pf32bit:
      return 32;
    case TPixelFormat::pf24bit:
    default:
      return 24;
  }
}

uint8_t* BitmapScanLine(QImage& bitmap, int32_t row) {
  if (row < 0 || row >= bitmap.height()) return nullptr;
  return bitmap.scanLine(row);
}

// ---- high-resolution counter

namespace {

std::mutex clockLock;
TPerformanceClock installedClock;

TPerformanceClock CurrentClock() {
  std::lock_guard<std::mutex> guard(clockLock);
  if (installedClock.counter) return installedClock;
  TPerformanceClock steady;
  steady.counter = [] {
    return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count());
  };
  steady.frequency = 1000000000;
  return steady;
}

}  // namespace

void SetPerformanceClock(TPerformanceClock clock) {
  std::lock_guard<std::mutex> guard(clockLock);
  installedClock = std::move(clock);
}

void QueryPerformanceCounter(int64_t& counter) { counter = CurrentClock().counter(); }

bool QueryPerformanceFrequency(int64_t& frequency) {
  frequency = CurrentClock().frequency;
  if (frequency <= 0) {
    frequency = 0;
    return false;
  }
  return true;
}

uint32_t GetTickCount() {
  const TPerformanceClock clock = CurrentClock();
  if (clock.frequency <= 0) return 0;
  const int64_t ticks = clock.counter();
  // Split so that ticks * 1000 is never formed; the milliseconds wrap, so they
  // are summed in unsigned arithmetic (a signed overflow would be undefined).
  const int64_t seconds = ticks / clock.frequency;
  const int64_t rest = ticks % clock.frequency;
  const auto restMs = static_cast<int64_t>(static_cast<__int128>(rest) * 1000 / clock.frequency);
  const uint64_t ms = static_cast<uint64_t>(seconds) * 1000u + static_cast<uint64_t>(restMs);
  return static_cast<uint32_t>(ms);
}

}  // namespace qira
