#pragma once
// The test environment that makes the program's one Qt application before the
// first test: including this header is enough; the registration happens once per
// test program however many of its files include it.
#include <gtest/gtest.h>

#include "support/TestApplication.h"

namespace qira {

class TQtTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { EnsureTestApplication(); }
};

inline ::testing::Environment* const kQtTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtTestEnvironment);

}  // namespace qira
