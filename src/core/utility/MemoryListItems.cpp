// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/MemoryListItems.h"

#include <algorithm>
#include <new>

#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

int TMemoryListItems::Count() const { return static_cast<int>(entries_.size()); }

std::string TMemoryListItems::Get(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(FormatD(text::kListIndexError, index));
  return entries_[static_cast<std::size_t>(index)].text;
}

int TMemoryListItems::Add(const std::string& text) {
  try {
    std::string lower = AsciiLower(text);
    entries_.push_back(TEntry{text, false});
    try {
      ++lowerCounts_[std::move(lower)];
    } catch (...) {
      entries_.pop_back();
      throw;
    }
  } catch (const std::bad_alloc&) {
    throw EOutOfResources(text::kCannotInsertLine);
  } catch (const std::length_error&) {
    throw EOutOfResources(text::kCannotInsertLine);
  }
  return Count() - 1;
}

void TMemoryListItems::Forget(const TEntry& entry) {
  const auto it = lowerCounts_.find(AsciiLower(entry.text));
  if (it != lowerCounts_.end() && --it->second == 0) lowerCounts_.erase(it);
  if (entry.selected) --selCount_;
}

void TMemoryListItems::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  Forget(entries_[static_cast<std::size_t>(index)]);
  entries_.erase(entries_.begin() + index);
  if (index < caret_) --caret_;
  if (caret_ >= Count()) caret_ = Count() - 1;
}

void TMemoryListItems::DeleteMany(const std::vector<int>& indicesDescending) {
  // Tolerant of any order and of repeats, although callers give them descending.
  std::vector<int> indices(indicesDescending);
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  indices.erase(std::remove_if(indices.begin(), indices.end(),
                               [this](int i) { return i < 0 || i >= Count(); }),
                indices.end());
  if (indices.empty()) return;

  // Entries below the caret that go move it down by one each.
  const int before =
      static_cast<int>(std::lower_bound(indices.begin(), indices.end(), caret_) - indices.begin());

  std::size_t write = 0;
  std::size_t next = 0;
  for (std::size_t read = 0; read < entries_.size(); ++read) {
    if (next < indices.size() && static_cast<std::size_t>(indices[next]) == read) {
      Forget(entries_[read]);
      ++next;
      continue;
    }
    if (write != read) entries_[write] = std::move(entries_[read]);
    ++write;
  }
  entries_.resize(write);

  if (caret_ >= 0) {
    // As one by one from the top: a deleted caret entry leaves the caret on its index (or
    // the new end), and each deletion below it moves it down.
    caret_ -= before;
    if (caret_ >= Count()) caret_ = Count() - 1;
  }
}

int TMemoryListItems::ItemIndex() const { return caret_; }

void TMemoryListItems::SetItemIndex(int index) {
  if (ItemIndex() == index) return;
  if (index < -1 || index >= Count()) return;
  caret_ = index;
}

int TMemoryListItems::SelCount() const { return selCount_; }

bool TMemoryListItems::Selected(int index) const {
  if (index < 0 || index >= Count()) throw EListError(FormatD(text::kListIndexError, index));
  return entries_[static_cast<std::size_t>(index)].selected;
}

void TMemoryListItems::SetSelected(int index, bool selected) {
  if (index < 0 || index >= Count()) throw EListError(FormatD(text::kListIndexError, index));
  auto& entry = entries_[static_cast<std::size_t>(index)];
  if (entry.selected == selected) return;
  entry.selected = selected;
  selCount_ += selected ? 1 : -1;
}

void TMemoryListItems::ClearSelection() {
  for (auto& entry : entries_) entry.selected = false;
  selCount_ = 0;
}

bool TMemoryListItems::ContainsNoCase(std::string_view text) const {
  return lowerCounts_.find(AsciiLower(text)) != lowerCounts_.end();
}

}  // namespace mv
