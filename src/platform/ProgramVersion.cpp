#include "platform/ProgramVersion.h"

namespace qira {

TProgramVersion ProgramFileVersion() {
  return {QIRA_VERSION_MAJOR, QIRA_VERSION_MINOR, QIRA_VERSION_PATCH, QIRA_VERSION_TWEAK};
}

int ProgramVersionNumber(const TProgramVersion& v) {
  return v.Major * 1000000 + v.Minor * 10000 + v.Release * 100 + v.Build;
}

std::string ProgramVersionText(const TProgramVersion& v) {
  return std::to_string(v.Major) + "." + std::to_string(v.Minor) + "." +
         std::to_string(v.Release) + "." + std::to_string(v.Build);
}

const char* ProgramName() { return QIRA_PROGRAM_NAME; }

}  // namespace qira
