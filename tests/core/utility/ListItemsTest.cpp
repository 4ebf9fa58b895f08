// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory list: the rules every list store keeps (ListStoreContract.h), and what is its
// own: the selection flags it keeps and where its caret goes when entries leave.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "utility/ListStoreContract.h"
#include "utility/MemoryListItems.h"
#include "utility/SysUtils.h"

namespace mv {
namespace test {

struct TMemoryStoreTraits {
  using TStore = TMemoryListItems;
  static std::unique_ptr<TStore> Make() { return std::make_unique<TStore>(); }
  static void Select(TStore& store, int index) { store.SetSelected(index, true); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, ListStoreContract, TMemoryStoreTraits);

}  // namespace test

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

TEST(MemoryListItems, SetSelectedNamesABadIndex) {
  TMemoryListItems list;
  list.Add("/a");
  ExpectError<EListError>([&] { list.SetSelected(7, true); }, "列表索引越界 (7)");
  ExpectError<EListError>([&] { list.SetSelected(-1, false); }, "列表索引越界 (-1)");
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
