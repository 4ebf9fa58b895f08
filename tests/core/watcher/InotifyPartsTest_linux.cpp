// SPDX-License-Identifier: GPL-3.0-or-later
// The inotify source's parts without the system: decoding what a read returns, and the map from
// watches to directories.

#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FileSystemWatcher/InotifyEvents_linux.h"
#include "FileSystemWatcher/InotifyTreeMap_linux.h"

namespace mv {
namespace {

using K = TInotifyKind;

struct TRaw {
  int wd;
  std::uint32_t mask;
  std::uint32_t cookie;
  std::string name;
  std::uint32_t len;  // as the kernel pads it; 0 without a name
};

std::string Bytes(const std::vector<TRaw>& raws) {
  std::string out;
  for (const TRaw& r : raws) {
    inotify_event ev{};
    ev.wd = r.wd;
    ev.mask = r.mask;
    ev.cookie = r.cookie;
    ev.len = r.len;
    out.append(reinterpret_cast<const char*>(&ev), sizeof ev);
    std::string name = r.name;
    name.resize(r.len, '\0');
    out += name;
  }
  return out;
}

TEST(InotifyEvents, ReadsDecodeIntoKindsWithNamesExactAndCutTailsDropped) {
  struct TCase {
    const char* what;
    std::vector<TRaw> raws;
    std::size_t cut;  // bytes taken off the end
    std::vector<TInotifyEvent> want;
    bool overflow;
  } cases[] = {
      {"file and directory creations",
       {{1, IN_CREATE, 0, " a.mp3 ", 16}, {1, IN_CREATE | IN_ISDIR, 0, "d", 16}},
       0,
       {{1, K::ikCreated, false, 0, " a.mp3 "}, {1, K::ikCreated, true, 0, "d"}},
       false},
      {"a rename's halves keep their cookie",
       {{2, IN_MOVED_FROM | IN_ISDIR, 7, "old", 16}, {3, IN_MOVED_TO | IN_ISDIR, 7, "new", 16}},
       0,
       {{2, K::ikMovedFrom, true, 7, "old"}, {3, K::ikMovedTo, true, 7, "new"}},
       false},
      {"deletions, writes, attributes",
       {{1, IN_DELETE, 0, "x", 16}, {1, IN_CLOSE_WRITE, 0, "y", 16}, {1, IN_ATTRIB, 0, "z", 16}},
       0,
       {{1, K::ikDeleted, false, 0, "x"},
        {1, K::ikModified, false, 0, "y"},
        {1, K::ikModified, false, 0, "z"}},
       false},
      {"the watched directory itself: gone and moved; deleted is told by its parent",
       {{4, IN_DELETE_SELF, 0, "", 0}, {4, IN_IGNORED, 0, "", 0}, {1, IN_MOVE_SELF, 0, "", 0}},
       0,
       {{4, K::ikWatchGone, false, 0, ""}, {1, K::ikMovedSelf, false, 0, ""}},
       false},
      {"an overflow is told, not listed",
       {{1, IN_CREATE, 0, "a", 16}, {-1, IN_Q_OVERFLOW, 0, "", 0}},
       0,
       {{1, K::ikCreated, false, 0, "a"}},
       true},
      {"a name that fills its length has no terminator",
       {{1, IN_CREATE, 0, "abcdefgh", 8}},
       0,
       {{1, K::ikCreated, false, 0, "abcdefgh"}},
       false},
      {"an event cut off in its name or header is dropped",
       {{1, IN_CREATE, 0, "a", 16}, {1, IN_CREATE, 0, "b", 16}},
       1,
       {{1, K::ikCreated, false, 0, "a"}},
       false},
      {"a lone partial header", {{1, IN_CREATE, 0, "", 0}}, 1, {}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bytes = Bytes(c.raws);
    std::vector<TInotifyEvent> got;
    EXPECT_EQ(DecodeInotifyEvents(bytes.data(), bytes.size() - c.cut, got), c.overflow);
    EXPECT_EQ(got, c.want);
  }
}

TEST(InotifyTreeMap, PathsFollowMovesAndRemovalsOfWholeSubtrees) {
  TInotifyTreeMap map;
  // As the arming hands them over: children before their parents.
  std::vector<TArmedDir> armed{{3, 2, "b"}, {2, 1, "a"}, {4, 1, "c"}, {1, -1, ""}};
  map.Adopt(armed);
  std::string rel;
  ASSERT_EQ(map.Root(), 1);
  EXPECT_TRUE(map.RelDir(1, rel));
  EXPECT_EQ(rel, "");
  EXPECT_TRUE(map.RelDir(3, rel));
  EXPECT_EQ(rel, "a/b/");
  EXPECT_EQ(map.Find("a/b"), 3);
  EXPECT_EQ(map.Find(""), 1);
  EXPECT_EQ(map.Find("a/x"), -1);

  map.Link(2, 4, "moved");  // "a" renamed to "c/moved", "b" along with it
  EXPECT_TRUE(map.RelDir(3, rel));
  EXPECT_EQ(rel, "c/moved/b/");
  EXPECT_EQ(map.Find("a"), -1);
  EXPECT_EQ(map.FindChild(1, "a"), -1);
  EXPECT_EQ(map.Find("c/moved/b"), 3);

  std::vector<int> removed = map.RemoveSubtree(4);
  ASSERT_FALSE(removed.empty());
  EXPECT_EQ(removed.front(), 4);
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(map.Size(), 1u);
  EXPECT_FALSE(map.RelDir(3, rel));
  EXPECT_EQ(map.Except({}), std::vector<int>{1});

  // Lost events may leave a loop of parents: it names no place, and the walk up ends.
  map.Link(5, 6, "p");
  map.Link(6, 5, "q");
  EXPECT_FALSE(map.RelDir(5, rel));

  map.RemoveSubtree(1);
  EXPECT_EQ(map.Root(), -1);
}

}  // namespace
}  // namespace mv
