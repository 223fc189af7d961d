#pragma once
// The engine's colour value and its conversions to and from the 32-bit colour
// values of the user interface.
//
// A colour vector is a `TVector` read as red, green, blue, alpha (each 0..1,
// alpha 1 opaque). A Windows colour value holds red in bits 0-7, green in 8-15,
// blue in 16-23; a value whose top byte is 0xFF names a system colour by the
// index in its low byte and is resolved through the system colour table first.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "platform/CanvasTypes.h"
#include "scene/components/UpdateAbleObjects.h"
#include "scene/math/VectorTypes.h"

namespace qira {

// ---- Windows colour values ---------------------------------------------------

// Top byte of a value naming a system colour.
inline constexpr TColor cSystemColorTag = 0xFF000000u;

constexpr std::uint8_t GetRValue(TColor color) { return static_cast<std::uint8_t>(color); }
constexpr std::uint8_t GetGValue(TColor color) { return static_cast<std::uint8_t>(color >> 8); }
constexpr std::uint8_t GetBValue(TColor color) { return static_cast<std::uint8_t>(color >> 16); }

constexpr bool IsSystemColor(TColor color) { return (color & 0xFF000000u) == cSystemColorTag; }

// The current value of system colour `index` (the Windows COLOR_* numbering:
// 5 window, 8 window text, 15 button face, ...). Until a resolver is installed
// the table holds the Windows defaults; an unknown index gives black.
TColor SystemColor(std::uint8_t index);

// Replaces the source of system colours (the user interface installs one that
// reads the desktop palette). An empty function restores the default table.
void SetSystemColorResolver(std::function<TColor(std::uint8_t)> resolver);

// A value naming a system colour becomes that colour; any other value is
// returned unchanged (its top byte kept).
TColor ResolveSystemColor(TColor color);

// ---- Conversions -------------------------------------------------------------

// Windows colour value -> colour vector: each channel byte / 255 (computed in
// double, stored as float), alpha as given. System colours are resolved first.
TVector ConvertWinColor(TColor color, float alpha = 1.0f);

// Colour vector -> Windows colour value; alpha is ignored. Each channel is
// 255 * component rounded to nearest (halves to even: 0.5 gives 128) and then
// clamped to 0..255, so an out-of-range component saturates (1.2 gives 255)
// rather than wrapping to its low byte; NaN gives 0.
TColor ConvertColorVector(const TVector& color);

// ---- TGLColor ----------------------------------------------------------------

// A colour property of a component or of another property object. Its setters
// tell the owner (and then OnNotifyChange); without an owner a change is silent.
// Stored form: the binary property "Color", the 16 bytes of red, green, blue,
// alpha as little-endian IEEE singles; Red/Green/Blue/Alpha are not stored.
class TGLColor : public TGLUpdateAbleObject {
  QIRA_CLASS(TGLColor, TGLUpdateAbleObject)

  // Opaque black.
  explicit TGLColor(TPersistent* owner = nullptr);
  // Initialize(color), then the change event.
  TGLColor(TPersistent* owner, const TVector& color, TNotifyEvent onChange = {});
  static std::unique_ptr<TGLColor> CreateInitialized(TPersistent* owner, const TVector& color,
                                                     TNotifyEvent onChange = {}) {
    return std::make_unique<TGLColor>(owner, color, std::move(onChange));
  }

  // Stores the colour; no notification.
  void Initialize(const TVector& color) { color_ = color; }
  // Stores the colour and notifies, even when it is unchanged.
  void SetColor(const TVector& color);
  // Stores the colour without notification.
  void SetDirectColor(const TVector& color) { color_ = color; }
  const TVector& Color() const { return color_; }
  // Stores a component (0 red .. 3 alpha) and notifies, only when it differs.
  void SetColorComponent(int index, float value);

  float Red() const { return color_.x; }
  float Green() const { return color_.y; }
  float Blue() const { return color_.z; }
  float Alpha() const { return color_.w; }
  void SetRed(float value) { SetColorComponent(0, value); }
  void SetGreen(float value) { SetColorComponent(1, value); }
  void SetBlue(float value) { SetColorComponent(2, value); }
  void SetAlpha(float value) { SetColorComponent(3, value); }

  // ConvertWinColor(color, 1), then notifies (no comparison).
  void SetAsWinColor(TColor color);
  TColor GetAsWinColor() const { return ConvertColorVector(color_); }
  // The four floats, for OpenGL calls that take a colour array.
  const float* GetColorAddress() const { return color_.data(); }

  // From a TGLColor: copies the four components and notifies. Otherwise
  // TPersistent's rules.
  void Assign(const TPersistent* source) override;

  // Without owner: nothing. Otherwise the owner, when it takes change
  // notifications, is told once with this colour as sender; then OnNotifyChange.
  void NotifyChange(TObject* sender) override;

  // The "Color" property data: 16 bytes.
  std::array<std::uint8_t, 16> ColorData() const;
  // Stores 16 bytes of "Color" data without notification.
  void SetColorData(const std::array<std::uint8_t, 16>& data);
  // Writes / reads the "Color" data on a stream; a read with fewer than 16
  // bytes left raises EReadError "Stream read error" and changes nothing.
  void WriteData(TBinaryStream& stream) const;
  void ReadData(TBinaryStream& stream);
  // The binary property "Color", always written; a block that is not 16
  // bytes of finite floats is refused (EReadError) and changes nothing.
  void DefineProperties(TFiler& filer) override;

 private:
  TVector color_{0.0f, 0.0f, 0.0f, 1.0f};
};

}  // namespace qira
