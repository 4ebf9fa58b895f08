// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list box's item list, as the commands see it. The window implements it over its list
// view; the command-line tool and tests use TMemoryListItems. Texts are narrow byte strings.

#include <string>
#include <string_view>
#include <vector>

namespace mv {

class TListBoxStrings {
 public:
  virtual ~TListBoxStrings() = default;
  virtual int Count() const = 0;
  // Raises EStringListError "列表索引越界 (%d)" for an index outside the list.
  virtual std::string Get(int index) const = 0;
  // Appends at the end and returns the new index; EOutOfResources "无法插入行" on failure.
  virtual int Add(const std::string& text) = 0;
  // Deletes without any check (an index outside the list does nothing).
  virtual void Delete(int index) = 0;
  // Deletes the entries at indices, given from the highest index to the lowest without
  // repeats, at a cost that does not grow with their number.
  virtual void DeleteMany(const std::vector<int>& indicesDescending) = 0;
  // The caret (focus) item, which need not be selected; -1 when none.
  virtual int ItemIndex() const = 0;
  virtual void SetItemIndex(int index) = 0;
  virtual int SelCount() const = 0;
  // Raises EListError "列表索引越界 (%d)" for an index outside the list.
  virtual bool Selected(int index) const = 0;
  // The last entry equal to text without regard to ASCII case, or -1, at a cost that does not
  // grow with the list.
  virtual int IndexOfNoCase(std::string_view text) const = 0;
  virtual bool ContainsNoCase(std::string_view text) const { return IndexOfNoCase(text) >= 0; }
};

}  // namespace mv
