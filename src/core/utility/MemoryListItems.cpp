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
    entries_.push_back(TEntry{text, false});
    try {
      index_.Append(text);
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

void TMemoryListItems::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  if (entries_[static_cast<std::size_t>(index)].selected) --selCount_;
  entries_.erase(entries_.begin() + index);
  index_.Erase(static_cast<std::size_t>(index), static_cast<std::size_t>(index) + 1);
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

  std::vector<bool> keep(entries_.size(), true);
  for (int i : indices) keep[static_cast<std::size_t>(i)] = false;
  std::size_t write = 0;
  for (std::size_t read = 0; read < entries_.size(); ++read) {
    if (!keep[read]) {
      if (entries_[read].selected) --selCount_;
      continue;
    }
    if (write != read) entries_[write] = std::move(entries_[read]);
    ++write;
  }
  entries_.resize(write);
  index_.KeepWhere(keep);

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
  return IndexOfNoCase(text) >= 0;
}

int TMemoryListItems::IndexOfNoCase(std::string_view text) const {
  return index_.FindLast(text,
                         [this](std::size_t i) -> const std::string& { return entries_[i].text; });
}

}  // namespace mv
