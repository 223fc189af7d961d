#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/BinaryStream.h"
#include "scene/components/Coordinates.h"
#include "support/CountingComponent.h"

namespace qira {
namespace {

// Stands for a scene object: told through CoordinateChanged only.
class CoordinateOwner : public TGLCoordinatesUpdateAbleComponent {
 public:
  void CoordinateChanged(TGLCustomCoordinates* sender) override {
    ++changed;
    lastSender = sender;
  }
  void NotifyChange(TObject*) override { ++notified; }
  int changed = 0;
  int notified = 0;
  TGLCustomCoordinates* lastSender = nullptr;
};

void ExpectVector(const TVector& v, float x, float y, float z, float w) {
  EXPECT_EQ(v.x, x);
  EXPECT_EQ(v.y, y);
  EXPECT_EQ(v.z, z);
  EXPECT_EQ(v.w, w);
}

TEST(Coordinates, SetAsVectorFollowsTheStyle) {
  const struct {
    TGLCoordinatesStyle style;
    TVector expected;
  } cases[] = {
      {TGLCoordinatesStyle::cstPlane, {1, 2, 0, 0}},
      {TGLCoordinatesStyle::cstPoint, {1, 2, 3, 1}},
      {TGLCoordinatesStyle::cstVector, {1, 2, 3, 0}},
  };
  for (const auto& c : cases) {
    TGLCoordinates4 coords(nullptr, {0, 0, 0, 0}, c.style);
    coords.SetAsVector({1, 2, 3, 5});
    ExpectVector(coords.AsVector(), c.expected.x, c.expected.y, c.expected.z, c.expected.w);
  }
}

TEST(Coordinates, SettingTheStoredValueAgainStillNotifies) {
  // Unlike the colour components, coordinate setters do not compare.
  TCountingComponent owner;
  TGLCoordinates3 coords(&owner, {1, 2, 3, 1}, TGLCoordinatesStyle::cstPoint);
  coords.SetCoordinate(0, 1.0f);
  coords.SetPoint(1, 2, 3);
  EXPECT_EQ(owner.notified, 2);
}

TEST(Coordinates, QuietSettersAndAssignDoNotNotify) {
  TCountingComponent owner;
  TGLCoordinates3 coords(&owner);
  coords.Initialize({1, 2, 3, 4});
  coords.SetDirectVector({5, 6, 7, 8});
  TGLCoordinates2 source(nullptr, {9, 8, 7, 6}, TGLCoordinatesStyle::cstVector);
  coords.Assign(&source);
  EXPECT_EQ(owner.notified, 0);
  ExpectVector(coords.AsVector(), 9, 8, 7, 6);
}

TEST(Coordinates, ASceneObjectOwnerIsToldOnlyThroughCoordinateChanged) {
  CoordinateOwner owner;
  TGLCoordinates3 position(&owner);
  int events = 0;
  position.OnNotifyChange = [&](TObject*) { ++events; };
  position.SetPoint(1, 2, 3);
  EXPECT_EQ(owner.changed, 1);
  EXPECT_EQ(owner.lastSender, &position);
  EXPECT_EQ(owner.notified, 0);
  EXPECT_EQ(events, 0);
}

TEST(Coordinates, StoredFormIsSixteenLittleEndianBytesReadQuietly) {
  TGLCoordinates3 coords(nullptr, {1.0f, -2.0f, 0.5f, 1.0f}, TGLCoordinatesStyle::cstPoint);
  TMemoryStream stream;
  coords.WriteData(stream);
  const std::vector<uint8_t> expected = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0,
                                         0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3F};
  EXPECT_EQ(stream.Data(), expected);
  CoordinateOwner owner;
  TGLCoordinates3 copy(&owner);
  stream.Seek(0);
  copy.ReadData(stream);
  EXPECT_EQ(owner.changed, 0);
  ExpectVector(copy.AsVector(), 1.0f, -2.0f, 0.5f, 1.0f);
  TMemoryStream cut(std::vector<uint8_t>(expected.begin(), expected.begin() + 8));
  EXPECT_THROW(copy.ReadData(cut), EReadError);
  ExpectVector(copy.AsVector(), 1.0f, -2.0f, 0.5f, 1.0f);
}

}  // namespace
}  // namespace qira
