// SPDX-License-Identifier: GPL-3.0-or-later
// The locale-dependent parts of the name rules on Linux: the narrow encoding is the locale's
// codeset (nl_langinfo), paths use "/" only.
#include <iconv.h>
#include <langinfo.h>

#include <bit>
#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "utility/NameRules.h"

namespace mv {

const TDelimiters& PlatformDelimiters() {
  static const TDelimiters delimiters = LinuxDelimiters();
  return delimiters;
}

namespace {

// Upper case without '-' and '_', so "gb-18030", "GB18030" and "gb_18030" compare equal.
std::string NormaliseCodeset(std::string_view codeset) {
  std::string out;
  for (char c : codeset) {
    if (c == '-' || c == '_') continue;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
  }
  return out;
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// One converter per thread and codeset; iconv_open is far dearer than a conversion.
class TConverter {
 public:
  ~TConverter() { Close(); }
  iconv_t For(const std::string& codeset) {
    if (cd_ != kNone && codeset == codeset_) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
      return cd_;
    }
    Close();
    const char* from = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
    cd_ = iconv_open(codeset.c_str(), from);
    codeset_ = codeset;
    return cd_;
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  void Close() {
    if (cd_ != kNone) iconv_close(cd_);
    cd_ = kNone;
  }
  iconv_t cd_ = kNone;
  std::string codeset_;
};

}  // namespace

std::string WideToCodeset(const char16_t* wide, std::size_t len, std::string_view codeset) {
  if (len == 0 || wide == nullptr) return {};
  thread_local TConverter converter;
  iconv_t cd = converter.For(std::string(codeset));
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};

  // Working copy: iconv wants a non-const input pointer, and it must never see past len.
  std::vector<char16_t> in(wide, wide + len);
  char* inPtr = reinterpret_cast<char*>(in.data());
  std::size_t inLeft = len * sizeof(char16_t);
  std::string out;
  std::vector<char> buffer(len * 4 + 16);
  auto flush = [&](char* outPtr) { out.append(buffer.data(), outPtr); };
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    flush(outPtr);
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    if (errno != EILSEQ && errno != EINVAL) return {};
    // An unconvertible or malformed character (an unpaired surrogate included) becomes '?'.
    // A valid surrogate pair is one character: skip both units.
    const auto* unit = reinterpret_cast<const char16_t*>(inPtr);
    std::size_t skip = 1;
    if (IsHigh(unit[0]) && inLeft >= 2 * sizeof(char16_t) && IsLow(unit[1])) skip = 2;
    out += '?';
    inPtr += skip * sizeof(char16_t);
    inLeft -= skip * sizeof(char16_t);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Stateful encodings may need a closing shift sequence.
  char* outPtr = buffer.data();
  std::size_t outLeft = buffer.size();
  if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
    flush(outPtr);
  }
  return out;
}

TLeadBytes LeadBytesForCodeset(std::string_view codeset) {
  // Simplified and traditional Chinese (GBK, Big5) and Korean share one lead range.
  static const std::set<std::string, std::less<>> kWide = {
      "GBK",   "GB18030",    "CP936", "MS936", "WINDOWS936", "BIG5",      "BIG5HKSCS",
      "CP950", "WINDOWS950", "EUCKR", "CP949", "UHC",        "WINDOWS949"};
  static const std::set<std::string, std::less<>> kShiftJis = {"SHIFTJIS", "SJIS", "CP932",
                                                               "WINDOWS31J", "MSKANJI"};
  const std::string n = NormaliseCodeset(codeset);
  if (kWide.count(n) != 0) return TLeadBytes::FromRanges({{0x81, 0xFE}});
  if (n == "GB2312" || n == "EUCCN") return TLeadBytes::FromRanges({{0xA1, 0xFE}});
  if (kShiftJis.count(n) != 0) return TLeadBytes::FromRanges({{0x81, 0x9F}, {0xE0, 0xFC}});
  return TLeadBytes{};  // UTF-8 and single-byte encodings: double-byte support off
}

void InitLeadBytesFromLocale() { SetLeadBytes(LeadBytesForCodeset(nl_langinfo(CODESET))); }

std::string WideToAnsi(const char16_t* wide, std::size_t len) {
  return WideToCodeset(wide, len, nl_langinfo(CODESET));
}

}  // namespace mv
