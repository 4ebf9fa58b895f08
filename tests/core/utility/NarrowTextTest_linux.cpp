// SPDX-License-Identifier: GPL-3.0-or-later
// The locale-dependent rules on Linux: lead bytes by codeset, and wide-to-narrow conversion.
#include <gtest/gtest.h>
#include <langinfo.h>

#include <clocale>
#include <string>

#include "utility/NameRules.h"

namespace mv {
namespace {

TEST(LeadBytesForCodeset, KnownEncodings) {
  for (const char* none : {"UTF-8", "utf8", "ISO-8859-1", "ANSI_X3.4-1968", "KOI8-R", ""}) {
    EXPECT_FALSE(LeadBytesForCodeset(none).enabled) << none;
  }
  for (const char* dbcs : {"GBK", "gb18030", "CP936", "BIG5", "CP950", "EUC-KR", "CP949"}) {
    const TLeadBytes lead = LeadBytesForCodeset(dbcs);
    EXPECT_TRUE(lead.enabled) << dbcs;
    EXPECT_FALSE(lead.set[0x80]) << dbcs;
    EXPECT_TRUE(lead.set[0x81]) << dbcs;
    EXPECT_TRUE(lead.set[0xFE]) << dbcs;
    EXPECT_FALSE(lead.set[0xFF]) << dbcs;
    EXPECT_FALSE(lead.set['\\']) << dbcs;
  }
  for (const char* sjis : {"SHIFT_JIS", "SJIS", "CP932"}) {
    const TLeadBytes lead = LeadBytesForCodeset(sjis);
    EXPECT_TRUE(lead.set[0x9F] && lead.set[0xE0] && lead.set[0xFC]) << sjis;
    EXPECT_FALSE(lead.set[0xA0] || lead.set[0xDF] || lead.set[0xFD]) << sjis;
  }
}

// Sets a locale for one test and puts the previous one back.
class TLocale {
 public:
  explicit TLocale(const char* name) : saved_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~TLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

TEST(InitLeadBytesFromLocale, Utf8HasNoLeadBytes) {
  const TLeadBytes saved = LeadBytes();
  TLocale locale("C.UTF-8");
  ASSERT_TRUE(locale.ok());
  SetLeadBytes(TLeadBytes::FromRanges({{0x81, 0xFE}}));
  InitLeadBytesFromLocale();
  EXPECT_FALSE(LeadBytes().enabled);
  SetLeadBytes(saved);
}

TEST(WideToAnsi, Utf8Locale) {
  TLocale locale("C.UTF-8");
  ASSERT_TRUE(locale.ok());
  const char16_t pair[] = {u'a', 0xD83D, 0xDE00, u'b'};
  EXPECT_EQ(WideToAnsi(pair, 4),
            "a\xF0\x9F\x98\x80"
            "b");
  EXPECT_EQ(WideToAnsi(u"中文.mp3", 6), "中文.mp3");
  const char16_t loneHigh[] = {0xD800, u'b'};
  EXPECT_EQ(WideToAnsi(loneHigh, 2), "?b");
  const char16_t loneLow[] = {u'b', 0xDC00};
  EXPECT_EQ(WideToAnsi(loneLow, 2), "b?");
  // Nothing past len is read: the low surrogate after it would make a pair.
  EXPECT_EQ(WideToAnsi(pair, 2), "a?");
  EXPECT_EQ(WideToAnsi(pair, 1), "a");
  EXPECT_EQ(WideToAnsi(pair, 0), "");
  EXPECT_EQ(WideToAnsi(nullptr, 0), "");
  const char16_t nul[] = {u'a', 0, u'b'};
  EXPECT_EQ(WideToAnsi(nul, 3), std::string("a\0b", 3));
}

TEST(WideToAnsi, AsciiLocaleReplacesWithQuestionMark) {
  TLocale locale("C");
  ASSERT_TRUE(locale.ok());
  const char16_t text[] = {u'a', u'中', 0xD83D, 0xDE00, u'b', 0xDC00, u'c'};
  EXPECT_EQ(WideToAnsi(text, 7), "a??b?c");  // one '?' for the pair
  EXPECT_EQ(WideToAnsi(text, 3), "a??");     // the high surrogate without its low half
  EXPECT_EQ(WideToAnsi(text, 0), "");
}

TEST(WideToAnsi, DoubleByteCodeset) {
  const char16_t text[] = {u'中', u'文', u'\\', 0xD83D, 0xDE00, u'x'};
  EXPECT_EQ(WideToCodeset(text, 6, "GBK"), "\xD6\xD0\xCE\xC4\\?x");
  EXPECT_EQ(WideToCodeset(text, 4, "GBK"), "\xD6\xD0\xCE\xC4\\?");
  const char16_t table[] = {u'表'};  // second byte 0x5C in Shift-JIS
  EXPECT_EQ(WideToCodeset(table, 1, "SHIFT_JIS"), "\x95\\");
  EXPECT_EQ(WideToCodeset(text, 6, "NO-SUCH-CODESET"), "");
  // Long texts go through more than one round of the converter.
  std::u16string long_(5000, u'中');
  std::string expected;
  for (int i = 0; i < 5000; ++i) expected += "\xD6\xD0";
  EXPECT_EQ(WideToCodeset(long_.data(), long_.size(), "GB18030"), expected);
}

}  // namespace
}  // namespace mv
