// SPDX-License-Identifier: GPL-3.0-or-later
// The byte-wise name rules on arbitrary bytes. The first byte picks a lead-byte set (none, or
// that of a double-byte code set) and the delimiters (Linux or Windows); the rest is split in
// two texts. Invariants: directory + name part = whole name; the extension is empty or a
// suffix of the name part starting with "."; no delimiter found is a trail byte; the
// case-insensitive comparison is antisymmetric; trimming and lower-casing keep what they must.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "utility/NameRules.h"

namespace {

const mv::TLeadBytes& Lead(unsigned pick) {
  static const mv::TLeadBytes sets[] = {
      mv::TLeadBytes{}, mv::TLeadBytes::FromRanges({{0x81, 0xFE}}),  // GBK, BIG5, UHC
      mv::TLeadBytes::FromRanges({{0x81, 0x9F}, {0xE0, 0xFC}}),      // Shift_JIS
      mv::TLeadBytes::FromRanges({{0xA1, 0xFE}}),                    // EUC-CN
  };
  return sets[pick % std::size(sets)];
}

int Sign(int v) { return (v > 0) - (v < 0); }

void CheckName(std::string_view name, const mv::TDelimiters& d, const mv::TLeadBytes& lead) {
  const std::string dir = mv::NameDirectory(name, d, lead);
  const std::string only = mv::NameOnly(name, d, lead);
  FUZZ_CHECK(dir + only == name);

  const std::string ext = mv::NameExtension(name, d, lead);
  if (!ext.empty()) {
    FUZZ_CHECK(ext.front() == '.');
    FUZZ_CHECK(ext.size() <= only.size());
    FUZZ_CHECK(only.compare(only.size() - ext.size(), ext.size(), ext) == 0);
  }

  const int p = mv::LastDelimiterPos(d.directory, name, lead);
  FUZZ_CHECK(p >= 0 && static_cast<std::size_t>(p) <= name.size());
  if (p > 0) {
    FUZZ_CHECK(d.directory.find(name[static_cast<std::size_t>(p) - 1]) != std::string::npos);
    FUZZ_CHECK(mv::ByteKind(name, static_cast<std::size_t>(p), lead) != mv::TByteKind::Trail);
  }
  if (mv::EndsWithDirDelimiter(name, d, lead)) FUZZ_CHECK(only.empty());

  // A trail byte follows a lead byte; ByteKind is linear, so only short names get all of it.
  if (name.size() <= 256) {
    for (std::size_t i = 1; i <= name.size(); ++i) {
      if (mv::ByteKind(name, i, lead) == mv::TByteKind::Trail) {
        FUZZ_CHECK(i >= 2 && mv::ByteKind(name, i - 1, lead) == mv::TByteKind::Lead);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const mv::TLeadBytes& lead = Lead(data[0] & 0x7F);
  const mv::TDelimiters d = (data[0] & 0x80) != 0 ? mv::WindowsDelimiters() : mv::LinuxDelimiters();
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view a = rest.substr(0, rest.size() / 2);
  const std::string_view b = rest.substr(rest.size() / 2);

  CheckName(a, d, lead);
  CheckName(b, d, lead);

  FUZZ_CHECK(mv::AsciiCompareNoCase(a, a) == 0);
  FUZZ_CHECK(Sign(mv::AsciiCompareNoCase(a, b)) == -Sign(mv::AsciiCompareNoCase(b, a)));
  const std::string lower = mv::AsciiLower(a);
  FUZZ_CHECK(lower.size() == a.size());
  FUZZ_CHECK(mv::AsciiLower(lower) == lower);
  FUZZ_CHECK(mv::AsciiCompareNoCase(a, lower) == 0);

  const std::string trimmed = mv::TrimControlChars(a);
  if (!trimmed.empty()) {
    FUZZ_CHECK(a.find(trimmed) != std::string_view::npos);
    FUZZ_CHECK(static_cast<unsigned char>(trimmed.front()) > 0x20);
    FUZZ_CHECK(static_cast<unsigned char>(trimmed.back()) > 0x20);
  }

  const int pos = mv::SubstringPosition(b, a);
  if (pos > 0) FUZZ_CHECK(a.substr(static_cast<std::size_t>(pos) - 1, b.size()) == b);
  return 0;
}
