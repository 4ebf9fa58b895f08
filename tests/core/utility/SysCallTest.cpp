// SPDX-License-Identifier: GPL-3.0-or-later
// The descriptor owner and the EINTR retry with its failure seam.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "utility/SysCall.h"
#include "utility/UniqueFd.h"

namespace mv {
namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesOnResetDestructionAndMoveButNotAfterRelease) {
  int a = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  int b = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  {
    TUniqueFd owner(a);
    EXPECT_TRUE(owner);
    TUniqueFd moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_EQ(moved.get(), a);
    moved = TUniqueFd(b);  // the old descriptor goes, the new one stays
    EXPECT_FALSE(IsOpen(a));
    EXPECT_TRUE(IsOpen(b));
  }
  EXPECT_FALSE(IsOpen(b));

  TUniqueFd kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int fd = kept.release();
  EXPECT_FALSE(kept);
  EXPECT_TRUE(IsOpen(fd));
  ::close(fd);
}

// Each attempt takes the next scripted errno; 0 (or the end of the script) lets it run.
std::vector<int> script;
std::vector<std::string> seen;
int Scripted(const char* name) {
  seen.emplace_back(name);
  if (script.empty()) return 0;
  const int e = script.front();
  script.erase(script.begin());
  return e;
}

TEST(RetryOnEintr, RetriesInterruptionsAndReportsOtherFailures) {
  struct Case {
    std::vector<int> script;
    ssize_t result;
    int error;
    std::size_t attempts;
  };
  const Case cases[] = {
      {{}, 1, 0, 1},                     // no failure: the real call's result
      {{EINTR, EINTR}, 1, 0, 3},         // interrupted twice, then done
      {{EINTR, ENOSPC}, -1, ENOSPC, 2},  // a real failure ends the retries with its errno
      {{EIO}, -1, EIO, 1},
  };
  const TSysCallHook previous = SetSysCallHook(&Scripted);
  for (const Case& c : cases) {
    script = c.script;
    seen.clear();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    errno = 0;
    const ssize_t n = RetryOnEintr("write", [&] { return ::write(pipeFds[1], "x", 1); });
    const int error = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    EXPECT_EQ(n, c.result);
    if (c.result < 0) {
      EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(seen, std::vector<std::string>(c.attempts, "write"));
  }
  SetSysCallHook(previous);
}

TEST(RetryOnEintr, PassesRealFailuresThrough) {
  errno = 0;
  EXPECT_EQ(RetryOnEintr("read", [] { return ::read(-1, nullptr, 0); }), -1);
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace mv
