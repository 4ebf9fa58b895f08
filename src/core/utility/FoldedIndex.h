// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list stores' duplicate index: finds the entries whose text equals a given text without
// regard to ASCII case, at a cost that does not grow with the list. It keeps a position and a
// hash per entry, never the texts themselves: the store that owns the texts is asked for them,
// so each entry is stored once.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "utility/NameRules.h"

namespace mv {

class TFoldedIndex {
 public:
  // The hash of AsciiLower(text), computed without making the lower-cased copy.
  static std::uint32_t Hash(std::string_view text);

  std::size_t Size() const { return hashes_.size(); }
  // The entry appended at position Size(), with the text given.
  void Append(std::string_view text);
  // Entries [first, last) leave; those behind move up.
  void Erase(std::size_t first, std::size_t last);
  // Keeps the entries whose flag is true, in order (keep has one flag per entry).
  void KeepWhere(const std::vector<bool>& keep);
  void Clear();

  // The highest position whose text equals text without regard to ASCII case, or -1. textAt
  // gives the store's text at a position (a std::string_view or anything that converts).
  template <class TTextAt>
  int FindLast(std::string_view text, TTextAt&& textAt) const {
    if (hashes_.empty()) return -1;
    if (stale_) Rebuild();
    const std::uint32_t hash = Hash(text);
    const std::size_t mask = slots_.size() - 1;
    int found = -1;
    for (std::size_t i = hash & mask; slots_[i] != 0; i = (i + 1) & mask) {
      const std::uint32_t pos = slots_[i] - 1;
      if (hashes_[pos] == hash && static_cast<int>(pos) > found &&
          AsciiCompareNoCase(std::string_view(textAt(pos)), text) == 0) {
        found = static_cast<int>(pos);
      }
    }
    return found;
  }

 private:
  void Insert(std::uint32_t pos) const;
  void Rebuild() const;

  std::vector<std::uint32_t> hashes_;  // per position
  // Open addressing with linear probing: position + 1, 0 for an empty slot; at most half full.
  // Removals shift positions, so the slots are rebuilt at the next use rather than each time.
  mutable std::vector<std::uint32_t> slots_;
  mutable bool stale_ = false;
};

}  // namespace mv
