// SPDX-License-Identifier: GPL-3.0-or-later
// Moving files to the freedesktop trash, with the home trash in a private XDG_DATA_HOME.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "TempDir.h"
#include "utility/Trash.h"

namespace mv {
namespace {

using test::ReadFile;
using test::WriteFile;

bool Exists(const std::string& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The Path= of a .trashinfo, unescaped; "<bad>" when the file is not as the format wants.
std::string InfoPath(const std::string& infoFile) {
  static const std::regex format(
      "\\[Trash Info\\]\nPath=([A-Za-z0-9_.~/%-]+)\nDeletionDate="
      "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\n");
  std::smatch m;
  const std::string text = ReadFile(infoFile);
  return std::regex_match(text, m, format) ? Unescape(m[1]) : "<bad>";
}

class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    if (old != nullptr) saved_ = old;
    hadOld_ = old != nullptr;
    ::setenv("XDG_DATA_HOME", (tmp / "data").c_str(), 1);
  }
  void TearDown() override {
    if (hadOld_) {
      ::setenv("XDG_DATA_HOME", saved_.c_str(), 1);
    } else {
      ::unsetenv("XDG_DATA_HOME");
    }
  }
  std::string Files(const std::string& n) const { return tmp / ("data/Trash/files/" + n); }
  std::string Info(const std::string& n) const {
    return tmp / ("data/Trash/info/" + n + ".trashinfo");
  }

  test::TTempDir tmp;
  std::string saved_;
  bool hadOld_ = false;
};

TEST_F(TrashTest, FilesMoveWithTheirOriginalPathAndNeverReplaceOneAnother) {
  // Names as downloads have them: spaces, a percent sign, bytes that are no UTF-8.
  for (const std::string name : {"song.mp3", "a b%20c.mp3", "\xD6\xD0\xCE\xC4.mp3", "x"}) {
    SCOPED_TRACE(name);
    const std::string original = tmp / name;
    WriteFile(original, "first " + name);
    ASSERT_TRUE(MoveToTrash(original)) << MoveToTrash(original).Reason();
    WriteFile(original, "second " + name);
    ASSERT_TRUE(MoveToTrash(original));

    EXPECT_FALSE(Exists(original));
    EXPECT_EQ(ReadFile(Files(name)), "first " + name);
    EXPECT_EQ(ReadFile(Files(name + ".2")), "second " + name);
    EXPECT_EQ(InfoPath(Info(name)), original);
    EXPECT_EQ(InfoPath(Info(name + ".2")), original);
  }
}

TEST_F(TrashTest, WhatCannotBeTrashedStaysAndSaysWhy) {
  ::mkdir((tmp / "dir").c_str(), 0755);
  WriteFile(tmp / "dir/inside", "kept");
  const struct {
    std::string name;
    TTrashFault fault;
  } cases[] = {
      {tmp / "missing.mp3", TTrashFault::Missing},
      {tmp / "dir", TTrashFault::NotAFile},
      {"", TTrashFault::Missing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TTrashResult r = MoveToTrash(c.name);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.Fault(), c.fault);
    EXPECT_FALSE(r.Reason().empty());
  }
  EXPECT_EQ(ReadFile(tmp / "dir/inside"), "kept");
}

TEST_F(TrashTest, AStrayEntryInFilesIsNeitherReplacedNorGivenAnInfo) {
  WriteFile(tmp / "first", "setup");
  ASSERT_TRUE(MoveToTrash(tmp / "first"));  // makes the trash's folders
  WriteFile(Files("song.mp3"), "stray");
  WriteFile(tmp / "song.mp3", "new");
  ASSERT_TRUE(MoveToTrash(tmp / "song.mp3"));
  EXPECT_EQ(ReadFile(Files("song.mp3")), "stray");
  EXPECT_FALSE(Exists(Info("song.mp3")));
  EXPECT_EQ(ReadFile(Files("song.mp3.2")), "new");
  EXPECT_EQ(InfoPath(Info("song.mp3.2")), tmp / "song.mp3");
}

TEST_F(TrashTest, ARelativeNameIsRecordedAbsolute) {
  WriteFile(tmp / "rel.mp3", "r");
  char* cwd = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(tmp.Dir().c_str()), 0);
  const bool ok = static_cast<bool>(MoveToTrash("rel.mp3"));
  ASSERT_EQ(::chdir(cwd), 0);
  std::free(cwd);
  ASSERT_TRUE(ok);
  EXPECT_EQ(InfoPath(Info("rel.mp3")), tmp / "rel.mp3");
}

// A file on another file system (a tmpfs in a private user and mount namespace) goes to the
// trash at the top of that file system, with its path relative to the top; a shared .Trash
// without the sticky bit is not used.
TEST_F(TrashTest, AFileOnAnotherFileSystemGoesToTheTrashAtItsTop) {
  const std::string top = tmp / "mnt";
  ::mkdir(top.c_str(), 0755);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string uid = std::to_string(::getuid()), gid = std::to_string(::getgid());
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
    // Ourselves as root of the namespace, as unshare -r does.
    try {
      WriteFile("/proc/self/setgroups", "deny");
      WriteFile("/proc/self/uid_map", "0 " + uid + " 1");
      WriteFile("/proc/self/gid_map", "0 " + gid + " 1");
    } catch (...) {
      _exit(77);
    }
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
    if (::mount("tmpfs", top.c_str(), "tmpfs", 0, nullptr) != 0) _exit(77);
    ::mkdir((top + "/.Trash").c_str(), 0777);  // no sticky bit
    ::mkdir((top + "/sub").c_str(), 0755);
    WriteFile(top + "/sub/song.mp3", "on tmpfs");
    const TTrashResult r = MoveToTrash(top + "/sub/song.mp3");
    const std::string trash = top + "/.Trash-" + std::to_string(::getuid());
    struct stat st {};
    const bool ok = r && !Exists(top + "/sub/song.mp3") &&
                    ReadFile(trash + "/files/song.mp3") == "on tmpfs" &&
                    InfoPath(trash + "/info/song.mp3.trashinfo") == "sub/song.mp3" &&
                    ::lstat(trash.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700 &&
                    !Exists(top + "/.Trash/" + std::to_string(::getuid())) &&
                    !Exists(tmp / "data/Trash/files/song.mp3");
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no user and mount namespace here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace mv
