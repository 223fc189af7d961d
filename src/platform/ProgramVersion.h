#pragma once
// The program's own file version a.b.c.d, compiled in from the build.
#include <string>

namespace qira {

struct TProgramVersion {
  int Major = 0;
  int Minor = 0;
  int Release = 0;
  int Build = 0;
};

// The version this program was built as.
TProgramVersion ProgramFileVersion();

// a*1000000 + b*10000 + c*100 + d: the form project files carry.
int ProgramVersionNumber(const TProgramVersion& v);
inline int ProgramVersionNumber() { return ProgramVersionNumber(ProgramFileVersion()); }

// "a.b.c.d"
std::string ProgramVersionText(const TProgramVersion& v);

// The program's name, as settings files are named after it.
const char* ProgramName();

}  // namespace qira
