// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "utility/JsonText.h"

namespace mv {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

struct TJsonCase {
  const char* name;
  std::string bytes;
  std::string literal;  // what JsonString writes
  bool utf8;            // what IsValidUtf8 says
};

std::string Replacements(int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += kReplacement;
  return s;
}

TEST(JsonText, StringsAreEscapedAndBytesThatAreNotUtf8BecomeReplacements) {
  const TJsonCase cases[] = {
      {"empty", "", "\"\"", true},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\"", true},
      {"line breaks and tab", "a\nb\rc\td", "\"a\\nb\\rc\\td\"", true},
      {"other control bytes and DEL", std::string("\x01\x08\x0C\x1F\x7F", 5),
       "\"\\u0001\\u0008\\u000c\\u001f\\u007f\"", true},
      {"NUL inside", std::string("a\0b", 3), "\"a\\u0000b\"", true},
      {"two-, three- and four-byte characters", "/下载/é歌😀.mp3", "\"/下载/é歌😀.mp3\"", true},
      {"highest code point", "\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\"", true},
      {"stray byte", "n\xFFme", "\"n" + Replacements(1) + "me\"", false},
      {"lone continuation", "\x80x", "\"" + Replacements(1) + "x\"", false},
      {"overlong slash", "\xC0\xAF", "\"" + Replacements(2) + "\"", false},
      {"overlong three bytes", "\xE0\x80\xAF", "\"" + Replacements(3) + "\"", false},
      {"surrogate", "\xED\xA0\x80", "\"" + Replacements(3) + "\"", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "\"" + Replacements(4) + "\"", false},
      {"cut short at the end", "ok\xE6\xAD", "\"ok" + Replacements(2) + "\"", false},
      {"cut short before ASCII", "\xE6\xAD\"", "\"" + Replacements(2) + "\\\"\"", false},
  };
  for (const TJsonCase& c : cases) {
    EXPECT_EQ(JsonString(c.bytes), c.literal) << c.name;
    EXPECT_EQ(IsValidUtf8(c.bytes), c.utf8) << c.name;
  }
}

TEST(JsonText, Base64FollowsTheStandardVectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\xFF\x00\xFE", 3), "/wD+"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(Base64(bytes), text) << text;
}

}  // namespace
}  // namespace mv
