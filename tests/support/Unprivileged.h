#pragma once
// Runs a step where a file's permissions bind: as the test's own user, or, when the
// tests run as root (to whom a read-only file is writable), in a child process that
// has become "nobody" (a member of `groups` besides its own), in a folder opened to
// everyone.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"

namespace qira {

// What `step` returned; `folder` is where it writes.
inline std::string AsUnprivilegedUser(const TScratchFolder& folder, const std::function<std::string()>& step,
                                      const std::vector<gid_t>& groups = {}) {
  if (::geteuid() != 0) return step();
  ::chmod(folder.Path().c_str(), 0777);
  int ends[2];
  if (::pipe(ends) != 0) return "no pipe to the unprivileged step";
  const pid_t child = ::fork();
  if (child < 0) return "no process for the unprivileged step";
  if (child == 0) {
    ::close(ends[0]);
    constexpr uid_t kNobody = 65534;
    std::string result;
    try {
      if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
        result = std::string("cannot become an unprivileged user: ") + std::strerror(errno);
      else
        result = step();
    } catch (const std::exception& e) {
      result = std::string("the unprivileged step threw: ") + e.what();
    }
    for (size_t done = 0; done < result.size();) {
      const ssize_t n = ::write(ends[1], result.data() + done, result.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ::_exit(1);
      done += static_cast<size_t>(n);
    }
    ::_exit(0);  // no exit handlers of the test's process
  }
  ::close(ends[1]);
  std::string result;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.append(buffer, static_cast<size_t>(n));
  }
  ::close(ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the unprivileged step did not end normally";
  return result;
}

}  // namespace qira
