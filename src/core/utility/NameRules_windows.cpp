// SPDX-License-Identifier: GPL-3.0-or-later
// The locale-dependent parts of the name rules on Windows: the narrow encoding is the ANSI code
// page, paths use "\" and ":".
#include <windows.h>

#include <climits>
#include <string>

#include "utility/NameRules.h"

namespace mv {

const TDelimiters& PlatformDelimiters() {
  static const TDelimiters delimiters = WindowsDelimiters();
  return delimiters;
}

namespace {

// Primary languages written with a single-byte Latin code page: their lead-byte set stays
// empty whatever the code page would report.
bool IsWesternLanguage(WORD primary) {
  switch (primary) {
    case LANG_CATALAN:
    case LANG_DANISH:
    case LANG_GERMAN:
    case LANG_ENGLISH:
    case LANG_SPANISH:
    case LANG_FINNISH:
    case LANG_FRENCH:
    case LANG_ICELANDIC:
    case LANG_ITALIAN:
    case LANG_DUTCH:
    case LANG_NORWEGIAN:
    case LANG_PORTUGUESE:
    case LANG_SWEDISH:
      return true;
    default:
      return false;
  }
}

}  // namespace

void InitLeadBytesFromLocale() {
  LCID lcid = GetThreadLocale();
  if (lcid == 0) lcid = 1033;
  TLeadBytes lead;
  if (!IsWesternLanguage(PRIMARYLANGID(LANGIDFROMLCID(lcid)))) {
    // The ranges of the code page names are actually encoded in (the one WideToAnsi converts
    // to), which is the system's, not necessarily the thread locale's.
    CPINFO info{};
    if (GetCPInfo(CP_ACP, &info)) {
      // At most six ranges; a pair of zeros ends them.
      for (int i = 0; i + 1 < MAX_LEADBYTES && (info.LeadByte[i] | info.LeadByte[i + 1]); i += 2) {
        for (unsigned v = info.LeadByte[i]; v <= info.LeadByte[i + 1]; ++v) lead.set[v] = true;
      }
    }
  }
  SetLeadBytes(lead);
}

std::string WideToAnsi(const char16_t* wide, std::size_t len) {
  if (len == 0 || wide == nullptr || len > INT_MAX) return {};
  const auto* in = reinterpret_cast<const wchar_t*>(wide);
  const int units = static_cast<int>(len);
  // Measured first: in a multi-byte code page (UTF-8 among them) one unit may need more than
  // two bytes, and a fixed buffer would make the whole conversion fail.
  const int size = WideCharToMultiByte(CP_ACP, 0, in, units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  const int written = WideCharToMultiByte(CP_ACP, 0, in, units, out.data(), size, nullptr, nullptr);
  if (written <= 0) return {};
  out.resize(static_cast<std::size_t>(written));
  return out;
}

}  // namespace mv
