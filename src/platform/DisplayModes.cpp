#include "platform/DisplayModes.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>

#include "platform/RandRModes.h"
#include "platform/Rounding.h"

namespace qira {

// ========================================================== TQtScreenModeSource

namespace {

QScreen* PrimaryScreen() { return qGuiApp != nullptr ? QGuiApplication::primaryScreen() : nullptr; }

bool SameMode(const TDisplayMode& asked, const TDisplayMode& current) {
  return current.Width > 0 && asked.Width == current.Width && asked.Height == current.Height &&
         asked.BitsPerPixel == current.BitsPerPixel &&
         (asked.Frequency == 0 || asked.Frequency == current.Frequency);
}

}  // namespace

TDisplayMode TQtScreenModeSource::CurrentMode() {
  TDisplayMode mode;
  QScreen* screen = PrimaryScreen();
  if (screen == nullptr) return mode;
  // The display's own pixels, not the scaled logical ones.
  const double ratio = screen->devicePixelRatio();
  mode.Width = RoundToInt(screen->geometry().width() * ratio);
  mode.Height = RoundToInt(screen->geometry().height() * ratio);
  // Bits per pixel as stored: a 24-bit colour depth keeps each pixel in 32 bits,
  // so the default full-screen depth of 32 finds the desktop mode.
  mode.BitsPerPixel = screen->depth() == 24 ? 32 : screen->depth();
  mode.Frequency = RoundToInt(screen->refreshRate());
  return mode;
}

bool TQtScreenModeSource::EnumMode(int32_t index, TDisplayMode& mode) {
  if (index != 0) return false;
  const TDisplayMode current = CurrentMode();
  if (current.Width <= 0) return false;
  mode = current;
  return true;
}

bool TQtScreenModeSource::TestMode(const TDisplayMode& mode) { return SameMode(mode, CurrentMode()); }

bool TQtScreenModeSource::ChangeMode(const TDisplayMode& mode) { return SameMode(mode, CurrentMode()); }

// ============================================================ TVideoModeTable

namespace {

struct TLowResMode {
  int32_t width, height;
};
constexpr TLowResMode kLowResModes[] = {{320, 200}, {400, 300}, {512, 384}};
constexpr int32_t kLowResDepths[] = {8, 15, 16, 24, 32};

// Whether a mode can be held in the table's 16-bit sizes and 8-bit depth.
bool FitsTable(const TDisplayMode& mode) {
  return mode.Width > 0 && mode.Width <= std::numeric_limits<uint16_t>::max() && mode.Height > 0 &&
         mode.Height <= std::numeric_limits<uint16_t>::max() && mode.BitsPerPixel > 0 &&
         mode.BitsPerPixel <= std::numeric_limits<uint8_t>::max();
}

// A refresh rate in the table's byte: negative ones count as unknown (0),
// higher ones than a byte holds as 255.
uint8_t FrequencyByte(int32_t frequency) { return static_cast<uint8_t>(std::clamp(frequency, 0, 255)); }

}  // namespace

TVideoModeTable::TVideoModeTable(std::unique_ptr<TDisplayModeSource> source) : source_(std::move(source)) {
  if (!source_) source_ = MakeDesktopModeSource();
  modes_.reserve(kMaxVideoModes);
}

TVideoModeTable::~TVideoModeTable() {
  if (currentVideoMode_ == 0) return;
  try {
    source_->RestoreMode();
  } catch (...) {
    // Nothing can be reported while the table goes.
  }
}

void TVideoModeTable::ReadVideoModes() {
  if (!modes_.empty()) return;
  const TDisplayMode desktop = source_->CurrentMode();
  TVideoMode entry;
  entry.Width = static_cast<uint16_t>(std::clamp<int32_t>(desktop.Width, 0, std::numeric_limits<uint16_t>::max()));
  entry.Height = static_cast<uint16_t>(std::clamp<int32_t>(desktop.Height, 0, std::numeric_limits<uint16_t>::max()));
  entry.ColorDepth = static_cast<uint8_t>(std::clamp<int32_t>(desktop.BitsPerPixel, 0, 255));
  entry.Description = "default";
  modes_.push_back(entry);

  TDisplayMode mode;
  for (int32_t i = 0; Count() < kMaxVideoModes && source_->EnumMode(i, mode); ++i) TryToAddToList(mode);

  TDisplayMode bogus;
  bogus.Width = 42;
  bogus.Height = 37;
  bogus.BitsPerPixel = 8;
  if (source_->TestMode(bogus)) return;
  for (const TLowResMode& size : kLowResModes) {
    for (int32_t depth : kLowResDepths) {
      if (Count() >= kMaxVideoModes) return;
      TDisplayMode low;
      low.Width = size.width;
      low.Height = size.height;
      low.BitsPerPixel = depth;
      TryToAddToList(low);
    }
  }
}

bool TVideoModeTable::TryToAddToList(const TDisplayMode& mode) {
  for (size_t i = 1; i < modes_.size(); ++i) {
    TVideoMode& entry = modes_[i];
    if (entry.ColorDepth == mode.BitsPerPixel && entry.Width == mode.Width && entry.Height == mode.Height) {
      const uint8_t frequency = FrequencyByte(mode.Frequency);
      if (frequency <= entry.MaxFrequency) return false;
      entry.MaxFrequency = frequency;
      return true;
    }
  }
  if (Count() >= kMaxVideoModes || !FitsTable(mode) || !source_->TestMode(mode)) return false;
  TVideoMode entry;
  entry.Width = static_cast<uint16_t>(mode.Width);
  entry.Height = static_cast<uint16_t>(mode.Height);
  entry.ColorDepth = static_cast<uint8_t>(mode.BitsPerPixel);
  entry.MaxFrequency = FrequencyByte(mode.Frequency);
  entry.Description = std::to_string(mode.Width) + " x " + std::to_string(mode.Height) + ", " +
                      std::to_string(mode.BitsPerPixel) + " bpp";
  modes_.push_back(std::move(entry));
  return true;
}

int32_t TVideoModeTable::GetIndexFromResolution(int32_t width, int32_t height, int32_t depth) {
  ReadVideoModes();
  int32_t best = 0;
  int64_t bestWidth = 9999, bestHeight = 9999, bestDepth = 99;
  for (int32_t i = 1; i < Count(); ++i) {
    const TVideoMode& entry = modes_[static_cast<size_t>(i)];
    const int64_t dw = int64_t{entry.Width} - width;
    const int64_t dh = int64_t{entry.Height} - height;
    const int64_t dd = int64_t{entry.ColorDepth} - depth;
    if (dw < 0 || dh < 0 || dd < 0) continue;
    if (dw <= bestWidth && dh <= bestHeight && dd <= bestDepth) {
      best = i;
      bestWidth = dw;
      bestHeight = dh;
      bestDepth = dd;
    }
  }
  return best;
}

bool TVideoModeTable::SetFullscreenMode(int32_t index, int32_t refreshRate) {
  ReadVideoModes();
  if (index < 0 || index >= Count()) return false;
  const TVideoMode& entry = modes_[static_cast<size_t>(index)];
  TDisplayMode mode;
  mode.Width = entry.Width;
  mode.Height = entry.Height;
  mode.BitsPerPixel = entry.ColorDepth;
  if (refreshRate > 0) mode.Frequency = std::min<int32_t>(refreshRate, entry.MaxFrequency);
  if (!source_->ChangeMode(mode)) return false;
  currentVideoMode_ = index;
  return true;
}

void TVideoModeTable::RestoreDefaultMode() {
  source_->RestoreMode();
  currentVideoMode_ = 0;
}

// ==================================================== the process-wide table

namespace {

std::unique_ptr<TVideoModeTable>& ProcessTable() {
  static std::unique_ptr<TVideoModeTable> table;
  return table;
}

}  // namespace

TVideoModeTable& VideoModes() {
  std::unique_ptr<TVideoModeTable>& table = ProcessTable();
  if (!table) table = std::make_unique<TVideoModeTable>(MakeDesktopModeSource());
  return *table;
}

void SetDisplayModeSource(std::unique_ptr<TDisplayModeSource> source) {
  std::unique_ptr<TVideoModeTable>& table = ProcessTable();
  table.reset();
  table = std::make_unique<TVideoModeTable>(std::move(source));
}

void ReadVideoModes() { VideoModes().ReadVideoModes(); }

int32_t GetIndexFromResolution(int32_t width, int32_t height, int32_t depth) {
  return VideoModes().GetIndexFromResolution(width, height, depth);
}

bool SetFullscreenMode(int32_t index, int32_t refreshRate) { return VideoModes().SetFullscreenMode(index, refreshRate); }

void RestoreDefaultMode() { VideoModes().RestoreDefaultMode(); }

}  // namespace qira
