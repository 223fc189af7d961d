#pragma once
// Runs an independent reader (a shell command, or a Python script written into a
// scratch folder) and keeps its output, stdout and stderr together, line by line.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"

namespace qira::test {

struct TPeerOutput {
  int status = -1;
  std::string text;
  std::vector<std::string> lines;
  bool Has(const std::string& line) const {
    for (const std::string& l : lines)
      if (l == line) return true;
    return false;
  }
};

inline TPeerOutput RunCommand(const std::string& command) {
  TPeerOutput r;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.text.append(buf, n);
  r.status = ::pclose(pipe);
  std::istringstream in(r.text);
  std::string line;
  while (std::getline(in, line)) r.lines.push_back(line);
  return r;
}

// The script is written to folder/name and run with the program's Python.
inline TPeerOutput RunPython(const TScratchFolder& folder, const std::string& name, const char* script,
                             const std::vector<std::string>& args) {
  folder.Put(name, script);
  std::string command = std::string(QIRA_PYTHON) + " '" + folder.File(name) + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  return RunCommand(command);
}

// LibreOffice converts folder/file to the format (its extension) inside the folder,
// with a profile of its own there: two runs at once must not share one.
inline TPeerOutput LibreOfficeConvert(const TScratchFolder& folder, const std::string& file,
                                      const std::string& format) {
  const std::string at = "'" + folder.Path() + "'";
  return RunCommand("cd " + at + " && HOME=" + at + " XDG_CONFIG_HOME=" + at + " soffice --headless --convert-to " +
                    format + " '" + file + "'");
}

}  // namespace qira::test
