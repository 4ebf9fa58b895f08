// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A child process that holds a file open for writing until it is told to let go, as a
// downloading program does.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace mv::test {

class TWritingChild {
 public:
  explicit TWritingChild(const std::string& name) {
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      const int fd = ::open(name.c_str(), O_WRONLY | O_APPEND);
      const char ok = fd >= 0 ? '1' : '0';
      (void)!::write(ready[1], &ok, 1);
      char c;
      (void)!::read(release[0], &c, 1);  // until the parent writes or closes
      _exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char ok = '0';
    const bool got = ::read(ready[0], &ok, 1) == 1;
    ::close(ready[0]);
    if (!got || ok != '1') {
      Release();
      throw std::runtime_error("the child could not open " + name);
    }
  }
  TWritingChild(const TWritingChild&) = delete;
  TWritingChild& operator=(const TWritingChild&) = delete;
  ~TWritingChild() { Release(); }
  void Release() {
    if (release_ >= 0) ::close(release_);
    release_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
};

// Runs f in a child process and returns its exit status (or -1 when it did not exit).
template <class F>
int InChild(F&& f) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) _exit(f());
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace mv::test
