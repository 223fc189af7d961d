#pragma once
// What the project file and main frame tests share: the generated project fixtures,
// a copy of one with another chunk version, the bundled example and a one-line
// picture of a scene object tree.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model/GraphMain.h"
#include "support/GeneratedFixtures.h"
#include "support/ScratchFolder.h"

namespace qira::project_testing {

inline const TGeneratedFixtures& Projects() { return TGeneratedFixtures::Of("make_projects.py"); }

// The bytes of a project with the int32 chunk version at offset 13 replaced.
inline std::string WithVersion(std::string bytes, int32_t version) {
  EXPECT_GE(bytes.size(), 17u);
  if (bytes.size() < 17) return bytes;
  const uint32_t v = static_cast<uint32_t>(version);
  for (int i = 0; i < 4; ++i) bytes[13 + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return bytes;
}

// Runs the example generator into folder; true when it succeeded.
inline bool MakeExample(const std::string& folder) {
  const std::string command = std::string(QIRA_PYTHON) + " '" + QIRA_FIXTURES_DIR +
                              "/../../examples/make_example.py' '" + folder + "'";
  return std::system(command.c_str()) == 0;
}

inline std::string BundledExamplePath() { return std::string(QIRA_FIXTURES_DIR) + "/../../examples/Example.q3d"; }

// name, a '-' when hidden, then the children in braces: "a{b -c{}}".
inline std::string Describe(const TGraphMain& object) {
  std::string out = (object.Visible() ? "" : "-") + object.Name();
  if (object.ChildCount() == 0) return out;
  out += "{";
  for (int i = 0; i < object.ChildCount(); ++i) {
    if (i > 0) out += " ";
    out += Describe(*object.GetChild(i));
  }
  return out + "}";
}

}  // namespace qira::project_testing
