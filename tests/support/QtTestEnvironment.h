#pragma once
// The test environment that makes the program's one Qt application before the
// first test: add it once per test file that needs widgets or fonts.
#include <gtest/gtest.h>

#include "support/TestApplication.h"

namespace qira {

class TQtTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { EnsureTestApplication(); }
};

}  // namespace qira
