// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's default handler on Linux is reached through xdg-open.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "utility/ShellOpen.h"
#include "utility/SysCall.h"

extern char** environ;

namespace mv {

namespace {

// Variables the program set for itself, with the value each had when it started.
std::vector<std::pair<std::string, std::optional<std::string>>>& StartValues() {
  static std::vector<std::pair<std::string, std::optional<std::string>>> values;
  return values;
}

// The environment as it is, except that the variables the program set for itself have their
// start values again. storage holds the texts the returned pointers point into.
std::vector<char*> ChildEnvironment(std::vector<std::string>& storage) {
  const auto& start = StartValues();
  std::vector<char*> env;
  storage.reserve(start.size());
  for (const auto& [name, value] : start) {
    if (value) storage.push_back(name + "=" + *value);
  }
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    if (std::none_of(start.begin(), start.end(), [&](const auto& v) { return v.first == name; }))
      env.push_back(*e);
  }
  for (std::string& text : storage) env.push_back(text.data());
  env.push_back(nullptr);
  return env;
}

}  // namespace

void SetOwnEnvironment(const char* name, const char* value) {
  auto& start = StartValues();
  if (std::none_of(start.begin(), start.end(), [&](const auto& v) { return v.first == name; })) {
    const char* old = ::getenv(name);
    start.emplace_back(name, old == nullptr ? std::nullopt : std::optional<std::string>(old));
  }
  ::setenv(name, value, 1);
}

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

  std::vector<std::string> envStorage;
  std::vector<char*> env = ChildEnvironment(envStorage);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), env.data());
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
