#pragma once
// The stored records written by the independent generator tests/fixtures/make_records.py.
#include <cstdint>
#include <string>
#include <vector>

#include "model/GeologyList.h"
#include "support/GeneratedFixtures.h"

namespace qira {

inline std::vector<uint8_t> FixtureBytes(const std::string& name) {
  const std::string bytes = TGeneratedFixtures::Of("make_records.py").Bytes(name);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// The legend the generator writes as legend.bin and in front of its trees (its LEGEND).
inline TGeologyList SampleLegend() {
  TGeologyList legend;
  legend.FindOrAdd("Sand", "Sd", 0x0000FF);
  legend.FindOrAdd("Ton — grün", "Tn", 0x00FF00);
  legend.FindOrAdd("Kalkstein", "", 0x123456);
  legend.FindOrAdd("", "Ø", -1);
  return legend;
}

}  // namespace qira
