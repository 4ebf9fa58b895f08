// SPDX-License-Identifier: GPL-3.0-or-later
// Arming a tree: every directory is watched once, and watching changes nothing in the tree,
// not even the access times of the directories it lists.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "FileSystemWatcher/TreeArm_linux.h"
#include "WatcherTestSupport.h"

namespace mv {
namespace {

using test::TTempDir;

time_t AccessTime(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_atime : -1;
}

// Two days ago, older than the last change: the next listing would stamp it (relatime).
void MakeStale(const std::string& path) {
  const struct timespec times[2] = {{time(nullptr) - 2 * 86400, 0}, {0, UTIME_OMIT}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(TreeArm, WatchesEveryDirectoryWithoutStampingAccessTimes) {
  TTempDir tmp;
  const std::vector<std::string> dirs = {tmp.Path(), tmp / "a", tmp / "a/b", tmp / "c"};
  for (std::size_t i = 1; i < dirs.size(); ++i) ASSERT_EQ(mkdir(dirs[i].c_str(), 0755), 0);
  for (const std::string& d : dirs) MakeStale(d);
  // Whether a plain listing stamps the time here (not under noatime).
  const time_t stale = AccessTime(tmp / "c");
  if (DIR* d = opendir((tmp / "c").c_str())) {
    while (readdir(d) != nullptr) {
    }
    closedir(d);
  }
  const bool stamps = AccessTime(tmp / "c") != stale;
  MakeStale(tmp / "c");
  std::vector<time_t> before;
  for (const std::string& d : dirs) before.push_back(AccessTime(d));

  TArmTree tree;
  tree.root = tmp.Path() + "/";
  int next = 1;
  tree.addWatch = [&next](const std::string&, int, bool) { return next++; };
  const TArmOutcome out = ArmTree(tree, {TArmStart{-1, {}, {}}});
  EXPECT_EQ(out.dirs.size(), dirs.size());
  EXPECT_EQ(out.openError, 0);

  std::vector<time_t> after;
  for (const std::string& d : dirs) after.push_back(AccessTime(d));
  if (!stamps) GTEST_SKIP() << "this file system stamps no access times";
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace mv
