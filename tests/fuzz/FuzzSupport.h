#pragma once
// What the fuzz targets share: the application on the offscreen platform, silent
// user services (messages are recorded and dropped per input, never shown), and a
// scratch folder for the few readers that insist on a file name.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "support/FakeServices.h"
#include "support/TestApplication.h"

namespace qira::fuzzing {

// Call first in every input: makes the application and the services once, and
// forgets the messages of the previous input.
inline TFakeServices& Start() {
  static TFakeServices* services = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureTestApplication();
    return new TFakeServices();
  }();
  services->Messages.clear();
  return *services;
}

inline std::string_view Text(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A folder of this process, removed at exit.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qira-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    static const std::string removed = pattern;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removed, ec);
    });
    return pattern;
  }();
  return folder;
}

// The input as the file `name` of the scratch folder; returns its path.
inline std::string PutScratchFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = ScratchFolder() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

}  // namespace qira::fuzzing
