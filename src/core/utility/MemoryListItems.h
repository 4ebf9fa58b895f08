// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list without a window, for the command-line tool and tests: entries in arrival order,
// a caret index and one selection flag per entry.
// A long list is mostly its texts: they lie end to end in one buffer with one end offset
// each, so an entry costs its bytes and 4 more, not a string object and a heap block of its
// own (about 100 bytes for a typical path), and a selection flag costs one bit.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "utility/FoldedIndex.h"
#include "utility/ListItems.h"

namespace mv {

class TMemoryListItems final : public TListBoxStrings {
 public:
  int Count() const override;
  std::string Get(int index) const override;
  int Add(const std::string& text) override;
  // DeleteMany of one: the caret moves with its entry and stays at the same index when its own
  // entry goes (clamped to the new end).
  void Delete(int index) override;
  // Deletes all the given entries in one pass, O(Count() + k log k) for k indices, with the
  // caret ending where one-by-one Delete calls from the highest index down would leave it.
  // Descending order is expected but any order works; repeats and indices outside the list
  // are ignored. The once-a-second sweep of a long list uses this.
  void DeleteMany(const std::vector<int>& indicesDescending) override;
  int ItemIndex() const override;
  // -1 clears the caret; other indices outside the list are ignored.
  void SetItemIndex(int index) override;
  int SelCount() const override;
  bool Selected(int index) const override;
  // Raises EListError "列表索引越界 (%d)" for an index outside the list.
  void SetSelected(int index, bool selected);
  void ClearSelection();
  int IndexOfNoCase(std::string_view text) const override;

 private:
  std::string_view Text(std::size_t index) const;

  std::string texts_;                // every entry's text, one after the other
  std::vector<std::uint32_t> ends_;  // where each entry's text ends in texts_
  std::vector<bool> selected_;
  TFoldedIndex index_;
  int caret_ = -1;
  int selCount_ = 0;
};

}  // namespace mv
