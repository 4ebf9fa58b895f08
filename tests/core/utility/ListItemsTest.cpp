// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory list: messages and indices of its errors, the case-insensitive index kept
// right through additions and deletions, and batch deletion matching one-by-one deletion.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "utility/MemoryListItems.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

template <class E, class F>
void ExpectError(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "wrong exception type: " << e.what();
  }
}

TEST(MemoryListItems, ErrorsNameTheIndex) {
  TMemoryListItems list;
  ExpectError<EStringListError>([&] { list.Get(0); }, "列表索引越界 (0)");
  list.Add("/a");
  list.Add("/b");
  list.Add("/c");
  ExpectError<EStringListError>([&] { list.Get(3); }, "列表索引越界 (3)");
  ExpectError<EStringListError>([&] { list.Get(-1); }, "列表索引越界 (-1)");
  ExpectError<EListError>([&] { list.Selected(3); }, "列表索引越界 (3)");
  ExpectError<EListError>([&] { list.Selected(-2); }, "列表索引越界 (-2)");
  ExpectError<EListError>([&] { list.SetSelected(7, true); }, "列表索引越界 (7)");
  EXPECT_EQ(list.Get(2), "/c");
  EXPECT_FALSE(list.Selected(2));
}

TEST(MemoryListItems, AddAppendsAndDeleteIgnoresBadIndices) {
  TMemoryListItems list;
  EXPECT_EQ(list.Add("/z"), 0);
  EXPECT_EQ(list.Add("/a"), 1);
  EXPECT_EQ(list.Add("/m"), 2);
  EXPECT_EQ(list.Add("/a"), 3);  // duplicates are kept: the caller decides
  list.Delete(4);
  list.Delete(-1);
  EXPECT_EQ(list.Count(), 4);
  list.Delete(1);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(0), "/z");
  EXPECT_EQ(list.Get(1), "/m");
  EXPECT_EQ(list.Get(2), "/a");
  EXPECT_TRUE(list.ContainsNoCase("/A"));  // the second "/a" is still there
  list.Delete(2);
  EXPECT_FALSE(list.ContainsNoCase("/a"));
}

TEST(MemoryListItems, ContainsNoCaseFoldsAsciiLettersOnly) {
  TMemoryListItems list;
  list.Add("/Music/Song.MP3");
  list.Add("/x/\xC4.mp3");
  EXPECT_TRUE(list.ContainsNoCase("/music/song.mp3"));
  EXPECT_TRUE(list.ContainsNoCase("/MUSIC/SONG.MP3"));
  EXPECT_FALSE(list.ContainsNoCase("/music/song.mp"));
  EXPECT_FALSE(list.ContainsNoCase("/x/\xE4.mp3"));
  EXPECT_TRUE(list.ContainsNoCase("/X/\xC4.MP3"));
  EXPECT_FALSE(list.ContainsNoCase(""));
}

TEST(MemoryListItems, SelectionTravelsWithItsEntry) {
  TMemoryListItems list;
  for (const char* t : {"/0", "/1", "/2", "/3"}) list.Add(t);
  list.SetSelected(1, true);
  list.SetSelected(3, true);
  list.SetSelected(3, true);
  EXPECT_EQ(list.SelCount(), 2);
  list.Delete(0);
  EXPECT_TRUE(list.Selected(0));
  EXPECT_FALSE(list.Selected(1));
  EXPECT_TRUE(list.Selected(2));
  list.Delete(0);
  EXPECT_EQ(list.SelCount(), 1);
  list.ClearSelection();
  EXPECT_EQ(list.SelCount(), 0);
  EXPECT_FALSE(list.Selected(1));
}

TEST(MemoryListItems, CaretFollowsDeletions) {
  TMemoryListItems list;
  EXPECT_EQ(list.ItemIndex(), -1);
  for (const char* t : {"/0", "/1", "/2", "/3"}) list.Add(t);
  list.SetItemIndex(4);  // outside the list: ignored
  EXPECT_EQ(list.ItemIndex(), -1);
  list.SetItemIndex(2);
  EXPECT_EQ(list.ItemIndex(), 2);
  list.Delete(0);  // below the caret: it moves with its entry
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_EQ(list.Get(list.ItemIndex()), "/2");
  list.Delete(2);  // above: no change
  EXPECT_EQ(list.ItemIndex(), 1);
  list.Delete(1);  // the caret's own entry, now the last: clamped to the new end
  EXPECT_EQ(list.ItemIndex(), 0);
  list.SetItemIndex(-1);
  EXPECT_EQ(list.ItemIndex(), -1);
  list.SetItemIndex(0);
  list.Delete(0);
  EXPECT_EQ(list.ItemIndex(), -1);
  EXPECT_EQ(list.Count(), 0);
}

struct TSnapshot {
  std::vector<std::string> texts;
  std::vector<bool> selected;
  int caret;
  int selCount;
  bool operator==(const TSnapshot&) const = default;
};

TSnapshot Snap(const TMemoryListItems& list) {
  TSnapshot s{{}, {}, list.ItemIndex(), list.SelCount()};
  for (int i = 0; i < list.Count(); ++i) {
    s.texts.push_back(list.Get(i));
    s.selected.push_back(list.Selected(i));
  }
  return s;
}

// Random lists and random deletion sets: the batch leaves exactly what Delete one by one from
// the highest index down leaves (the interface's own loop), and the case-insensitive index
// agrees with a scan using AsciiCompareNoCase.
TEST(MemoryListItems, BatchDeleteMatchesOneByOne) {
  std::mt19937 rng(12345);
  const std::vector<std::string> pool = {"/a.mp3", "/A.MP3", "/b.wav", "/B.wav", "/c", "/\xC4"};
  for (int round = 0; round < 300; ++round) {
    TMemoryListItems batch;
    TMemoryListItems single;
    const int n = static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i) {
      const std::string& t = pool[rng() % pool.size()];
      batch.Add(t);
      single.Add(t);
      if (rng() % 3 == 0) {
        batch.SetSelected(i, true);
        single.SetSelected(i, true);
      }
    }
    const int caret = n == 0 ? -1 : static_cast<int>(rng() % (n + 1)) - 1;
    batch.SetItemIndex(caret);
    single.SetItemIndex(caret);
    std::vector<int> descending;
    for (int i = n - 1; i >= 0; --i) {
      if (rng() % 2 == 0) descending.push_back(i);
    }
    batch.DeleteMany(descending);
    single.TListBoxStrings::DeleteMany(descending);
    ASSERT_EQ(Snap(batch), Snap(single)) << "round " << round;

    for (const std::string& probe : pool) {
      bool scan = false;
      for (int i = batch.Count() - 1; i >= 0 && !scan; --i) {
        scan = AsciiCompareNoCase(batch.Get(i), probe) == 0;
      }
      ASSERT_EQ(batch.ContainsNoCase(probe), scan) << "round " << round << " probe " << probe;
    }
  }
}

TEST(MemoryListItems, BatchDeleteToleratesDisorderAndBadIndices) {
  TMemoryListItems list;
  for (const char* t : {"/0", "/1", "/2", "/3", "/4"}) list.Add(t);
  list.DeleteMany({1, 9, 3, 1, -4});
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(0), "/0");
  EXPECT_EQ(list.Get(1), "/2");
  EXPECT_EQ(list.Get(2), "/4");
  list.DeleteMany({});
  EXPECT_EQ(list.Count(), 3);
}

TEST(MemoryListItems, BatchDeleteOfALongList) {
  TMemoryListItems list;
  const int n = 100000;
  for (int i = 0; i < n; ++i) list.Add("/dl/" + std::to_string(i) + ".MP3");
  std::vector<int> odd;
  for (int i = n - 1; i >= 0; --i) {
    if (i % 2 == 1) odd.push_back(i);
  }
  list.DeleteMany(odd);
  ASSERT_EQ(list.Count(), n / 2);
  EXPECT_EQ(list.Get(n / 2 - 1), "/dl/" + std::to_string(n - 2) + ".MP3");
  EXPECT_TRUE(list.ContainsNoCase("/dl/99998.mp3"));
  EXPECT_FALSE(list.ContainsNoCase("/dl/99999.mp3"));
}

}  // namespace
}  // namespace mv
