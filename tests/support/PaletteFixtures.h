#pragma once
// The palette chunks, value tables and drawing-parameter chunks written by the
// independent generator tests/fixtures/make_palette.py. Every file except the
// deliberately cut ones ends with an int32 sentinel behind its record, so a test
// can see where a reader stopped.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/BinaryStream.h"
#include "support/GeneratedFixtures.h"

namespace qira {

class TPaletteFixtures : public ::testing::Test {
 protected:
  static constexpr uint32_t kSentinel = 0x5A5A5A5A;

  static std::string Bytes(const std::string& name) { return Files().Bytes(name); }
  static TMemoryStream Fixture(const std::string& name) { return Files().Stream(name); }
  // The uint32 at the stream's position: kSentinel where a reader stopped at its
  // record's end.
  static uint32_t Sentinel(TBinaryStream& s) {
    uint32_t v = 0;
    EXPECT_TRUE(s.ReadUInt32(v));
    return v;
  }

 private:
  static const TGeneratedFixtures& Files() { return TGeneratedFixtures::Of("make_palette.py"); }
};

}  // namespace qira
