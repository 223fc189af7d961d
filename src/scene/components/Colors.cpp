#include "scene/components/Colors.h"

#include "scene/components/VectorStoredForm.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/Rounding.h"

namespace qira {

namespace {

constexpr TColor Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | (g << 8) | (b << 16);
}

// Windows' default system colours, by COLOR_* index.
constexpr std::array<TColor, 31> kDefaultSystemColors = {
    Rgb(200, 200, 200),  // 0 scroll bar
    Rgb(0, 0, 0),        // 1 desktop background
    Rgb(153, 180, 209),  // 2 active caption
    Rgb(191, 205, 219),  // 3 inactive caption
    Rgb(240, 240, 240),  // 4 menu
    Rgb(255, 255, 255),  // 5 window
    Rgb(100, 100, 100),  // 6 window frame
    Rgb(0, 0, 0),        // 7 menu text
    Rgb(0, 0, 0),        // 8 window text
    Rgb(0, 0, 0),        // 9 caption text
    Rgb(180, 180, 180),  // 10 active border
    Rgb(244, 247, 252),  // 11 inactive border
    Rgb(171, 171, 171),  // 12 application workspace
    Rgb(0, 120, 215),    // 13 highlight
    Rgb(255, 255, 255),  // 14 highlight text
    Rgb(240, 240, 240),  // 15 button face
    Rgb(160, 160, 160),  // 16 button shadow
    Rgb(109, 109, 109),  // 17 grey text
    Rgb(0, 0, 0),        // 18 button text
    Rgb(0, 0, 0),        // 19 inactive caption text
    Rgb(255, 255, 255),  // 20 button highlight
    Rgb(105, 105, 105),  // 21 3D dark shadow
    Rgb(227, 227, 227),  // 22 3D light
    Rgb(0, 0, 0),        // 23 info text
    Rgb(255, 255, 225),  // 24 info background
    Rgb(0, 0, 0),        // 25 (unused)
    Rgb(0, 102, 204),    // 26 hot light
    Rgb(185, 209, 234),  // 27 gradient active caption
    Rgb(215, 228, 242),  // 28 gradient inactive caption
    Rgb(0, 120, 215),    // 29 menu highlight
    Rgb(240, 240, 240),  // 30 menu bar
};

std::function<TColor(std::uint8_t)>& Resolver() {
  static std::function<TColor(std::uint8_t)> resolver;
  return resolver;
}

std::uint8_t ChannelFromComponent(float component) {
  return static_cast<std::uint8_t>(std::clamp(RoundToInt(255.0 * static_cast<double>(component)), 0, 255));
}

}  // namespace

TColor SystemColor(std::uint8_t index) {
  if (const auto& resolver = Resolver()) return resolver(index) & 0x00FFFFFFu;
  return index < kDefaultSystemColors.size() ? kDefaultSystemColors[index] : 0u;
}

void SetSystemColorResolver(std::function<TColor(std::uint8_t)> resolver) {
  Resolver() = std::move(resolver);
}

TColor ResolveSystemColor(TColor color) {
  return IsSystemColor(color) ? SystemColor(static_cast<std::uint8_t>(color)) : color;
}

TVector ConvertWinColor(TColor color, float alpha) {
  const TColor rgb = ResolveSystemColor(color);
  constexpr double kInv255 = 1.0 / 255.0;
  return {static_cast<float>(GetRValue(rgb) * kInv255), static_cast<float>(GetGValue(rgb) * kInv255),
          static_cast<float>(GetBValue(rgb) * kInv255), alpha};
}

TColor ConvertColorVector(const TVector& color) {
  return Rgb(ChannelFromComponent(color.x), ChannelFromComponent(color.y),
             ChannelFromComponent(color.z));
}

// ---- TGLColor ----------------------------------------------------------------

TGLColor::TGLColor(TPersistent* owner) : TGLUpdateAbleObject(owner) {}

TGLColor::TGLColor(TPersistent* owner, const TVector& color, TNotifyEvent onChange)
    : TGLUpdateAbleObject(owner) {
  Initialize(color);
  OnNotifyChange = std::move(onChange);
}

void TGLColor::SetColor(const TVector& color) {
  color_ = color;
  NotifyChange(this);
}

void TGLColor::SetColorComponent(int index, float value) {
  if (index < 0 || index > 3) return;
  float& component = color_[static_cast<std::size_t>(index)];
  if (component == value) return;
  component = value;
  NotifyChange(this);
}

void TGLColor::SetAsWinColor(TColor color) {
  color_ = ConvertWinColor(color, 1.0f);
  NotifyChange(this);
}

void TGLColor::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TGLColor*>(source)) {
    color_ = other->color_;
    NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLColor::NotifyChange(TObject* sender) {
  (void)sender;
  if (Owner() == nullptr) return;
  if (auto* owner = dynamic_cast<IGLNotifyAble*>(Owner())) owner->NotifyChange(this);
  if (OnNotifyChange) OnNotifyChange(this);
}

std::array<std::uint8_t, 16> TGLColor::ColorData() const { return VectorToLittleEndian(color_); }

void TGLColor::SetColorData(const std::array<std::uint8_t, 16>& data) { color_ = VectorFromLittleEndian(data); }

void TGLColor::WriteData(TBinaryStream& stream) const { WriteVectorData(stream, color_); }

void TGLColor::ReadData(TBinaryStream& stream) { color_ = ReadVectorData(stream); }

void TGLColor::DefineProperties(TFiler& filer) { DefineVectorProperty(filer, "Color", color_); }

}  // namespace qira
