#pragma once
// What the polyline, planes and model file tests share: the records written by
// tests/fixtures/make_polyline.py, read back through the type-id factory with the
// polyline kinds registered.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphPolyline.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"
#include "support/GeneratedFixtures.h"

namespace qira::polyline_testing {

inline std::vector<uint8_t> PolylineFixture(const std::string& name) {
  const std::string bytes = TGeneratedFixtures::Of("make_polyline.py").Bytes(name);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

inline std::vector<uint8_t> Saved(TGraphMain& object) {
  TMemoryStream s;
  EXPECT_TRUE(object.SaveToStream(s));
  return s.Data();
}

// Reads one record through the type-id factory; the whole stream must be used.
inline std::unique_ptr<TGraphMain> ReadBack(const std::vector<uint8_t>& bytes) {
  RegisterPolylineKinds();
  TMemoryStream s(bytes);
  std::unique_ptr<TGraphMain> object = CreateGraphObject(s);
  EXPECT_EQ(s.Position(), s.Size());
  return object;
}

// Reads a whole tree (a root group and its children) from a fixture.
inline TGraphLoadResult ReadTree(const std::string& fixture, TGraphMain& root) {
  RegisterPolylineKinds();
  TMemoryStream s(PolylineFixture(fixture));
  return LoadGraphTree(s, root);
}

}  // namespace qira::polyline_testing
