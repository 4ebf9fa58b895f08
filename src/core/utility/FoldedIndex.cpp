// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/FoldedIndex.h"

#include <algorithm>

namespace mv {

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

}  // namespace

std::uint32_t TFoldedIndex::Hash(std::string_view text) {
  // FNV-1a over the folded bytes, with a final mix so that the low bits (the slot) depend on
  // every byte.
  std::uint64_t h = 14695981039346656037ull;
  for (char c : text) {
    h ^= Fold(static_cast<unsigned char>(c));
    h *= 1099511628211ull;
  }
  h ^= h >> 29;
  h *= 0xbf58476d1ce4e5b9ull;
  h ^= h >> 32;
  return static_cast<std::uint32_t>(h);
}

void TFoldedIndex::Append(std::string_view text) {
  hashes_.push_back(Hash(text));
  if (stale_ || hashes_.size() * 2 > slots_.size()) {
    stale_ = true;  // grows at the next lookup, all at once
    return;
  }
  Insert(static_cast<std::uint32_t>(hashes_.size() - 1));
}

void TFoldedIndex::Erase(std::size_t first, std::size_t last) {
  last = std::min(last, hashes_.size());
  if (first >= last) return;
  hashes_.erase(hashes_.begin() + static_cast<std::ptrdiff_t>(first),
                hashes_.begin() + static_cast<std::ptrdiff_t>(last));
  stale_ = true;
}

void TFoldedIndex::KeepWhere(const std::vector<bool>& keep) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < hashes_.size(); ++i) {
    if (i < keep.size() && !keep[i]) continue;
    hashes_[out++] = hashes_[i];
  }
  hashes_.resize(out);
  stale_ = true;
}

void TFoldedIndex::Clear() {
  hashes_.clear();
  slots_.clear();
  stale_ = false;
}

void TFoldedIndex::Insert(std::uint32_t pos) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hashes_[pos] & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = pos + 1;
}

void TFoldedIndex::Rebuild() const {
  std::size_t size = 16;
  while (size < hashes_.size() * 2) size *= 2;
  // A list that shrank a lot gives its slots back.
  if (slots_.size() != size) {
    std::vector<std::uint32_t>(size).swap(slots_);
  } else {
    std::fill(slots_.begin(), slots_.end(), 0u);
  }
  for (std::size_t pos = 0; pos < hashes_.size(); ++pos) Insert(static_cast<std::uint32_t>(pos));
  stale_ = false;
}

}  // namespace mv
