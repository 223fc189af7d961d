// Settings files (ini): the ini reader, then the program's settings from it.
#include "fuzz/FuzzSupport.h"
#include "model/Settings.h"
#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  const std::string path = fuzzing::PutScratchFile("fuzz.ini", data, size);
  TIniFile ini(path);
  for (const std::string& section : ini.ReadSections())
    for (const std::string& key : ini.ReadSection(section)) {
      (void)ini.ReadInteger(section, key, 0);
      (void)ini.ReadFloat(section, key, 0);
    }
  (void)ini.Text();
  LoadSettings(path, fuzzing::ScratchFolder());
  return 0;
}
