#pragma once
// The stored records written by the independent generator tests/fixtures/make_records.py,
// made once per test program into a temporary folder that is removed at exit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"

namespace qira {

class TRecordFixtures {
 public:
  static const TRecordFixtures& Get() {
    static TRecordFixtures fixtures;
    return fixtures;
  }

  bool Made() const { return made_; }

  std::vector<uint8_t> Bytes(const std::string& name) const {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ReadWholeFile((folder_ / name).string(), bytes, &error)) << name << ": " << error;
    return bytes;
  }

  ~TRecordFixtures() {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }

 private:
  TRecordFixtures() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qira-records-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return;
    folder_ = pattern;
    const std::string command = std::string(QIRA_PYTHON) + " '" + QIRA_FIXTURES_DIR +
                                "/make_records.py' '" + folder_.string() + "'";
    made_ = std::system(command.c_str()) == 0;
  }

  std::filesystem::path folder_;
  bool made_ = false;
};

inline std::vector<uint8_t> FixtureBytes(const std::string& name) {
  const TRecordFixtures& f = TRecordFixtures::Get();
  EXPECT_TRUE(f.Made()) << "the fixture generator failed";
  return f.Bytes(name);
}

}  // namespace qira
