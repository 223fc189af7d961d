#pragma once
// Where the settings file lives: the program's name + ".ini" in the user's
// configuration folder ($XDG_CONFIG_HOME when it is an absolute path, else ~/.config).
#include <string>

namespace qira {

std::string ConfigFolder();
// The user's state folder: what the program keeps between runs that is neither
// settings nor documents ($XDG_STATE_HOME when it is an absolute path, else
// ~/.local/state).
std::string StateFolder();
// The name of the running executable (so a copy under another name has its own
// settings), or the built-in program name when it cannot be determined.
std::string RunningProgramName();
// ConfigFolder() + "/" + programName + ".ini"
std::string SettingsFilePath(const std::string& programName);
inline std::string SettingsFilePath() { return SettingsFilePath(RunningProgramName()); }
// Creates the folder and its missing parents (mode 0700 for new ones, as the
// configuration folder should be private); true when it exists afterwards.
bool EnsureFolderExists(const std::string& utf8Path, std::string* error = nullptr);

}  // namespace qira
