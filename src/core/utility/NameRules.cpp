// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/NameRules.h"

#include <algorithm>

namespace mv {

namespace {

// Written once at start-up (before other threads exist), read-only afterwards.
TLeadBytes g_leadBytes;

}  // namespace

TLeadBytes TLeadBytes::FromRanges(
    std::initializer_list<std::pair<unsigned char, unsigned char>> r) {
  TLeadBytes lead;
  for (const auto& [first, last] : r) {
    for (unsigned v = first; v <= last; ++v) lead.set[v] = true;
  }
  lead.enabled = std::find(lead.set.begin(), lead.set.end(), true) != lead.set.end();
  return lead;
}

const TLeadBytes& LeadBytes() { return g_leadBytes; }

void SetLeadBytes(const TLeadBytes& lead) {
  g_leadBytes = lead;
  // Double-byte support is on exactly when the set is not empty.
  g_leadBytes.enabled =
      std::find(g_leadBytes.set.begin(), g_leadBytes.set.end(), true) != g_leadBytes.set.end();
}

TDelimiters LinuxDelimiters() { return TDelimiters{"/", "./"}; }
TDelimiters WindowsDelimiters() { return TDelimiters{"\\:", ".\\:"}; }

TByteKind ByteKind(std::string_view text, std::size_t pos1, const TLeadBytes& lead) {
  if (!lead.enabled || pos1 == 0 || pos1 > text.size()) return TByteKind::Single;
  const auto c = static_cast<unsigned char>(text[pos1 - 1]);
  if (c == 0) return TByteKind::Single;
  // Length of the run of lead-set bytes that ends just before pos1.
  std::size_t run = 0;
  for (std::size_t i = pos1 - 1; i >= 1; --i) {
    if (!lead.set[static_cast<unsigned char>(text[i - 1])]) break;
    ++run;
  }
  if (run % 2 == 1) return TByteKind::Trail;
  return lead.set[c] ? TByteKind::Lead : TByteKind::Single;
}

int LastDelimiterPos(std::string_view delimiters, std::string_view text, const TLeadBytes& lead) {
  std::size_t i = text.size();
  while (i > 0) {
    const char c = text[i - 1];
    if (c != '\0' && delimiters.find(c) != std::string_view::npos) {
      if (ByteKind(text, i, lead) != TByteKind::Trail) return static_cast<int>(i);
      // A trail byte: skip it together with its lead byte.
      if (i < 2) break;
      i -= 2;
      continue;
    }
    --i;
  }
  return 0;
}

std::string NameExtension(std::string_view name, const TDelimiters& d, const TLeadBytes& lead) {
  const int p = LastDelimiterPos(d.extension, name, lead);
  if (p > 0 && name[static_cast<std::size_t>(p) - 1] == '.') {
    return std::string(name.substr(static_cast<std::size_t>(p) - 1));
  }
  return {};
}

std::string NameDirectory(std::string_view name, const TDelimiters& d, const TLeadBytes& lead) {
  const int p = LastDelimiterPos(d.directory, name, lead);
  return std::string(name.substr(0, static_cast<std::size_t>(p)));
}

std::string NameOnly(std::string_view name, const TDelimiters& d, const TLeadBytes& lead) {
  const int p = LastDelimiterPos(d.directory, name, lead);
  return std::string(name.substr(static_cast<std::size_t>(p)));
}

bool EndsWithDirDelimiter(std::string_view text, const TDelimiters& d, const TLeadBytes& lead) {
  if (text.empty()) return false;
  const char c = text.back();
  if (c == '\0' || d.directory.find(c) == std::string::npos) return false;
  return ByteKind(text, text.size(), lead) != TByteKind::Trail;
}

std::string WithDirDelimiter(std::string_view dir, const TDelimiters& d, const TLeadBytes& lead) {
  std::string out(dir);
  if (out.empty()) return out;
  // Only the delimiter proper counts: a drive "D:" gets one too, as "D:name" would name a file
  // in the drive's current directory rather than in its root.
  const char delimiter = d.directory.front();
  if (out.back() != delimiter || ByteKind(out, out.size(), lead) == TByteKind::Trail) {
    out += delimiter;
  }
  return out;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return out;
}

int AsciiCompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(a[i]);
    int y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    if (x >= 'a' && x <= 'z') x -= 0x20;
    if (y >= 'a' && y <= 'z') y -= 0x20;
    if (x != y) return x - y;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int SubstringPosition(std::string_view needle, std::string_view text) {
  if (needle.empty() || text.empty() || needle.size() > text.size()) return 0;
  const std::size_t p = text.find(needle);
  return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

std::string TrimControlChars(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && static_cast<unsigned char>(text[first]) <= 0x20) ++first;
  if (first == text.size()) return {};
  std::size_t last = text.size();
  while (static_cast<unsigned char>(text[last - 1]) <= 0x20) --last;
  return std::string(text.substr(first, last - first));
}

bool ExtensionInMask(std::string_view name, std::string_view mask) {
  return SubstringPosition(AsciiLower(NameExtension(name)), AsciiLower(mask)) > 0;
}

}  // namespace mv
