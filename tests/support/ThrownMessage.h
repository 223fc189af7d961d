#pragma once
// Checks the text an exception carries, not only its type.
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

namespace qira {

// The what() of the E that `call` throws. Throwing nothing is a test failure (and
// gives ""); an exception of another type passes through to the test.
template <class E, class F>
std::string ThrownMessage(F&& call) {
  try {
    call();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "no " << typeid(E).name() << " thrown";
  return {};
}

}  // namespace qira
