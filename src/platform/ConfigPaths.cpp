#include "platform/ConfigPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "platform/ProgramVersion.h"

namespace qira {

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

}  // namespace

std::string ConfigFolder() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  return HomeFolder() + "/.config";
}

std::string StateFolder() {
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  return HomeFolder() + "/.local/state";
}

std::string RunningProgramName() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) {
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!name.empty()) return name;
  }
  return ProgramName();
}

std::string SettingsFilePath(const std::string& programName) {
  return ConfigFolder() + "/" + programName + ".ini";
}

bool EnsureFolderExists(const std::string& utf8Path, std::string* error) {
  if (utf8Path.empty()) {
    if (error) *error = std::generic_category().message(ENOENT);
    return false;
  }
  // Every prefix ending before a '/' and then the whole path.
  for (size_t at = 1; at <= utf8Path.size(); ++at) {
    if (at < utf8Path.size() && utf8Path[at] != '/') continue;
    std::string part = utf8Path.substr(0, at);
    struct stat st;
    if (::stat(part.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        if (error) *error = std::generic_category().message(ENOTDIR);
        return false;
      }
      continue;
    }
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      if (error) *error = std::generic_category().message(errno);
      return false;
    }
  }
  return true;
}

}  // namespace qira
