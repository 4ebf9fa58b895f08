// The desktop's default handler on Linux is reached through xdg-open.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "ShellOpen.h"

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

  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;

  // Not waited for, but reaped, so that no zombie is left behind.
  std::thread([pid] {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace mv
