#include <cstdio>

#include "platform/ProgramVersion.h"

int main(int, char**) {
  // The main frame comes with the viewer windows; until then the program only reports itself.
  std::printf("%s %s: the viewer window is not built yet; nothing to show.\n", qira::ProgramName(),
              qira::ProgramVersionText(qira::ProgramFileVersion()).c_str());
  return 0;
}
