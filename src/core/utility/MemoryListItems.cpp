// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/MemoryListItems.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "utility/SysUtils.h"

namespace mv {

std::string_view TMemoryListItems::Text(std::size_t index) const {
  const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(texts_).substr(begin, ends_[index] - begin);
}

int TMemoryListItems::Count() const { return static_cast<int>(ends_.size()); }

std::string TMemoryListItems::Get(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(FormatD(text::kListIndexError, index));
  return std::string(Text(static_cast<std::size_t>(index)));
}

int TMemoryListItems::Add(const std::string& text) {
  const std::size_t size = texts_.size();
  const std::size_t count = ends_.size();
  // The offsets are 32 bits: 4 GiB of texts in all make a full list.
  if (text.size() > std::numeric_limits<std::uint32_t>::max() - size) {
    throw EOutOfResources(text::kCannotInsertLine);
  }
  try {
    texts_ += text;
    ends_.push_back(static_cast<std::uint32_t>(texts_.size()));
    selected_.push_back(false);
    index_.Append(text);
  } catch (...) {
    // Only memory can run out here (bad_alloc, length_error). What was added before the failure
    // goes again, so the store stays as it was: shrinking allocates nothing, and the index adds
    // nothing when it fails.
    texts_.resize(size);
    ends_.resize(count);
    selected_.resize(count);
    throw EOutOfResources(text::kCannotInsertLine);
  }
  return Count() - 1;
}

void TMemoryListItems::Delete(int index) { DeleteMany({index}); }

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

  std::vector<bool> keep(ends_.size(), true);
  for (int i : indices) keep[static_cast<std::size_t>(i)] = false;
  // One pass from the first entry that goes: the texts behind it close up in place.
  const auto first = static_cast<std::size_t>(indices.front());
  std::size_t write = first;
  std::uint32_t end = first == 0 ? 0 : ends_[first - 1];
  std::uint32_t begin = end;  // of the entry read
  for (std::size_t read = first; read < ends_.size(); ++read) {
    const std::uint32_t length = ends_[read] - begin;
    if (keep[read]) {
      if (end != begin) std::memmove(texts_.data() + end, texts_.data() + begin, length);
      end += length;
      ends_[write] = end;
      selected_[write] = selected_[read];
      ++write;
    } else if (selected_[read]) {
      --selCount_;
    }
    begin += length;
  }
  texts_.resize(end);
  // A list that shrank a lot gives its memory back.
  if (texts_.capacity() / 4 > texts_.size()) texts_.shrink_to_fit();
  ends_.resize(write);
  selected_.resize(write);
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
  return selected_[static_cast<std::size_t>(index)];
}

void TMemoryListItems::SetSelected(int index, bool selected) {
  if (index < 0 || index >= Count()) throw EListError(FormatD(text::kListIndexError, index));
  const auto i = static_cast<std::size_t>(index);
  if (selected_[i] == selected) return;
  selected_[i] = selected;
  selCount_ += selected ? 1 : -1;
}

void TMemoryListItems::ClearSelection() {
  selected_.assign(selected_.size(), false);
  selCount_ = 0;
}

int TMemoryListItems::IndexOfNoCase(std::string_view text) const {
  return index_.FindLast(text, [this](std::size_t i) { return Text(i); });
}

}  // namespace mv
