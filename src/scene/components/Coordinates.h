#pragma once
// A property object holding one homogeneous vector (a position, direction, up
// vector, scale or texture offset) that tells its owner when it changes.
// Scene objects hold several; their owner interface turns a change into a
// recomputation of the object's matrix.
//
// Stored form: the binary property "Coordinates", the 16 bytes x, y, z, w as
// little-endian IEEE singles; X, Y, Z, W are not stored.
#include <array>
#include <cstdint>
#include <memory>
#include <utility>

#include "scene/components/UpdateAbleObjects.h"
#include "scene/math/VectorTypes.h"

namespace qira {

class TBinaryStream;
class TGLCustomCoordinates;

// The coordinates-change interface: an owner that offers it is told of a
// change only through CoordinateChanged.
class IGLCoordinatesUpdateAble {
 public:
  virtual void CoordinateChanged(TGLCustomCoordinates* sender) = 0;

 protected:
  ~IGLCoordinatesUpdateAble() = default;
};

// The base of components that own coordinates (the engine's scene objects).
class TGLCoordinatesUpdateAbleComponent : public TGLUpdateAbleComponent, public IGLCoordinatesUpdateAble {
  QIRA_CLASS(TGLCoordinatesUpdateAbleComponent, TGLUpdateAbleComponent)

  TGLCoordinatesUpdateAbleComponent() = default;
};

// Only governs SetAsVector.
enum class TGLCoordinatesStyle : uint8_t { cstPlane = 0, cstPoint = 1, cstVector = 2 };

class TGLCustomCoordinates : public TGLUpdateAbleObject {
  QIRA_CLASS(TGLCustomCoordinates, TGLUpdateAbleObject)

  explicit TGLCustomCoordinates(TPersistent* owner = nullptr) : TGLUpdateAbleObject(owner) {}
  TGLCustomCoordinates(TPersistent* owner, const TVector& value, TGLCoordinatesStyle style)
      : TGLUpdateAbleObject(owner), coords_(value), style_(style) {}

  TGLCoordinatesStyle Style() const { return style_; }
  void SetStyle(TGLCoordinatesStyle style) { style_ = style; }

  // ---- setters that do not notify
  void Initialize(const TVector& value) { coords_ = value; }
  void SetDirectVector(const TVector& value) { coords_ = value; }
  // From any TGLCustomCoordinates: copies x, y, z, w without notification (the
  // owner refreshes itself after assigning). Otherwise TPersistent's rules.
  void Assign(const TPersistent* source) override;

  // ---- setters that notify, even when the value is unchanged
  // Component 0 x .. 3 w; another index changes nothing.
  void SetCoordinate(int index, float value);
  // (x, y, z, 0)
  void SetVector(float x, float y, float z);
  void SetVector(float x, float y, float z, float w);
  // (x, y, z, 1)
  void SetPoint(float x, float y, float z);
  void SetAffinePoint(const TAffineVector& v);
  // Stores v, then by style: plane z := w := 0; point w := 1; vector w := 0.
  void SetAsVector(const TVector& v);
  void Translate(const TAffineVector& v);
  // x, y, z to unit length, w := 0.
  void Normalize();

  // ---- reading
  const TVector& AsVector() const { return coords_; }
  TAffineVector AsAffineVector() const { return {coords_.x, coords_.y, coords_.z}; }
  TAffineVector GetAsAffineVector() const { return AsAffineVector(); }
  float VectorLength() const;
  // Bit-for-bit over all four components.
  bool Equals(const TVector& v) const;
  const float* AsAddress() const { return coords_.data(); }
  float X() const { return coords_.x; }
  float Y() const { return coords_.y; }
  float Z() const { return coords_.z; }
  float W() const { return coords_.w; }

  // When the owner offers the coordinates-change interface, only its
  // CoordinateChanged(this) runs (no change event). Otherwise the base
  // protocol: the owner by class, then OnNotifyChange.
  void NotifyChange(TObject* sender) override;

  // ---- stored form
  std::array<std::uint8_t, 16> CoordinatesData() const;
  // Stores the 16 bytes without notification.
  void SetCoordinatesData(const std::array<std::uint8_t, 16>& data);
  // EWriteError / EReadError "Stream read error" (nothing changed) on failure.
  void WriteData(TBinaryStream& stream) const;
  void ReadData(TBinaryStream& stream);
  // The binary property "Coordinates", always written; a block that is not 16
  // bytes of finite floats is refused (EReadError) and changes nothing.
  void DefineProperties(TFiler& filer) override;

 protected:
  TVector coords_{0.0f, 0.0f, 0.0f, 0.0f};
  TGLCoordinatesStyle style_ = TGLCoordinatesStyle::cstPlane;
};

class TGLCoordinates2 : public TGLCustomCoordinates {
  QIRA_CLASS(TGLCoordinates2, TGLCustomCoordinates)

  using TGLCustomCoordinates::TGLCustomCoordinates;
  void SetX(float value) { SetCoordinate(0, value); }
  void SetY(float value) { SetCoordinate(1, value); }
};

class TGLCoordinates3 : public TGLCustomCoordinates {
  QIRA_CLASS(TGLCoordinates3, TGLCustomCoordinates)

  using TGLCustomCoordinates::TGLCustomCoordinates;
  void SetX(float value) { SetCoordinate(0, value); }
  void SetY(float value) { SetCoordinate(1, value); }
  void SetZ(float value) { SetCoordinate(2, value); }
};

class TGLCoordinates4 : public TGLCustomCoordinates {
  QIRA_CLASS(TGLCoordinates4, TGLCustomCoordinates)

  using TGLCustomCoordinates::TGLCustomCoordinates;
  void SetX(float value) { SetCoordinate(0, value); }
  void SetY(float value) { SetCoordinate(1, value); }
  void SetZ(float value) { SetCoordinate(2, value); }
  void SetW(float value) { SetCoordinate(3, value); }
};

// Coordinates of class T made with `owner`, `value` and `style`, without notification.
template <class T>
std::unique_ptr<T> CreateInitialized(TPersistent* owner, const TVector& value, TGLCoordinatesStyle style) {
  return std::make_unique<T>(owner, value, style);
}

// Registers TGLCoordinates2, TGLCoordinates3 and TGLCoordinates4 with the class registry.
void RegisterCoordinatesClasses();

}  // namespace qira
