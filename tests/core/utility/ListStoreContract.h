// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules every list store keeps, as the commands rely on them: appending at the end, the
// exact error texts with their index, deletion that ignores what lies outside the list, the
// case-folded duplicate index agreeing with a search from the last entry to the first through
// any additions and deletions, and DeleteMany leaving the same texts, selection and caret as
// Delete called from the highest index down.
//
// Include this header in one file of a test program and instantiate the suite with a traits
// type that makes a store and selects an entry in it the way its user would:
//
//   struct TMyStoreTraits {
//     using TStore = TMyStore;                      // a TListBoxStrings
//     static std::unique_ptr<TStore> Make();      // a deleter of its own may go with it
//     static void Select(TStore& store, int index);
//     // Optional, false when left out: the caret is on an entry whenever the list has one (a
//     // system list box starts it on the first and refuses -1).
//     static constexpr bool kCaretAlwaysOnAnEntry = true;
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(MyStore, ListStoreContract, TMyStoreTraits);

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "utility/ListItems.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv::test {

template <class TTraits>
class ListStoreContract : public ::testing::Test {
 protected:
  using TStore = typename TTraits::TStore;

  static constexpr bool CaretAlwaysOnAnEntry() {
    if constexpr (requires { TTraits::kCaretAlwaysOnAnEntry; }) {
      return TTraits::kCaretAlwaysOnAnEntry;
    } else {
      return false;
    }
  }

  static auto Make(const std::vector<std::string>& texts) {
    auto store = TTraits::Make();
    for (const std::string& text : texts) store->Add(text);
    return store;
  }

  struct TState {
    std::vector<std::string> texts;
    std::vector<int> selected;
    int selCount;
    int caret;
    bool operator==(const TState&) const = default;
  };
  static TState StateOf(const TStore& store) {
    TState s{{}, {}, store.SelCount(), store.ItemIndex()};
    for (int i = 0; i < store.Count(); ++i) {
      s.texts.push_back(store.Get(i));
      if (store.Selected(i)) s.selected.push_back(i);
    }
    return s;
  }

  // The search the index stands for: from the last entry to the first, ASCII case ignored.
  static int Scan(const TStore& store, const std::string& text) {
    for (int i = store.Count() - 1; i >= 0; --i) {
      if (AsciiCompareNoCase(store.Get(i), text) == 0) return i;
    }
    return -1;
  }

  template <class E, class F>
  static std::string MessageOf(F&& f) {
    try {
      f();
    } catch (const E& e) {
      return e.Message();
    } catch (const std::exception& e) {
      return std::string("wrong class: ") + e.what();
    }
    return "nothing raised";
  }
};

TYPED_TEST_SUITE_P(ListStoreContract);

TYPED_TEST_P(ListStoreContract, AppendsAtTheEndAndKeepsBytesAndDuplicates) {
  auto store = TypeParam::Make();
  EXPECT_EQ(store->Count(), 0);
  const std::string odd = "/tmp/n\xFFme\x80.mp3";
  EXPECT_EQ(store->Add("/z.mp3"), 0);
  EXPECT_EQ(store->Add(odd), 1);
  EXPECT_EQ(store->Add("/z.mp3"), 2);  // the store takes duplicates: its caller decides
  EXPECT_EQ(TestFixture::StateOf(*store).texts,
            (std::vector<std::string>{"/z.mp3", odd, "/z.mp3"}));
}

TYPED_TEST_P(ListStoreContract, ErrorsNameTheIndexAndDeleteIgnoresIndicesOutside) {
  auto store = TypeParam::Make();
  using F = TestFixture;
  EXPECT_EQ(F::template MessageOf<EStringListError>([&] { store->Get(0); }), "列表索引越界 (0)");
  for (const char* text : {"/a", "/b", "/c"}) store->Add(text);
  EXPECT_EQ(F::template MessageOf<EStringListError>([&] { store->Get(3); }), "列表索引越界 (3)");
  EXPECT_EQ(F::template MessageOf<EStringListError>([&] { store->Get(-1); }), "列表索引越界 (-1)");
  EXPECT_EQ(F::template MessageOf<EListError>([&] { store->Selected(3); }), "列表索引越界 (3)");
  EXPECT_EQ(F::template MessageOf<EListError>([&] { store->Selected(-2); }), "列表索引越界 (-2)");
  store->Delete(3);
  store->Delete(-1);
  store->DeleteMany({7, -3});
  EXPECT_EQ(F::StateOf(*store).texts, (std::vector<std::string>{"/a", "/b", "/c"}));
}

TYPED_TEST_P(ListStoreContract, CaretIsIndependentOfTheSelection) {
  auto store = TestFixture::Make({"/0", "/1", "/2", "/3"});
  const bool alwaysOnEntry = TestFixture::CaretAlwaysOnAnEntry();
  if (alwaysOnEntry) {
    EXPECT_GE(store->ItemIndex(), 0);
    EXPECT_LT(store->ItemIndex(), 4);
  } else {
    EXPECT_EQ(store->ItemIndex(), -1);
  }
  store->SetItemIndex(2);
  EXPECT_EQ(store->ItemIndex(), 2);
  EXPECT_EQ(store->SelCount(), 0);
  TypeParam::Select(*store, 0);
  TypeParam::Select(*store, 3);
  EXPECT_EQ(store->SelCount(), 2);
  EXPECT_EQ(store->ItemIndex(), 2);
  store->SetItemIndex(4);  // not an entry: refused
  EXPECT_EQ(store->ItemIndex(), 2);
  store->SetItemIndex(-1);
  EXPECT_EQ(store->ItemIndex(), alwaysOnEntry ? 2 : -1);
  EXPECT_EQ(store->SelCount(), 2);
}

// Random additions and deletions of names that differ in ASCII case, in bytes from 0x80 up and
// by a prefix: after each step the index answers as the search does.
TYPED_TEST_P(ListStoreContract, FoldedIndexAnswersAsTheSearchFromTheLastEntry) {
  const std::vector<std::string> pool = {"/a.mp3", "/A.MP3", "/a.mp",   "/b.wav", "/B.wav",
                                         "/\xC4",  "/\xE4",  "/x/\xC4", ""};
  std::mt19937 rng(7);
  auto store = TypeParam::Make();
  for (int step = 0; step < 600; ++step) {
    const unsigned what = rng() % 10;
    const int count = store->Count();
    if (what < 5 || count == 0) {
      store->Add(pool[rng() % (pool.size() - 1)]);
    } else if (what < 8) {
      store->Delete(static_cast<int>(rng() % static_cast<unsigned>(count)));
    } else {
      std::vector<int> gone;
      for (int i = count - 1; i >= 0; --i) {
        if (rng() % 3 == 0) gone.push_back(i);
      }
      store->DeleteMany(gone);
    }
    for (const std::string& probe : pool) {
      const int expected = TestFixture::Scan(*store, probe);
      ASSERT_EQ(store->IndexOfNoCase(probe), expected) << "step " << step << " probe " << probe;
      ASSERT_EQ(store->ContainsNoCase(probe), expected >= 0) << "step " << step;
    }
  }
}

// Lists long enough for a store to delete scattered entries in one pass, with selections and
// carets anywhere (on a deleted entry too).
TYPED_TEST_P(ListStoreContract, DeleteManyLeavesWhatSingleDeletesLeave) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 60; ++round) {
    const int n = static_cast<int>(rng() % (round < 40 ? 12 : 300));
    std::vector<std::string> texts;
    for (int i = 0; i < n; ++i) texts.push_back("/dl/" + std::to_string(rng() % 50) + ".mp3");
    auto batch = TestFixture::Make(texts);
    auto single = TestFixture::Make(texts);
    for (int i = 0; i < n; ++i) {
      if (rng() % 3 == 0) {
        TypeParam::Select(*batch, i);
        TypeParam::Select(*single, i);
      }
    }
    const int caret = static_cast<int>(rng() % static_cast<unsigned>(n + 1)) - 1;
    batch->SetItemIndex(caret);
    single->SetItemIndex(caret);
    std::vector<int> descending;
    const unsigned keepOneIn = 1 + rng() % 4;
    for (int i = n - 1; i >= 0; --i) {
      if (rng() % keepOneIn != 0) descending.push_back(i);
    }
    // Repeats and indices outside the list are ignored, and any order does.
    std::vector<int> given = descending;
    given.push_back(n);
    given.push_back(-1);
    if (!descending.empty()) given.insert(given.begin(), descending.back());
    std::shuffle(given.begin(), given.end(), rng);
    batch->DeleteMany(given);
    for (int i : descending) single->Delete(i);
    ASSERT_EQ(TestFixture::StateOf(*batch), TestFixture::StateOf(*single)) << "round " << round;
    for (const std::string& text : texts) {
      ASSERT_EQ(batch->IndexOfNoCase(text), TestFixture::Scan(*batch, text)) << "round " << round;
    }
  }
}

REGISTER_TYPED_TEST_SUITE_P(ListStoreContract, AppendsAtTheEndAndKeepsBytesAndDuplicates,
                            ErrorsNameTheIndexAndDeleteIgnoresIndicesOutside,
                            CaretIsIndependentOfTheSelection,
                            FoldedIndexAnswersAsTheSearchFromTheLastEntry,
                            DeleteManyLeavesWhatSingleDeletesLeave);

}  // namespace mv::test
