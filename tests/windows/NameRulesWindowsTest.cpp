// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows side of the name rules: "\" and ":" as delimiters, the ANSI code page and its
// lead bytes. Gbk* tests run under a Chinese locale (code page 936), Western* under an English
// one; ctest starts this program once for each.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "utility/NameRules.h"
#include "utility/ShellOpen.h"

namespace mv {
namespace {

// Restores the lead bytes and the thread locale a test changed.
class TLocaleScope {
 public:
  TLocaleScope() : lead_(LeadBytes()), lcid_(GetThreadLocale()) {}
  ~TLocaleScope() {
    SetThreadLocale(lcid_);
    SetLeadBytes(lead_);
  }

 private:
  TLeadBytes lead_;
  LCID lcid_;
};

int CountSet(const TLeadBytes& lead) {
  int n = 0;
  for (bool b : lead.set) n += b ? 1 : 0;
  return n;
}

TEST(PortableWindows, BackslashAndColonDelimitNamesSlashDoesNot) {
  TLocaleScope keep;
  SetLeadBytes(TLeadBytes{});
  EXPECT_EQ(NameDirectory("D:\\music\\song.mp3"), "D:\\music\\");
  EXPECT_EQ(NameDirectory("d:song.mp3"), "d:");
  EXPECT_EQ(NameOnly("D:\\music\\"), "");
  EXPECT_EQ(NameOnly("a/b"), "a/b");
  EXPECT_EQ(NameExtension("D:\\music\\song.MP3"), ".MP3");
  EXPECT_EQ(NameExtension("a.b\\c"), "");
  EXPECT_EQ(NameExtension("d:"), "");
  EXPECT_EQ(NameExtension("a.b/c"), ".b/c");
  EXPECT_TRUE(EndsWithDirDelimiter("C:\\"));
  EXPECT_TRUE(EndsWithDirDelimiter("C:"));
  EXPECT_FALSE(EndsWithDirDelimiter("C:/x/"));
  EXPECT_EQ(ShellWorkingDirectory("https://example.org/page"), "https:");
  EXPECT_EQ(ShellWorkingDirectory("C:\\music\\a.mp3"), "C:\\music\\");
}

TEST(PortableWindows, WideToAnsiReadsExactlyTheGivenLength) {
  const char16_t unterminated[] = {u'a', u'b', u'c'};
  EXPECT_EQ(WideToAnsi(unterminated, 2), "ab");
  EXPECT_EQ(WideToAnsi(u"song.mp3\0tail", 8), "song.mp3");
  EXPECT_EQ(WideToAnsi(u"x", 0), "");
  EXPECT_EQ(WideToAnsi(nullptr, 3), "");
  // Longer than the 4,095-byte working buffer of the system's classic conversion.
  const std::u16string longName(5000, u'n');
  EXPECT_EQ(WideToAnsi(longName.data(), longName.size()), std::string(5000, 'n'));
}

TEST(GbkWindows, TheLocaleGivesCodePage936AndItsLeadBytes) {
  ASSERT_EQ(GetACP(), 936u) << "run with LANG=zh_CN.GBK";
  TLocaleScope keep;
  InitLeadBytesFromLocale();
  const TLeadBytes& lead = LeadBytes();
  EXPECT_TRUE(lead.enabled);
  EXPECT_EQ(CountSet(lead), 0xFE - 0x81 + 1);
  EXPECT_FALSE(lead.set[0x80]);
  EXPECT_TRUE(lead.set[0x81]);
  EXPECT_TRUE(lead.set[0xFE]);
  EXPECT_FALSE(lead.set[0xFF]);
}

TEST(GbkWindows, WesternThreadLocaleTurnsDoubleByteSupportOff) {
  ASSERT_EQ(GetACP(), 936u) << "run with LANG=zh_CN.GBK";
  TLocaleScope keep;
  ASSERT_TRUE(
      SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
  InitLeadBytesFromLocale();
  EXPECT_FALSE(LeadBytes().enabled);
  EXPECT_EQ(CountSet(LeadBytes()), 0);
  ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT)));
  InitLeadBytesFromLocale();
  EXPECT_FALSE(LeadBytes().enabled);
  // Japanese is no western language: the set follows the code page again.
  ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), SORT_DEFAULT)));
  InitLeadBytesFromLocale();
  EXPECT_TRUE(LeadBytes().enabled);
}

TEST(GbkWindows, WideNamesBecomeGbkBytes) {
  ASSERT_EQ(GetACP(), 936u) << "run with LANG=zh_CN.GBK";
  EXPECT_EQ(WideToAnsi(u"中文.mp3", 6), "\xD6\xD0\xCE\xC4.mp3");
  // U+4E57 is 0x81 0x5C in GBK: its second byte is a backslash.
  EXPECT_EQ(WideToAnsi(u"\u4E57", 1), "\x81\x5C");
  // Without an equivalent in the code page: the default replacement character.
  EXPECT_EQ(WideToAnsi(u"a\u0E01b", 3), "a?b");
}

TEST(GbkWindows, ASecondByteBackslashIsNoDelimiter) {
  ASSERT_EQ(GetACP(), 936u) << "run with LANG=zh_CN.GBK";
  TLocaleScope keep;
  InitLeadBytesFromLocale();
  const std::string folder = "C:\\x\\" + WideToAnsi(u"\u4E57", 1);  // ends in 0x81 0x5C
  const std::string name = folder + "\\a" + WideToAnsi(u"\u4E57", 1);
  EXPECT_EQ(NameDirectory(name), folder + "\\");
  EXPECT_EQ(NameOnly(name), "a\x81\x5C");
  EXPECT_EQ(NameExtension("C:\\x\\song.mp\x81\x5C"), ".mp\x81\x5C");
  EXPECT_FALSE(EndsWithDirDelimiter(folder));
  EXPECT_TRUE(EndsWithDirDelimiter(folder + "\\"));
  EXPECT_EQ(ShellWorkingDirectory(name), folder + "\\");
}

TEST(WesternWindows, AnEnglishLocaleHasNoLeadBytes) {
  ASSERT_EQ(GetACP(), 1252u) << "run with LANG=en_US.UTF-8";
  TLocaleScope keep;
  InitLeadBytesFromLocale();
  EXPECT_FALSE(LeadBytes().enabled);
  EXPECT_EQ(CountSet(LeadBytes()), 0);
  // Code page 1252 has no lead bytes even for a non-western thread locale.
  ASSERT_TRUE(SetThreadLocale(
      MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT)));
  InitLeadBytesFromLocale();
  EXPECT_FALSE(LeadBytes().enabled);
  EXPECT_EQ(NameDirectory("C:\\x\\\x81\\y"), "C:\\x\\\x81\\");
}

TEST(WesternWindows, WideNamesBecomeCodePage1252Bytes) {
  ASSERT_EQ(GetACP(), 1252u) << "run with LANG=en_US.UTF-8";
  EXPECT_EQ(WideToAnsi(u"caf\u00E9.mp3", 8), "caf\xE9.mp3");
  EXPECT_EQ(WideToAnsi(u"\u4E2D.mp3", 5), "?.mp3");
}

}  // namespace
}  // namespace mv
