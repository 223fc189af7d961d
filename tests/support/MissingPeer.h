#pragma once
// What the machine lacks for a test: a skip on a developer's machine, a failure
// under CI (CI=true), where scripts/setup installs everything the tests need and a
// skip would hide a run that checked nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace qira {

inline bool RunningInCI() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

}  // namespace qira

// Ends the running test (or SetUp, or the void helper it stands in) as skipped, or
// as failed under CI; `message` is streamed like a gtest message.
#define QIRA_SKIP_OR_FAIL_IN_CI(message)         \
  do {                                           \
    if (::qira::RunningInCI()) {                 \
      GTEST_FAIL() << message << " (CI=true)";   \
    }                                            \
    GTEST_SKIP() << message;                     \
  } while (false)
