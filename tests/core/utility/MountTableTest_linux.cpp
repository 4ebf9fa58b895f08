// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "utility/MountTable_linux.h"

namespace {

using Entry = std::tuple<std::string, std::string, std::string>;  // id, point, type

std::vector<Entry> Parsed(const std::string& table) {
  std::vector<Entry> out;
  for (const mv::TMountEntry& m : mv::ParseMountInfo(table))
    out.emplace_back(m.id, m.point, m.type);
  return out;
}

TEST(MountTable, ReadsEveryCompleteLineInOrder) {
  const std::string table =
      "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
      "40 1 0:40 / /a rw shared:2 master:3 propagate_from:4 - nfs srv:/x rw\n"
      "41 1 0:41 / /b rw - tmpfs tmpfs rw\n"
      "garbage\n"
      "1 2 3 4\n"
      "42 1 0:42 / /no-separator rw shared:1\n"
      "43 1 0:43 / /no-type rw -\n"
      "\n"
      "44 1 0:44 / /b rw - fuse.sshfs host:/ rw";  // a later mount on /b, no final newline
  EXPECT_EQ(Parsed(table), (std::vector<Entry>{{"36", "/mnt/parent", "ext3"},
                                               {"40", "/a", "nfs"},
                                               {"41", "/b", "tmpfs"},
                                               {"44", "/b", "fuse.sshfs"}}));
}

TEST(MountTable, DecodesTheEscapesOfMountPoints) {
  const struct {
    const char* written;
    const char* point;
  } cases[] = {
      {"/usb\\040stick", "/usb stick"},
      {"/a\\011b\\012c\\134d", "/a\tb\nc\\d"},
      {"/end\\040", "/end "},
      {"/short\\04", "/short\\04"},  // too few digits
      {"/x\\8y", "/x\\8y"},          // not octal
      {"/big\\400", "/big\\400"},    // beyond a byte
  };
  for (const auto& c : cases) {
    const auto mounts =
        mv::ParseMountInfo(std::string("1 1 0:1 / ") + c.written + " rw - ext4 d rw\n");
    ASSERT_EQ(mounts.size(), 1u) << c.written;
    EXPECT_EQ(mounts[0].point, c.point) << c.written;
  }
}

TEST(MountTable, KnowsTheKernelsPseudoFileSystems) {
  for (const char* type : {"proc", "sysfs", "cgroup2", "mqueue", "binfmt_misc"})
    EXPECT_TRUE(mv::IsPseudoFsType(type)) << type;
  for (const char* type : {"", "ext4", "tmpfs", "overlay", "fuse.sshfs", "proc2"})
    EXPECT_FALSE(mv::IsPseudoFsType(type)) << type;
}

}  // namespace
