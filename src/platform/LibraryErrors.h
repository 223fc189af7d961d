#pragma once
// The general exceptions of the class library that every layer raises: one class
// each, so a unit that sees the engine, the model and the workbook writer at once
// catches one EConvertError and one EListError.
#include <stdexcept>

namespace qira {

// The general exception class; the library's errors derive from it and carry
// the system's fixed text.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a number, or an assignment between classes that do not
// know each other ("Cannot assign a <source class> to a <target class>").
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A list index outside the list.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace qira
