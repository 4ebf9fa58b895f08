// SPDX-License-Identifier: GPL-3.0-or-later
// The byte-wise name and text rules, with both delimiter sets and with a double-byte lead set.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "utility/NameRules.h"
#include "utility/SysUtils.h"

using namespace std::string_view_literals;

namespace mv {
namespace {

const TLeadBytes kNoLead{};
const TLeadBytes kGbk = TLeadBytes::FromRanges({{0x81, 0xFE}});

enum class TRule { Extension, Directory, Only };

struct TCase {
  TRule rule;
  const char* windowsName;
  const char* windowsResult;
  const char* linuxName;
  const char* linuxResult;
};

std::string Apply(TRule rule, std::string_view name, const TDelimiters& d, const TLeadBytes& lead) {
  switch (rule) {
    case TRule::Extension:
      return NameExtension(name, d, lead);
    case TRule::Directory:
      return NameDirectory(name, d, lead);
    case TRule::Only:
      return NameOnly(name, d, lead);
  }
  return "<bad rule>";
}

// One table for both platforms: the Windows form of each case and its Linux counterpart.
// On Linux "\" and ":" are ordinary bytes; on Windows "/" is.
const std::vector<TCase> kNameCases = {
    {TRule::Extension, "D:\\music\\song.MP3", ".MP3", "/music/song.MP3", ".MP3"},
    {TRule::Extension, "a.b\\c", "", "a.b/c", ""},
    {TRule::Extension, "song", "", "song", ""},
    {TRule::Extension, "song.", ".", "song.", "."},
    {TRule::Extension, ".mp3", ".mp3", ".mp3", ".mp3"},
    {TRule::Extension, "a.tar.gz", ".gz", "a.tar.gz", ".gz"},
    {TRule::Extension, "d:", "", "d/", ""},
    {TRule::Extension, "d:.mp3", ".mp3", "d/.mp3", ".mp3"},
    {TRule::Extension, "a.b/c", ".b/c", "a.b\\c", ".b\\c"},
    {TRule::Extension, "a.b:c", "", "a.b:c", ".b:c"},
    {TRule::Extension, "", "", "", ""},
    {TRule::Directory, "D:\\music\\song.mp3", "D:\\music\\", "/music/song.mp3", "/music/"},
    {TRule::Directory, "d:song.mp3", "d:", "d/song.mp3", "d/"},
    {TRule::Directory, "d:song.mp3", "d:", "d:song.mp3", ""},
    {TRule::Directory, "song.mp3", "", "song.mp3", ""},
    {TRule::Directory, "a/b\\c", "a/b\\", "a\\b/c", "a\\b/"},
    {TRule::Directory, "\\", "\\", "/", "/"},
    {TRule::Only, "D:\\music\\", "", "/music/", ""},
    {TRule::Only, "D:\\music\\song.mp3", "song.mp3", "/music/song.mp3", "song.mp3"},
    {TRule::Only, "song.mp3", "song.mp3", "song.mp3", "song.mp3"},
    {TRule::Only, "a\\b/c", "b/c", "a/b\\c", "b\\c"},
};

TEST(NameRules, TableWithWindowsDelimiters) {
  for (const TCase& c : kNameCases) {
    EXPECT_EQ(Apply(c.rule, c.windowsName, WindowsDelimiters(), kNoLead), c.windowsResult)
        << "name " << c.windowsName << " rule " << static_cast<int>(c.rule);
  }
}

TEST(NameRules, TableWithLinuxDelimiters) {
  for (const TCase& c : kNameCases) {
    EXPECT_EQ(Apply(c.rule, c.linuxName, LinuxDelimiters(), kNoLead), c.linuxResult)
        << "name " << c.linuxName << " rule " << static_cast<int>(c.rule);
  }
}

TEST(NameRules, TrailBackslashIsNoDelimiter) {
  const auto w = WindowsDelimiters();
  // 0x81 0x5C is one double-byte character whose second byte is "\".
  const std::string name = "D:\\a\x81\\b.mp3";
  EXPECT_EQ(NameDirectory(name, w, kGbk), "D:\\");
  EXPECT_EQ(NameOnly(name, w, kGbk), "a\x81\\b.mp3");
  EXPECT_EQ(NameDirectory(name, w, kNoLead), "D:\\a\x81\\");
  EXPECT_EQ(NameOnly(name, w, kNoLead), "b.mp3");

  // The extension search does not stop at the trail byte either.
  EXPECT_EQ(NameExtension("a.b\x81\\c", w, kGbk), ".b\x81\\c");
  EXPECT_EQ(NameExtension("a.b\x81\\c", w, kNoLead), "");

  // Lead support switched off: the same set counts for nothing.
  TLeadBytes off = kGbk;
  off.enabled = false;
  EXPECT_EQ(NameDirectory(name, w, off), "D:\\a\x81\\");

  EXPECT_FALSE(EndsWithDirDelimiter("dir\x81\\", w, kGbk));
  EXPECT_TRUE(EndsWithDirDelimiter("dir\x81\\", w, kNoLead));
  EXPECT_TRUE(EndsWithDirDelimiter("dir\\", w, kGbk));
  EXPECT_FALSE(EndsWithDirDelimiter("", w, kGbk));
  EXPECT_TRUE(EndsWithDirDelimiter("/home/", LinuxDelimiters(), kGbk));
  EXPECT_FALSE(EndsWithDirDelimiter("c:\\x\\", LinuxDelimiters(), kNoLead));

  // A folder whose last character ends in the delimiter byte still gets its delimiter, or the
  // next name would join that character.
  EXPECT_EQ(WithDirDelimiter("dir\x81\\", w, kGbk), "dir\x81\\\\");
  EXPECT_EQ(WithDirDelimiter("dir\\", w, kGbk), "dir\\");
  EXPECT_EQ(WithDirDelimiter("dir", w, kGbk), "dir\\");
  EXPECT_EQ(WithDirDelimiter("", w, kGbk), "");
  EXPECT_EQ(WithDirDelimiter("dir\x81\x81\\", w, kGbk), "dir\x81\x81\\");  // a whole character
  EXPECT_EQ(WithDirDelimiter("dir\x81\\", w, kNoLead), "dir\x81\\");
  EXPECT_EQ(WithDirDelimiter("D:", w, kGbk), "D:\\");  // the root, not the drive's current folder
  EXPECT_EQ(WithDirDelimiter("/music", LinuxDelimiters(), kGbk), "/music/");
  EXPECT_EQ(WithDirDelimiter("/", LinuxDelimiters(), kGbk), "/");
}

// Whether a byte is a trail byte depends on the parity of the lead-set run before it.
TEST(NameRules, LeadRunParity) {
  const std::string_view d = "\\";
  EXPECT_EQ(LastDelimiterPos(d, "\x81\\", kGbk), 0);
  EXPECT_EQ(LastDelimiterPos(d, "\x81\x81\\", kGbk), 3);  // two leads form one character
  EXPECT_EQ(LastDelimiterPos(d, "\x81\x81\x81\\", kGbk), 0);
  EXPECT_EQ(LastDelimiterPos(d, "a\\\x81\\", kGbk), 2);  // steps over the pair to "\"
  EXPECT_EQ(LastDelimiterPos(d, "\\\x81\\\\", kGbk), 4);
  // A zero byte is a single byte and breaks the run.
  EXPECT_EQ(LastDelimiterPos(d, "\x81\0\\"sv, kGbk), 3);
  // A zero byte is never a delimiter, even when the set names it.
  EXPECT_EQ(LastDelimiterPos("\\\0"sv, "a\\b\0c"sv, kNoLead), 2);

  EXPECT_EQ(ByteKind("\x81\x40", 1, kGbk), TByteKind::Lead);
  EXPECT_EQ(ByteKind("\x81\x40", 2, kGbk), TByteKind::Trail);
  EXPECT_EQ(ByteKind("\x81\x81", 2, kGbk), TByteKind::Trail);
  EXPECT_EQ(ByteKind("\x81\x81\x81", 3, kGbk), TByteKind::Lead);
  EXPECT_EQ(ByteKind("a\x40", 2, kGbk), TByteKind::Single);
  EXPECT_EQ(ByteKind("\x81\x40", 2, kNoLead), TByteKind::Single);
  EXPECT_EQ(ByteKind("\x81\0"sv, 2, kGbk), TByteKind::Single);
}

TEST(NameRules, SetLeadBytesSwitchesDoubleByteSupport) {
  const TLeadBytes saved = LeadBytes();
  SetLeadBytes(kGbk);
  EXPECT_TRUE(LeadBytes().enabled);
  EXPECT_EQ(LastDelimiterPos("\\", "\x81\\"), 0);
  SetLeadBytes(TLeadBytes{});
  EXPECT_FALSE(LeadBytes().enabled);
  EXPECT_EQ(LastDelimiterPos("\\", "\x81\\"), 2);
  SetLeadBytes(saved);
}

TEST(TextRules, AsciiLower) {
  EXPECT_EQ(AsciiLower(".MP3"), ".mp3");
  EXPECT_EQ(AsciiLower("*.WAV;*.Mp3"), "*.wav;*.mp3");
  EXPECT_EQ(AsciiLower("@[`{AZ"), "@[`{az");
  // Bytes from 0x80 up stay, and a trail byte in A..Z is changed like any other byte.
  EXPECT_EQ(AsciiLower("\xC4\xD6\xE4"), "\xC4\xD6\xE4");
  EXPECT_EQ(AsciiLower("\x81"
                       "A"),
            "\x81"
            "a");
  EXPECT_EQ(AsciiLower("A\0B"sv), "a\0b"sv);
}

TEST(TextRules, AsciiCompareNoCase) {
  EXPECT_EQ(AsciiCompareNoCase("ABC", "abc"), 0);
  EXPECT_LT(AsciiCompareNoCase("ab", "abc"), 0);
  EXPECT_GT(AsciiCompareNoCase("abc", "ab"), 0);
  EXPECT_EQ(AsciiCompareNoCase("", ""), 0);
  EXPECT_EQ(AsciiCompareNoCase("zZ", "Zz"), 0);
  // Only letters fold: "[" is not "{", "@" is not "`", 0xC4 is not 0xE4.
  EXPECT_NE(AsciiCompareNoCase("[", "{"), 0);
  EXPECT_NE(AsciiCompareNoCase("@", "`"), 0);
  EXPECT_NE(AsciiCompareNoCase("\xC4", "\xE4"), 0);
  // Bytes compare as unsigned: 0xFF sorts after "A".
  EXPECT_GT(AsciiCompareNoCase("\xFF", "a"), 0);
  EXPECT_EQ(AsciiCompareNoCase("\xFF", "a"), 0xFF - 'A');
  EXPECT_EQ(AsciiCompareNoCase("b", "C"), 'B' - 'C');
}

TEST(TextRules, SubstringPosition) {
  const std::string mask = "*.wav;*.mp3;*.wma";
  EXPECT_EQ(SubstringPosition("", mask), 0);
  EXPECT_EQ(SubstringPosition(".mp3", mask), 8);
  EXPECT_EQ(SubstringPosition(".mp", mask), 8);
  EXPECT_EQ(SubstringPosition("*", mask), 1);
  EXPECT_EQ(SubstringPosition(".ogg", mask), 0);
  EXPECT_EQ(SubstringPosition(".MP3", mask), 0);
  EXPECT_EQ(SubstringPosition("x", ""), 0);
  EXPECT_EQ(SubstringPosition("abcd", "abc"), 0);
  EXPECT_EQ(SubstringPosition("aab", "aaab"), 2);
  EXPECT_EQ(SubstringPosition("b\0"sv, "ab\0"sv), 2);
}

TEST(TextRules, ExtensionInMask) {
  const std::string mask = "*.WAV;*.mp3;*.wma";
  EXPECT_TRUE(ExtensionInMask("song.MP3", mask));
  EXPECT_TRUE(ExtensionInMask("song.wav", mask));
  EXPECT_TRUE(ExtensionInMask("song.mp", mask));  // a prefix of a listed extension matches
  EXPECT_FALSE(ExtensionInMask("song", mask));
  EXPECT_FALSE(ExtensionInMask("song.ogg", mask));
  EXPECT_FALSE(ExtensionInMask("song.mp3", ""));
}

TEST(TextRules, TrimControlChars) {
  EXPECT_EQ(TrimControlChars("  \t\x01\x1f "), "");
  EXPECT_EQ(TrimControlChars(""), "");
  EXPECT_EQ(TrimControlChars("\0 a b\x1f "sv), "a b");
  EXPECT_EQ(TrimControlChars("\xA0x\x80"), "\xA0x\x80");
  EXPECT_EQ(TrimControlChars("!"), "!");
  EXPECT_EQ(TrimControlChars(" c:\\ "), "c:\\");
}

TEST(FormatD, ReplacesTheFirstPlaceholder) {
  EXPECT_EQ(FormatD(text::kListIndexError, 3), "列表索引越界 (3)");
  EXPECT_EQ(FormatD(text::kListIndexError, -1), "列表索引越界 (-1)");
  EXPECT_EQ(FormatD("%d", 0), "0");
  EXPECT_EQ(FormatD("%d", -2147483648LL), "-2147483648");
  EXPECT_EQ(FormatD("%d", LLONG_MIN), "-9223372036854775808");
  EXPECT_EQ(FormatD("%d", 1234567), "1234567");
  EXPECT_EQ(FormatD("a%db%d", 7), "a7b%d");
  EXPECT_EQ(FormatD("100%", 5), "100%");
  EXPECT_EQ(FormatD("", 5), "");
}

}  // namespace
}  // namespace mv
