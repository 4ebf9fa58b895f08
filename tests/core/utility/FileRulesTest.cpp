// SPDX-License-Identifier: GPL-3.0-or-later
// Existence, rename, copy and open rules on real files in a fresh directory each.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ChildHolder.h"
#include "TempDir.h"
#include "utility/FileRules.h"
#include "utility/SysCall.h"
#include "utility/SysUtils.h"
#include "utility/UniqueFd.h"

namespace mv {
namespace {

using test::InChild;
using test::ReadFile;
using test::TTempDir;
using test::TWritingChild;
using test::WriteFile;

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
        names.push_back(e->d_name);
      }
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t Mode(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

void SetTimes(const std::string& name, time_t when) {
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
}

// Permission checks do not hold back root: a test that needs them drops to another user in a
// child process when run as root.
template <class F>
int AsUnprivileged(F&& f) {
  return InChild([&] {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      return 99;
    }
    return f();
  });
}

TEST(FileIsPresent, FilesDirectoriesAndTimes) {
  TTempDir t;
  WriteFile(t / "song.mp3", "x");
  ASSERT_EQ(::mkdir((t / "sub").c_str(), 0755), 0);
  EXPECT_TRUE(FileIsPresent(t / "song.mp3"));
  EXPECT_FALSE(FileIsPresent(t / "sub"));
  EXPECT_FALSE(FileIsPresent(t / "sub/"));
  EXPECT_FALSE(FileIsPresent(t / "missing.mp3"));
  EXPECT_FALSE(FileIsPresent(""));

  // Dates before 1980 (or after 2107) are no reason to call a file missing.
  WriteFile(t / "old.mp3", "x");
  SetTimes(t / "old.mp3", 0);
  EXPECT_TRUE(FileIsPresent(t / "old.mp3"));
  SetTimes(t / "old.mp3", 4354819200);  // 2108-01-01
  EXPECT_TRUE(FileIsPresent(t / "old.mp3"));

  ASSERT_EQ(::symlink((t / "song.mp3").c_str(), (t / "link.mp3").c_str()), 0);
  ASSERT_EQ(::symlink((t / "sub").c_str(), (t / "dirlink").c_str()), 0);
  ASSERT_EQ(::symlink((t / "gone").c_str(), (t / "dangling").c_str()), 0);
  EXPECT_TRUE(FileIsPresent(t / "link.mp3"));
  EXPECT_FALSE(FileIsPresent(t / "dirlink"));
  EXPECT_FALSE(FileIsPresent(t / "dangling"));
}

TEST(FileIsPresent, Wildcards) {
  TTempDir t;
  ASSERT_EQ(::mkdir((t / "subdir").c_str(), 0755), 0);
  WriteFile(t / "a[1].mp3", "x");
  WriteFile(t / "x*y", "literal");
  EXPECT_TRUE(FileIsPresent(t / "*.mp3"));
  EXPECT_TRUE(FileIsPresent(t / "a[1]*"));  // "[" is an ordinary byte, not a class
  EXPECT_TRUE(FileIsPresent(t / "a?1?.mp?"));
  EXPECT_FALSE(FileIsPresent(t / "a1*"));
  EXPECT_FALSE(FileIsPresent(t / "*.wav"));
  EXPECT_FALSE(FileIsPresent(t / "sub*"));  // the only match is a directory
  EXPECT_TRUE(FileIsPresent(t / "x*y"));    // exists literally
  EXPECT_FALSE(FileIsPresent(t / "nodir/*"));
  EXPECT_FALSE(FileIsPresent(t.Dir()));

  // Relative to the working directory when the name has no directory part.
  TTempDir other;
  WriteFile(other / "only.wav", "x");
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(other.Dir());
  const bool relative = FileIsPresent("*.wav");
  std::filesystem::current_path(cwd);
  EXPECT_TRUE(relative);
}

// A tree deeper than the 4,096 bytes the system takes in one path, made level by level with
// directory-relative calls; file names below it are whole paths, as the list holds them.
class TDeepTree {
 public:
  explicit TDeepTree(const std::string& root) : path_(root) {
    levels_.emplace_back(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; path_.size() <= PATH_MAX; ++i) {
      const std::string name = std::string(200, 'd') + std::to_string(i);
      if (::mkdirat(levels_.back().get(), name.c_str(), 0755) != 0) break;
      levels_.emplace_back(
          ::openat(levels_.back().get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      names_.push_back(name);
      path_ += "/" + name;
    }
  }
  TDeepTree(const TDeepTree&) = delete;
  TDeepTree& operator=(const TDeepTree&) = delete;
  // Path-based removal stops at the limit, so the levels go one by one from the bottom.
  ~TDeepTree() {
    for (const std::string& name : Entries("/proc/self/fd/" + std::to_string(Fd()))) {
      ::unlinkat(Fd(), name.c_str(), 0);
    }
    for (std::size_t i = names_.size(); i > 0; --i) {
      ::unlinkat(levels_[i - 1].get(), names_[i - 1].c_str(), AT_REMOVEDIR);
    }
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  int Fd() const { return levels_.back().get(); }
  std::string Read(const std::string& name) const {
    TUniqueFd fd(::openat(Fd(), name.c_str(), O_RDONLY | O_CLOEXEC));
    std::string data(64, '\0');
    const ssize_t n = fd ? ::read(fd.get(), data.data(), data.size()) : -1;
    return n < 0 ? "<missing>" : data.substr(0, static_cast<std::size_t>(n));
  }

 private:
  std::string path_;
  std::vector<TUniqueFd> levels_;
  std::vector<std::string> names_;
};

TEST(FileRules, PathsLongerThanTheSystemTakesInOnePiece) {
  TTempDir t;
  const TDeepTree deep(t.Dir());
  ASSERT_GT((deep / "song.mp3").size(), std::size_t{PATH_MAX});
  {
    TUniqueFd fd(::openat(deep.Fd(), "song.mp3", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd);
    ASSERT_EQ(::write(fd.get(), "ID3data", 7), 7);
  }
  EXPECT_TRUE(FileIsPresent(deep / "song.mp3"));
  EXPECT_TRUE(FileIsPresent(deep / "s*.mp?"));
  EXPECT_FALSE(FileIsPresent(deep / "gone.mp3"));
  EXPECT_FALSE(FileIsPresent(deep / ""));  // the directory itself

  char head[8] = {};
  EXPECT_EQ(OpenForReading(deep / "song.mp3")->Read(head, sizeof head), 7u);
  EXPECT_STREQ(head, "ID3data");

  const TFileResult copied = CopyFileOverwrite(deep / "song.mp3", deep / "copy.mp3");
  EXPECT_TRUE(copied) << copied.Reason();
  EXPECT_EQ(deep.Read("copy.mp3"), "ID3data");
  EXPECT_EQ(CopyFileOverwrite(deep / "song.mp3", deep / "song.mp3").Fault(), TFileFault::SameFile);

  const TFileResult renamed = RenameFileTo(deep / "copy.mp3", deep / "renamed.mp3");
  EXPECT_TRUE(renamed) << renamed.Reason();
  EXPECT_EQ(deep.Read("renamed.mp3"), "ID3data");
  EXPECT_EQ(deep.Read("copy.mp3"), "<missing>");
  EXPECT_EQ(RenameFileTo(deep / "renamed.mp3", deep / "song.mp3").Error(), EEXIST);

  // A name longer than one directory entry may be is refused with the system's reason.
  const std::string tooLong = deep / std::string(300, 'x');
  EXPECT_FALSE(FileIsPresent(tooLong));
  EXPECT_EQ(CopyFileOverwrite(deep / "song.mp3", tooLong).Error(), ENAMETOOLONG);
}

TEST(RenameFileTo, NeverReplaces) {
  TTempDir t;
  WriteFile(t / "a", "first");
  WriteFile(t / "b", "second");
  EXPECT_FALSE(RenameFileTo(t / "a", t / "b"));
  EXPECT_EQ(ReadFile(t / "a"), "first");
  EXPECT_EQ(ReadFile(t / "b"), "second");

  EXPECT_TRUE(RenameFileTo(t / "a", t / "c"));
  EXPECT_EQ(ReadFile(t / "a"), "<missing>");
  EXPECT_EQ(ReadFile(t / "c"), "first");
  EXPECT_FALSE(RenameFileTo(t / "missing", t / "d"));
  EXPECT_FALSE(RenameFileTo(t / "c", t / "c"));
  EXPECT_EQ(ReadFile(t / "c"), "first");
}

TEST(RenameFileTo, NamesAreBytes) {
  TTempDir t;
  const std::string odd = t / "song\xFF\x81\\.part";
  WriteFile(odd, "data");
  EXPECT_TRUE(RenameFileTo(odd, t / "song\xFF.mp3"));
  EXPECT_EQ(ReadFile(t / "song\xFF.mp3"), "data");
  EXPECT_EQ(Entries(t.Dir()), std::vector<std::string>{"song\xFF.mp3"});
}

// A download still being written keeps its name: its downloader's own final rename needs it.
TEST(RenameFileTo, NeverRenamesAFileOpenForWriting) {
  TTempDir t;
  WriteFile(t / "song.part", "ID3 header already written");
  {
    TWritingChild downloader(t / "song.part");
    const TFileResult r = RenameFileTo(t / "song.part", t / "song.part.part");
    EXPECT_EQ(r.Fault(), TFileFault::OpenForWriting);
    EXPECT_EQ(Entries(t.Dir()), std::vector<std::string>{"song.part"});
  }
  EXPECT_TRUE(RenameFileTo(t / "song.part", t / "song.mp3"));
  EXPECT_EQ(Entries(t.Dir()), std::vector<std::string>{"song.mp3"});
}

TEST(InspectListedFile, SizeAndWriterOfRegularFilesOnly) {
  TTempDir t;
  WriteFile(t / "song.mp3", "12345");
  ASSERT_EQ(::mkfifo((t / "pipe.mp3").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((t / "dir.mp3").c_str(), 0700), 0);
  auto inspect = [&t](const char* name) {
    const std::optional<TListedFile> f = InspectListedFile(t / name);
    return f ? std::to_string(f->size) + (f->beingWritten ? " writing" : " closed") : "none";
  };
  EXPECT_EQ(inspect("song.mp3"), "5 closed");
  {
    TWritingChild downloader(t / "song.mp3");
    EXPECT_EQ(inspect("song.mp3"), "5 writing");
  }
  EXPECT_EQ(inspect("song.mp3"), "5 closed");
  for (const char* other : {"pipe.mp3", "dir.mp3", "gone.mp3"}) EXPECT_EQ(inspect(other), "none");
}

TEST(CopyFileOverwrite, ReplacesAnExistingTarget) {
  TTempDir t;
  WriteFile(t / "src", "ab");
  WriteFile(t / "dst", "0123456789");
  EXPECT_TRUE(CopyFileOverwrite(t / "src", t / "dst"));
  EXPECT_EQ(ReadFile(t / "dst"), "ab");
  EXPECT_EQ(ReadFile(t / "src"), "ab");
  EXPECT_TRUE(CopyFileOverwrite(t / "src", t / "new"));
  EXPECT_EQ(ReadFile(t / "new"), "ab");
  EXPECT_EQ(Entries(t.Dir()), (std::vector<std::string>{"dst", "new", "src"}));

  WriteFile(t / "empty", "");
  EXPECT_TRUE(CopyFileOverwrite(t / "empty", t / "dst"));
  EXPECT_EQ(ReadFile(t / "dst"), "");
}

TEST(CopyFileOverwrite, NeverOntoItself) {
  TTempDir t;
  WriteFile(t / "song.mp3", "precious");
  ASSERT_EQ(::mkdir((t / "sub").c_str(), 0755), 0);
  ASSERT_EQ(::link((t / "song.mp3").c_str(), (t / "hard.mp3").c_str()), 0);
  ASSERT_EQ(::symlink((t / "song.mp3").c_str(), (t / "soft.mp3").c_str()), 0);

  EXPECT_FALSE(CopyFileOverwrite(t / "song.mp3", t / "song.mp3"));
  EXPECT_FALSE(CopyFileOverwrite(t / "song.mp3", t / "sub/../song.mp3"));
  EXPECT_FALSE(CopyFileOverwrite(t / "song.mp3", t / "hard.mp3"));
  EXPECT_FALSE(CopyFileOverwrite(t / "song.mp3", t / "soft.mp3"));
  EXPECT_FALSE(CopyFileOverwrite(t / "soft.mp3", t / "song.mp3"));
  EXPECT_EQ(ReadFile(t / "song.mp3"), "precious");
  EXPECT_EQ(ReadFile(t / "soft.mp3"), "precious");
  struct stat st {};
  ASSERT_EQ(::lstat((t / "soft.mp3").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat((t / "song.mp3").c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 2u);
  EXPECT_EQ(Entries(t.Dir()),
            (std::vector<std::string>{"hard.mp3", "soft.mp3", "song.mp3", "sub"}));
}

TEST(CopyFileOverwrite, KeepsPermissionsAndDate) {
  TTempDir t;
  WriteFile(t / "tool", "#!/bin/sh\n");
  ASSERT_EQ(::chmod((t / "tool").c_str(), 0751), 0);
  SetTimes(t / "tool", 1000000000);
  WriteFile(t / "ro", "read only");
  ASSERT_EQ(::chmod((t / "ro").c_str(), 0444), 0);
  WriteFile(t / "target", "old");
  ASSERT_EQ(::chmod((t / "target").c_str(), 0600), 0);

  EXPECT_TRUE(CopyFileOverwrite(t / "tool", t / "target"));
  EXPECT_EQ(Mode(t / "target"), 0751u);
  struct stat st {};
  ASSERT_EQ(::stat((t / "target").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_TRUE(CopyFileOverwrite(t / "ro", t / "ro-copy"));
  EXPECT_EQ(Mode(t / "ro-copy"), 0444u);
  EXPECT_EQ(ReadFile(t / "ro-copy"), "read only");
}

TEST(CopyFileOverwrite, FailureLeavesTheOldTarget) {
  TTempDir t;
  ASSERT_EQ(::chmod(t.Dir().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((t / "locked").c_str(), 0755), 0);
  WriteFile(t / "src", "new content");
  WriteFile(t / "locked/dst", "old content");
  ASSERT_EQ(::chmod((t / "src").c_str(), 0644), 0);
  ASSERT_EQ(::chmod((t / "locked/dst").c_str(), 0666), 0);  // the file itself is writable
  ASSERT_EQ(::chmod((t / "locked").c_str(), 0555), 0);

  const int status =
      AsUnprivileged([&] { return CopyFileOverwrite(t / "src", t / "locked/dst") ? 1 : 0; });
  ASSERT_EQ(::chmod((t / "locked").c_str(), 0755), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(t / "locked/dst"), "old content");
  EXPECT_EQ(Entries(t / "locked"), std::vector<std::string>{"dst"});

  EXPECT_FALSE(CopyFileOverwrite(t / "missing", t / "locked/dst"));
  EXPECT_FALSE(CopyFileOverwrite(t / "locked", t / "dir-copy"));  // not a file
  ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0644), 0);
  EXPECT_FALSE(CopyFileOverwrite(t / "fifo", t / "fifo-copy"));  // refused, without waiting
  EXPECT_FALSE(CopyFileOverwrite(t / "src", t / "locked"));      // onto a directory
  EXPECT_FALSE(CopyFileOverwrite(t / "src", t / "nodir/dst"));
  EXPECT_EQ(ReadFile(t / "locked/dst"), "old content");
  EXPECT_EQ(Entries(t / "locked"), std::vector<std::string>{"dst"});
}

struct TProgressLog {
  std::vector<std::uint64_t> copied;
  std::uint64_t total = 0;
  std::size_t cancelAfter = 0;  // 0: never
};

bool LogProgress(void* context, std::uint64_t copied, std::uint64_t total) {
  auto* log = static_cast<TProgressLog*>(context);
  log->copied.push_back(copied);
  log->total = total;
  return log->cancelAfter == 0 || log->copied.size() < log->cancelAfter;
}

TEST(CopyFileOverwrite, ProgressAndCancel) {
  TTempDir t;
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  WriteFile(t / "big", big);
  WriteFile(t / "dst", "old");

  TProgressLog cancel;
  cancel.cancelAfter = 2;
  EXPECT_FALSE(CopyFileOverwrite(t / "big", t / "dst", LogProgress, &cancel));
  EXPECT_EQ(cancel.copied.size(), 2u);
  EXPECT_EQ(ReadFile(t / "dst"), "old");
  EXPECT_EQ(Entries(t.Dir()), (std::vector<std::string>{"big", "dst"}));

  TProgressLog log;
  EXPECT_TRUE(CopyFileOverwrite(t / "big", t / "dst", LogProgress, &log));
  ASSERT_GE(log.copied.size(), 2u);
  EXPECT_TRUE(std::is_sorted(log.copied.begin(), log.copied.end()));
  EXPECT_EQ(log.copied.back(), big.size());
  EXPECT_EQ(log.total, big.size());
  EXPECT_TRUE(ReadFile(t / "dst") == big);
}

// A symbolic link as target is replaced by the copy; the file it pointed to stays as it was.
TEST(CopyFileOverwrite, SymlinkTargetIsReplacedNotWrittenThrough) {
  TTempDir t;
  WriteFile(t / "src", "new");
  WriteFile(t / "elsewhere", "keep me");
  ASSERT_EQ(::symlink((t / "elsewhere").c_str(), (t / "dst").c_str()), 0);
  EXPECT_TRUE(CopyFileOverwrite(t / "src", t / "dst"));
  struct stat st {};
  ASSERT_EQ(::lstat((t / "dst").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(ReadFile(t / "dst"), "new");
  EXPECT_EQ(ReadFile(t / "elsewhere"), "keep me");
}

TEST(CopyFileOverwrite, RefusesASourceOpenForWriting) {
  TTempDir t;
  WriteFile(t / "download.mp3", "500,000 of 3,000,000 bytes");
  WriteFile(t / "dst", "old");
  {
    TWritingChild downloader(t / "download.mp3");
    const TFileResult r = CopyFileOverwrite(t / "download.mp3", t / "dst");
    EXPECT_EQ(r.Fault(), TFileFault::OpenForWriting);
    EXPECT_EQ(r.Reason(), "another program has the file open for writing");
  }
  EXPECT_EQ(ReadFile(t / "dst"), "old");
  EXPECT_EQ(Entries(t.Dir()), (std::vector<std::string>{"download.mp3", "dst"}));
}

// A source that is truncated, grown or rewritten while it is copied was never copied whole.
std::string changingSource;
int changeHow = 0;
bool ChangeSourceOnce(void*, std::uint64_t copied, std::uint64_t) {
  if (copied != 256 * 1024) return true;
  if (changeHow == 0) ::truncate(changingSource.c_str(), 1000);
  if (changeHow == 1) {
    TUniqueFd fd(::open(changingSource.c_str(), O_WRONLY | O_APPEND));
    (void)!::write(fd.get(), "more", 4);
  }
  if (changeHow == 2) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 0}};
    ::utimensat(AT_FDCWD, changingSource.c_str(), times, 0);
  }
  return true;
}

TEST(CopyFileOverwrite, FailsWhenTheSourceChangesDuringTheCopy) {
  for (changeHow = 0; changeHow < 3; ++changeHow) {
    SCOPED_TRACE(changeHow);
    TTempDir t;
    changingSource = t / "src";
    WriteFile(t / "src", std::string(1024 * 1024, 'x'));
    WriteFile(t / "dst", "old");
    const TFileResult r = CopyFileOverwrite(t / "src", t / "dst", ChangeSourceOnce, nullptr);
    EXPECT_EQ(r.Fault(), TFileFault::SourceChanged);
    EXPECT_EQ(r.Reason(), "the source changed during the copy");
    EXPECT_EQ(ReadFile(t / "dst"), "old");
    EXPECT_EQ(Entries(t.Dir()), (std::vector<std::string>{"dst", "src"}));
  }
}

// Failures injected into named system calls, each once per copy.
std::map<std::string, int> injected;
int InjectByName(const char* name) {
  const auto it = injected.find(name);
  return it == injected.end() ? 0 : it->second;
}

class TInjected {
 public:
  explicit TInjected(std::map<std::string, int> faults) : previous_(SetSysCallHook(InjectByName)) {
    injected = std::move(faults);
  }
  ~TInjected() {
    SetSysCallHook(previous_);
    injected.clear();
  }

 private:
  TSysCallHook previous_;
};

const char* kNoTmpfile = "openat(O_TMPFILE)";

TEST(CopyFileOverwrite, FailuresCarryTheirReasonAndLeaveTheOldTarget) {
  struct Case {
    std::map<std::string, int> faults;
    int error;
  };
  const Case cases[] = {
      {{{"write", ENOSPC}}, ENOSPC},
      {{{kNoTmpfile, EROFS}}, EROFS},
      {{{kNoTmpfile, EACCES}}, EACCES},
      {{{"fsync", EIO}}, EIO},
      {{{"renameat", ENOSPC}}, ENOSPC},  // the target exists: linked, then renamed
      {{{kNoTmpfile, EOPNOTSUPP}, {"write", ENOSPC}}, ENOSPC},  // the named fallback
      {{{kNoTmpfile, EOPNOTSUPP}, {"renameat", EACCES}}, EACCES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults.rbegin()->first);
    TTempDir t;
    WriteFile(t / "src", "new content");
    WriteFile(t / "dst", "old content");
    TFileResult r;
    {
      TInjected faults(c.faults);
      r = CopyFileOverwrite(t / "src", t / "dst");
    }
    EXPECT_EQ(r.Fault(), TFileFault::System);
    EXPECT_EQ(r.Error(), c.error);
    EXPECT_EQ(r.Reason(), std::strerror(c.error));
    EXPECT_EQ(ReadFile(t / "dst"), "old content");
    EXPECT_EQ(Entries(t.Dir()), (std::vector<std::string>{"dst", "src"}));
  }
}

TEST(CopyFileOverwrite, FallsBackToANamedTemporaryWithoutUnnamedFiles) {
  TTempDir t;
  WriteFile(t / "src", "new content");
  WriteFile(t / "dst", "old content");
  TInjected faults({{kNoTmpfile, EOPNOTSUPP}});
  EXPECT_TRUE(CopyFileOverwrite(t / "src", t / "dst"));
  EXPECT_TRUE(CopyFileOverwrite(t / "src", t / "new"));
  EXPECT_EQ(ReadFile(t / "dst"), "new content");
  EXPECT_EQ(ReadFile(t / "new"), "new content");
  EXPECT_EQ(Entries(t.Dir()), (std::vector<std::string>{"dst", "new", "src"}));
}

// The copy stops half-way (the child tells us and waits) and is killed there: neither the
// unnamed file nor the named fallback may outlive it, and the old target is whole.
int midCopyPipe = -1;
bool PauseMidCopy(void*, std::uint64_t copied, std::uint64_t total) {
  if (copied * 2 >= total) {
    (void)!::write(midCopyPipe, "x", 1);
    for (;;) ::pause();
  }
  return true;
}

TEST(CopyFileOverwrite, AKilledCopyLeavesNothingBehind) {
  struct Case {
    bool unnamed;
    int signal;
  };
  const Case cases[] = {
      {true, SIGKILL}, {true, SIGTERM}, {false, SIGTERM}, {false, SIGINT}, {false, SIGHUP}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.unnamed ? "unnamed, " : "named, ") + strsignal(c.signal));
    TTempDir t;
    WriteFile(t / "big", std::string(8 * 1024 * 1024, 'b'));
    WriteFile(t / "dst", "old");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      midCopyPipe = fds[1];
      if (!c.unnamed)
        SetSysCallHook(
            [](const char* name) { return std::strcmp(name, kNoTmpfile) == 0 ? EOPNOTSUPP : 0; });
      (void)CopyFileOverwrite(t / "big", t / "dst", PauseMidCopy, nullptr);
      _exit(3);
    }
    ::close(fds[1]);
    char got = 0;
    ASSERT_EQ(::read(fds[0], &got, 1), 1);
    ::close(fds[0]);
    // Half-way: the fallback's temporary is there to be removed; the unnamed file is not seen.
    EXPECT_EQ(Entries(t.Dir()).size(), c.unnamed ? 2u : 3u);
    ASSERT_EQ(::kill(pid, c.signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal);
    EXPECT_EQ(ReadFile(t / "dst"), "old");
    EXPECT_EQ(Entries(t.Dir()), (std::vector<std::string>{"big", "dst"}));
  }
}

std::string ReadAll(TFileStream& s) {
  std::string out;
  char buf[7];
  while (const std::size_t n = s.Read(buf, sizeof buf)) out.append(buf, n);
  return out;
}

template <class F>
void ExpectOpenError(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no EFOpenError";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(OpenForReading, ReadsAFile) {
  TTempDir t;
  WriteFile(t / "song.mp3", "ID3 and the rest of it");
  auto s = OpenForReading(t / "song.mp3");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ReadAll(*s), "ID3 and the rest of it");
  EXPECT_EQ(s->Read(nullptr, 0), 0u);
}

TEST(OpenForReading, FailsWhileAnotherProcessWrites) {
  TTempDir t;
  const std::string name = t / "download \xB8\xE8.mp3";
  WriteFile(name, "partial");
  {
    TWritingChild writer(name);
    ExpectOpenError([&] { OpenForReading(name); }, "不能打开文件 " + name);
  }
  auto s = OpenForReading(name);
  EXPECT_EQ(ReadAll(*s), "partial");
}

// While our stream is open, a writer is not held up: no lease is left behind.
TEST(OpenForReading, LeavesNoLeaseBehind) {
  TTempDir t;
  WriteFile(t / "f", "data");
  auto s = OpenForReading(t / "f");
  const int status = InChild([&] {
    const int fd = ::open((t / "f").c_str(), O_WRONLY | O_NONBLOCK);
    return fd >= 0 ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadAll(*s), "data");
}

TEST(OpenForReading, ErrorsNameTheFile) {
  TTempDir t;
  ExpectOpenError([&] { OpenForReading(t / "missing"); }, "不能打开文件 " + (t / "missing"));
  ExpectOpenError([&] { OpenForReading(t.Dir()); }, "不能打开文件 " + t.Dir());
  // A FIFO must neither block nor be read.
  ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0600), 0);
  ExpectOpenError([&] { OpenForReading(t / "fifo"); }, "不能打开文件 " + (t / "fifo"));
}

// Not the owner: no lease can be asked for, and the open goes ahead.
TEST(OpenForReading, OpensAnotherUsersFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a file of another user (run as root)";
  TTempDir t;
  ASSERT_EQ(::chmod(t.Dir().c_str(), 0755), 0);
  WriteFile(t / "f", "theirs");
  ASSERT_EQ(::chmod((t / "f").c_str(), 0644), 0);
  const int status = AsUnprivileged([&] {
    try {
      auto s = OpenForReading(t / "f");
      return ReadAll(*s) == "theirs" ? 0 : 2;
    } catch (const Exception&) {
      return 1;
    }
  });
  EXPECT_EQ(status, 0);
}

// What the download list shows as still being written: only a regular file that another
// process holds open for writing; whatever cannot be asked counts as complete.
TEST(FileIsBeingWritten, OnlyWhileAnotherProcessWritesTheFile) {
  TTempDir t;
  ASSERT_EQ(::chmod(t.Dir().c_str(), 0755), 0);
  const std::string song = t / "song \xB8\xE8.mp3";
  WriteFile(song, "partial");
  ASSERT_EQ(::chmod(song.c_str(), 0644), 0);
  ASSERT_EQ(::mkdir((t / "album.mp3").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((t / "pipe.mp3").c_str(), 0644), 0);
  for (const std::string& name :
       {song, t / "album.mp3", t / "pipe.mp3", t / "gone.mp3", std::string()}) {
    EXPECT_FALSE(FileIsBeingWritten(name)) << name;
  }
  {
    TWritingChild downloader(song);
    EXPECT_TRUE(FileIsBeingWritten(song));
    if (::geteuid() == 0) {
      // Another user's file: no lease can be asked for.
      EXPECT_EQ(AsUnprivileged([&] { return FileIsBeingWritten(song) ? 1 : 0; }), 0);
    }
  }
  EXPECT_FALSE(FileIsBeingWritten(song));
}

// A writer that opens the file while we hold its lease makes the kernel signal us; that must not
// end the process (by default SIGIO does).
TEST(FileIsBeingWritten, AWriterBreakingOurLeaseLeavesUsRunning) {
  TTempDir t;
  WriteFile(t / "f", "data");
  const int status = InChild([&] {
    (void)FileIsBeingWritten(t / "f");
    TUniqueFd fd(::open((t / "f").c_str(), O_RDONLY));
    if (!fd || ::fcntl(fd.get(), F_SETLEASE, F_RDLCK) != 0) return 2;
    // Without waiting for the break: the signal is sent when the open asks for it.
    InChild([&] { return ::open((t / "f").c_str(), O_WRONLY | O_NONBLOCK) >= 0 ? 0 : 1; });
    ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
    return 0;
  });
  EXPECT_EQ(status, 0);
}

TEST(OpenForReading, ReadErrorsRaise) {
  // Reading /proc/self/mem at offset 0 fails (nothing is mapped there).
  auto s = OpenForReading("/proc/self/mem");
  char buf[16];
  EXPECT_THROW(s->Read(buf, sizeof buf), Exception);
}

}  // namespace
}  // namespace mv
