#pragma once
// Binary fixtures written by one of the independent generators in tests/fixtures/
// (a Python script that takes the output folder as its only argument). Each
// generator runs once per test program, on first use, into a scratch folder that
// is removed at exit. A generator that fails makes every test using it fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "platform/BinaryStream.h"
#include "support/ScratchFolder.h"

namespace qira {

class TGeneratedFixtures {
 public:
  // The files of `generator`, e.g. "make_palette.py".
  static const TGeneratedFixtures& Of(const std::string& generator) {
    static std::map<std::string, std::unique_ptr<TGeneratedFixtures>> made;
    std::unique_ptr<TGeneratedFixtures>& slot = made[generator];
    if (!slot) slot.reset(new TGeneratedFixtures(generator));
    return *slot;
  }

  // The path of a generated file; a name the generator does not write gives the path
  // of a missing file.
  std::string File(const std::string& name) const {
    ExpectMade();
    return folder_.File(name);
  }

  // The whole content of a generated file; a file that cannot be read is a failure.
  std::string Bytes(const std::string& name) const {
    ExpectMade();
    std::ifstream in(folder_.File(name), std::ios::binary);
    EXPECT_TRUE(in.is_open()) << name;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // A generated file in a memory stream at position 0; an empty file is a failure.
  TMemoryStream Stream(const std::string& name) const {
    const std::string bytes = Bytes(name);
    EXPECT_FALSE(bytes.empty()) << name;
    return TMemoryStream(bytes.data(), bytes.size());
  }

 private:
  explicit TGeneratedFixtures(const std::string& generator)
      : command_(std::string(QIRA_PYTHON) + " '" + QIRA_FIXTURES_DIR + "/" + generator + "' '" +
                 folder_.Path() + "'") {
    made_ = std::system(command_.c_str()) == 0;
  }

  void ExpectMade() const { EXPECT_TRUE(made_) << "the fixture generator failed: " << command_; }

  TScratchFolder folder_;
  std::string command_;
  bool made_ = false;
};

}  // namespace qira
