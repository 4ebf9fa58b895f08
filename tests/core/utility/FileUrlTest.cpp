// SPDX-License-Identifier: GPL-3.0-or-later
// file: URLs of byte paths: what a receiver decodes must be the same bytes.
#include <gtest/gtest.h>

#include <string>

#include "utility/FileUrl.h"

namespace mv {
namespace {

TEST(FileUrl, EncodesEveryByteOutsideTheUnreservedSet) {
  const struct {
    std::string path;
    std::string url;
  } cases[] = {
      {"/music/song.mp3", "file:///music/song.mp3"},
      {"/a b/%20#?;&+=x~y_-", "file:///a%20b/%2520%23%3F%3B%26%2B%3Dx~y_-"},
      // UTF-8 and a name that is not UTF-8 (GBK), byte for byte.
      {"/\xE4\xB8\xAD.mp3", "file:///%E4%B8%AD.mp3"},
      {"/\xD6\xD0\xCE\xC4", "file:///%D6%D0%CE%C4"},
      {std::string("/nul\0x", 6), "file:///nul%00x"},
      {"/new\nline", "file:///new%0Aline"},
      {"relative/x.mp3", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileUrl(c.path), c.url) << c.path;
  EXPECT_EQ(PercentEncodePath("rel/\x80"), "rel/%80");
}

}  // namespace
}  // namespace mv
