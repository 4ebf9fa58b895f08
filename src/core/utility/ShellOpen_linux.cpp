// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's default handler on Linux is reached through xdg-open.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "utility/ShellOpen.h"
#include "utility/SysCall.h"

extern char** environ;

namespace mv {

std::string ShellWorkingDirectory(std::string_view target) {
  return ShellWorkingDirectory(target, "/:", LeadBytes());
}

bool ShellOpen(const std::string& target, const std::string& parameters) {
  if (target.empty()) return false;

  std::string program = "xdg-open";
  std::vector<char*> argv{program.data(), const_cast<char*>(target.c_str())};
  if (!parameters.empty()) argv.push_back(const_cast<char*>(parameters.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  // Only an absolute directory: a relative target would otherwise be looked up a second
  // time below its own directory and name the wrong file.
  const std::string dir = ShellWorkingDirectory(target);
  struct stat st {};
  if (!dir.empty() && dir.front() == '/' && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  }

  // The opener starts with no blocked signals and with SIGPIPE at its default, whatever the
  // media and window libraries did to ours (ignored signals survive exec).
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;

  // Not waited for, but reaped, so that no zombie is left behind.
  std::thread([pid] {
    RetryOnEintr("waitpid", [pid] { return ::waitpid(pid, nullptr, 0); });
  }).detach();
  return true;
}

}  // namespace mv
