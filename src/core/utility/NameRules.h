// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Byte-wise rules on narrow text (the locale's narrow encoding; paths are kept as bytes).
// Positions are 1-based, 0 meaning "none".

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace mv {

// Lead bytes of the locale's double-byte encoding; empty (and off) for UTF-8 and single-byte
// encodings. Written once at start-up, before any other thread exists; only read afterwards.
struct TLeadBytes {
  std::array<bool, 256> set{};
  bool enabled = false;  // double-byte support: on exactly when the set is not empty
  static TLeadBytes FromRanges(std::initializer_list<std::pair<unsigned char, unsigned char>> r);
};

const TLeadBytes& LeadBytes();
void SetLeadBytes(const TLeadBytes& lead);
// Fills the set from the current locale's narrow encoding (call after setlocale(LC_ALL, "")).
void InitLeadBytesFromLocale();
// The lead-byte set of a narrow encoding named as nl_langinfo(CODESET) names it ("GBK",
// "BIG5", "SHIFT_JIS", "EUC-KR", ...); empty for UTF-8, single-byte and unknown encodings.
TLeadBytes LeadBytesForCodeset(std::string_view codeset);

// Path delimiters of this platform: Linux "/" (the extension also stops at "."), Windows "\\" and
// ":".
struct TDelimiters {
  std::string directory;  // delimiters of the directory part
  std::string extension;  // delimiters that end an extension search, "." first
};
const TDelimiters& PlatformDelimiters();
TDelimiters LinuxDelimiters();
TDelimiters WindowsDelimiters();

enum class TByteKind { Single, Lead, Trail };
TByteKind ByteKind(std::string_view text, std::size_t pos1, const TLeadBytes& lead);

// The rules below take this platform's delimiters and the locale's lead bytes unless told
// otherwise.
int LastDelimiterPos(std::string_view delimiters, std::string_view text,
                     const TLeadBytes& lead = LeadBytes());

std::string NameExtension(std::string_view name, const TDelimiters& d = PlatformDelimiters(),
                          const TLeadBytes& lead = LeadBytes());
std::string NameDirectory(std::string_view name, const TDelimiters& d = PlatformDelimiters(),
                          const TLeadBytes& lead = LeadBytes());
std::string NameOnly(std::string_view name, const TDelimiters& d = PlatformDelimiters(),
                     const TLeadBytes& lead = LeadBytes());

// True when the text's last byte is a directory delimiter that is not a trail byte.
bool EndsWithDirDelimiter(std::string_view text, const TDelimiters& d = PlatformDelimiters(),
                          const TLeadBytes& lead = LeadBytes());

// The directory with the first directory delimiter ("\\" on Windows, "/" on Linux) appended
// unless it already ends in that one (a trail byte that equals the delimiter does not count:
// appending is needed there, or the next name would join that character; a drive "D:" gets
// one too). Empty stays empty.
std::string WithDirDelimiter(std::string_view dir, const TDelimiters& d = PlatformDelimiters(),
                             const TLeadBytes& lead = LeadBytes());

std::string AsciiLower(std::string_view text);
int AsciiCompareNoCase(std::string_view a, std::string_view b);
int SubstringPosition(std::string_view needle, std::string_view text);
std::string TrimControlChars(std::string_view text);

// UTF-16 (exactly len units, nothing past them is read) to the narrow encoding; characters
// without an equivalent become '?'. Length 0 or a failed conversion gives the empty text.
std::string WideToAnsi(const char16_t* wide, std::size_t len);
// The same into a named iconv codeset (Linux); empty when the codeset is unknown.
std::string WideToCodeset(const char16_t* wide, std::size_t len, std::string_view codeset);

// True when the lower-cased extension of name occurs in the lower-cased mask (an empty
// extension never does).
bool ExtensionInMask(std::string_view name, std::string_view mask);

}  // namespace mv
