#include "scene/components/Coordinates.h"

#include "scene/math/VectorGeometry.h"
#include "scene/components/VectorStoredForm.h"

namespace qira {

void TGLCustomCoordinates::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TGLCustomCoordinates*>(source)) {
    coords_ = other->coords_;
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLCustomCoordinates::SetCoordinate(int index, float value) {
  if (index < 0 || index > 3) return;
  coords_[static_cast<std::size_t>(index)] = value;
  NotifyChange(this);
}

void TGLCustomCoordinates::SetVector(float x, float y, float z) { SetVector(x, y, z, 0.0f); }

void TGLCustomCoordinates::SetVector(float x, float y, float z, float w) {
  coords_ = {x, y, z, w};
  NotifyChange(this);
}

void TGLCustomCoordinates::SetPoint(float x, float y, float z) { SetVector(x, y, z, 1.0f); }

void TGLCustomCoordinates::SetAffinePoint(const TAffineVector& v) { SetVector(v.x, v.y, v.z, 1.0f); }

void TGLCustomCoordinates::SetAsVector(const TVector& v) {
  coords_ = v;
  switch (style_) {
    case TGLCoordinatesStyle::cstPlane:
      coords_.z = 0.0f;
      coords_.w = 0.0f;
      break;
    case TGLCoordinatesStyle::cstPoint:
      coords_.w = 1.0f;
      break;
    case TGLCoordinatesStyle::cstVector:
      coords_.w = 0.0f;
      break;
  }
  NotifyChange(this);
}

void TGLCustomCoordinates::Translate(const TAffineVector& v) {
  coords_.x += v.x;
  coords_.y += v.y;
  coords_.z += v.z;
  NotifyChange(this);
}

void TGLCustomCoordinates::Normalize() {
  NormalizeVector(coords_);
  NotifyChange(this);
}

float TGLCustomCoordinates::VectorLength() const { return AffineVectorLength(coords_); }

bool TGLCustomCoordinates::Equals(const TVector& v) const { return VectorEquals(coords_, v); }

void TGLCustomCoordinates::NotifyChange(TObject* sender) {
  if (auto* owner = dynamic_cast<IGLCoordinatesUpdateAble*>(Owner())) {
    owner->CoordinateChanged(this);
    return;
  }
  TGLUpdateAbleObject::NotifyChange(sender);
}

std::array<std::uint8_t, 16> TGLCustomCoordinates::CoordinatesData() const { return VectorToLittleEndian(coords_); }

void TGLCustomCoordinates::SetCoordinatesData(const std::array<std::uint8_t, 16>& data) {
  coords_ = VectorFromLittleEndian(data);
}

void TGLCustomCoordinates::WriteData(TBinaryStream& stream) const { WriteVectorData(stream, coords_); }

void TGLCustomCoordinates::ReadData(TBinaryStream& stream) { coords_ = ReadVectorData(stream); }

void RegisterCoordinatesClasses() {
  RegisterClass(TGLCoordinates2::StaticClass());
  RegisterClass(TGLCoordinates3::StaticClass());
  RegisterClass(TGLCoordinates4::StaticClass());
}

void TGLCustomCoordinates::DefineProperties(TFiler& filer) { DefineVectorProperty(filer, "Coordinates", coords_); }

}  // namespace qira
