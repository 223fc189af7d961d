#pragma once
// What the tests of the surface, points and lines objects share: the records written
// by tests/fixtures/make_surface_records.py, and reading records back through the
// type-id factory with the three kinds registered.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphRecord.h"
#include "model/GraphSurface.h"
#include "platform/BinaryStream.h"
#include "support/GeneratedFixtures.h"

namespace qira::surface_testing {

inline std::vector<uint8_t> SurfaceFixture(const std::string& name) {
  const std::string bytes = TGeneratedFixtures::Of("make_surface_records.py").Bytes(name);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

inline std::vector<uint8_t> SavedRecord(TGraphMain& object) {
  TMemoryStream s;
  EXPECT_TRUE(object.SaveToStream(s));
  return s.Data();
}

// Reads one record through the type-id factory; the whole stream must be used.
inline std::unique_ptr<TGraphMain> ReadRecord(const std::vector<uint8_t>& bytes) {
  RegisterSurfaceKinds();
  TMemoryStream s(bytes);
  std::unique_ptr<TGraphMain> object = CreateGraphObject(s);
  EXPECT_EQ(s.Position(), s.Size());
  return object;
}

// Reads a whole tree (a root group and its children) from a fixture.
inline TGraphLoadResult ReadFixtureTree(const std::string& fixture, TGraphMain& root) {
  RegisterSurfaceKinds();
  TMemoryStream s(SurfaceFixture(fixture));
  return LoadGraphTree(s, root);
}

}  // namespace qira::surface_testing
