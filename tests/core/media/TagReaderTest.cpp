// SPDX-License-Identifier: GPL-3.0-or-later
// The portable tag reader on files built in memory: each ID3 version and text encoding, the
// duration of MP3, WAV and WMA, and truncated, lying and failing input.

#include "media/TagReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "TagImages.h"

namespace mv {
namespace {

using namespace test;
using namespace std::string_literals;

struct TExpected {
  std::string title, artist, album;
  std::optional<std::int64_t> durationMs;
  bool audio;
};

// Reads bytes as a file said to have fileSize bytes: past the given ones it ends early (a file
// that shrank), or with zeroFill reads zeros, so that a lying header may point far beyond
// them. Counts what was read.
struct TFakeFile {
  std::string bytes;
  std::uint64_t fileSize;
  bool zeroFill = false;
  std::uint64_t bytesRead = 0;
  int failFrom = -1;  // the read of this number and all after it fail
  bool throwInstead = false;
  int reads = 0;

  TTagInfo Read(const TDecode8& decode8 = Latin1ToUtf8) {
    const TReadAt at = [this](std::uint64_t offset, unsigned char* buffer,
                              std::size_t size) -> std::optional<std::size_t> {
      if (failFrom >= 0 && reads++ >= failFrom) {
        if (throwInstead) throw std::runtime_error("read");
        return std::nullopt;
      }
      const std::uint64_t end =
          zeroFill ? fileSize : std::min<std::uint64_t>(fileSize, bytes.size());
      const std::size_t n =
          offset < end ? static_cast<std::size_t>(std::min<std::uint64_t>(size, end - offset)) : 0;
      std::memset(buffer, 0, n);
      if (offset < bytes.size())
        std::memcpy(buffer, bytes.data() + offset, std::min<std::size_t>(n, bytes.size() - offset));
      bytesRead += n;
      return n;
    };
    return ReadTags(at, fileSize, decode8);
  }
};
TTagInfo Read(const std::string& bytes) { return TFakeFile{bytes, bytes.size()}.Read(); }

void Check(const TTagInfo& got, const TExpected& want) {
  EXPECT_EQ(got.title, want.title);
  EXPECT_EQ(got.artist, want.artist);
  EXPECT_EQ(got.album, want.album);
  EXPECT_EQ(got.durationMs, want.durationMs);
  EXPECT_EQ(got.audio, want.audio);
  EXPECT_TRUE(got.readable);
}

std::string Text(int encoding, std::string_view bytes) {
  return static_cast<char>(encoding) + std::string(bytes);
}
// The same three texts as frames of each version, with 3 CBR frames after the tag.
std::string Tagged(int major, const std::string& title, const std::string& artist,
                   const std::string& album, unsigned flags = 0) {
  const bool v22 = major == 2;
  return Id3v2(major,
               Id3Frame(major, v22 ? "TT2" : "TIT2", title) +
                   Id3Frame(major, v22 ? "TP1" : "TPE1", artist) +
                   Id3Frame(major, v22 ? "TAL" : "TALB", album),
               flags) +
         Mp3Frames(3);
}
constexpr std::int64_t kThreeFramesMs = 3 * kMp3FrameBytes * 8 / 128;

TEST(TagReader, Id3TextsInEachVersionAndEncoding) {
  const std::string le = "\xFF\xFE" + Utf16Le(u"日本\U0001F3B5"), be = "\x65\xE5\x67\x2C";
  const struct {
    const char* name;
    std::string image;
    TExpected want;
  } cases[] = {
      {"v2.2, ISO-8859-1",
       Tagged(2, Text(0, "Caf\xE9"), Text(0, "A"), Text(0, "B")),
       {"Café", "A", "B", kThreeFramesMs, true}},
      {"v2.3, UTF-16 with either BOM",
       Tagged(3, Text(1, le), Text(1, "\xFE\xFF" + be), Text(1, Utf16Le(u"no BOM"))),
       {"日本🎵", "日本", "no BOM", kThreeFramesMs, true}},
      {"v2.4, UTF-16BE and UTF-8, a bad byte and a second value",
       Tagged(4, Text(2, be + std::string(2, '\0') + be), Text(3, "\xC3("), Text(3, "x\0y"s)),
       {"日本", "\uFFFD(", "x", kThreeFramesMs, true}},
      // Without undoing it the BOM reads FF 00 and every later frame is misplaced.
      {"v2.3, the whole tag unsynchronised",
       Id3v2(3, Unsync(Id3Frame(3, "TIT2", Text(1, le)) + Id3Frame(3, "TPE1", Text(0, "\xFF"))),
             0x80) +
           Mp3Frames(3),
       {"日本🎵", "ÿ", "", kThreeFramesMs, true}},
      {"v2.4, one frame unsynchronised",
       Id3v2(4,
             Id3Frame(4, "TIT2", Unsync(Text(1, le)), 0x02) + Id3Frame(4, "TPE1", Text(0, "b"))) +
           Mp3Frames(3),
       {"日本🎵", "b", "", kThreeFramesMs, true}},
      {"v2.3, extended header; compressed and grouped frames",
       Id3v2(3,
             Be(6, 4) + std::string(6, '\0') + Id3Frame(3, "TIT2", Text(0, "zip"), 0x80) +
                 Id3Frame(3, "TIT2", "\x07" + Text(0, "t"), 0x20) +
                 Id3Frame(3, "TPE1", Text(0, "a")),
             0x40) +
           Mp3Frames(3),
       {"t", "a", "", kThreeFramesMs, true}},
      {"v2.4, extended header; group id and data length before the text",
       Id3v2(4,
             Syncsafe(6) + "\x01" + '\0' +
                 Id3Frame(4, "TALB", "\x07" + Be(2, 4) + Text(0, "c"), 0x41),
             0x40) +
           Mp3Frames(3),
       {"", "", "c", kThreeFramesMs, true}},
      {"v2.3, padding after the frames",
       Id3v2(3, Id3Frame(3, "TIT2", Text(0, "t")) + std::string(200, '\0')) + Mp3Frames(3),
       {"t", "", "", kThreeFramesMs, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Check(Read(c.image), c.want);
  }
}

TEST(TagReader, EightBitTextIsTheCallersAndId3v1FillsWhatV2Lacks) {
  // GBK's 中文 as a Chinese system's tag writer stores it; the decoder shows which bytes it got.
  const std::string gbk = "\xD6\xD0\xCE\xC4";
  const TDecode8 hex = [](std::string_view s) {
    std::string out = "<";
    for (const char c : s) out += std::to_string(static_cast<unsigned char>(c)) + ",";
    return out + ">";
  };
  const std::string v1 = Id3v1("v1 title", "v1 artist   ", gbk);
  const struct {
    const char* name;
    std::string image;
    TExpected want;
  } cases[] = {
      {"v2 title, the rest from v1",
       Id3v2(3, Id3Frame(3, "TIT2", Text(0, gbk))) + Mp3Frames(3) + v1,
       {"<214,208,206,196,>", "<118,49,32,97,114,116,105,115,116,32,32,32,>", "<214,208,206,196,>",
        kThreeFramesMs, true}},
      {"RIFF INFO",
       Wav(WavFmt() + WavInfo(gbk, "", "") + Chunk("data", "")),
       {"<214,208,206,196,>", "<>", "<>", 0, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Check(TFakeFile{c.image, c.image.size()}.Read(hex), c.want);
  }
  // Latin-1 by default; v1's blank padding is not part of the text.
  Check(Read(Mp3Frames(3) + v1), {"v1 title", "v1 artist", "ÖÐÎÄ", kThreeFramesMs, true});
}

TEST(TagReader, Mp3DurationFromXingOrTheAudioBytes) {
  const std::string tag = Id3v2(3, Id3Frame(3, "TCON", Text(0, "Pop")));
  const std::int64_t hundredFramesMs = 100 * kMp3FrameBytes * 8 / 128;  // 2,606
  const struct {
    const char* name;
    std::string image;
    std::optional<std::int64_t> durationMs;
    bool audio;
  } cases[] = {
      {"Xing frame count", tag + Mp3Frames(3, 1000), 1000 * 1152 * 1000 / 44100, true},
      {"CBR after a tag", tag + Mp3Frames(100), hundredFramesMs, true},
      {"CBR, ID3v1 not counted", tag + Mp3Frames(100) + Id3v1("", "", ""), hundredFramesMs, true},
      {"CBR without tags", Mp3Frames(100), hundredFramesMs, true},
      {"junk before the first frame", tag + std::string(50, '\xFF') + Mp3Frames(100),
       hundredFramesMs, true},
      {"a sync pattern alone is not a frame", tag + "\xFF\xFB\x90" + std::string(2000, 'x'),
       std::nullopt, false},
      {"text after a tag", tag + "and more", std::nullopt, false},
      {"no tag, no frame at the start", "x" + Mp3Frames(100), std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Check(Read(c.image), {"", "", "", c.durationMs, c.audio});
  }
}

TEST(TagReader, WavDurationAndInfo) {
  const std::string second(176400, '\0');
  const struct {
    const char* name;
    std::string image;
    TExpected want;
  } cases[] = {
      {"one second; INFO after the data, odd lengths padded",
       Wav(WavFmt() + Chunk("data", second) + WavInfo("Ab", "Cde", "F")),
       {"Ab", "Cde", "F", 1000, true}},
      // A download cut short: the chunk states 10 s, half a second is there.
      {"truncated data chunk",
       Wav(WavFmt() + "data" + Le(10 * 176400, 4) + second.substr(0, 88200)),
       {"", "", "", 500, true}},
      {"RF64: the size is in another chunk",
       "RF64" + Le(0xFFFFFFFF, 4) + "WAVE" + WavFmt() + "data" + Le(0xFFFFFFFF, 4) + second,
       {"", "", "", 1000, true}},
      {"no format chunk", Wav(Chunk("data", second)), {"", "", "", std::nullopt, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Check(Read(c.image), c.want);
  }
}

TEST(TagReader, AsfDurationLessPrerollAndDescriptions) {
  const std::string described = AsfContent(u"标题", u"Artist") + AsfAlbum(u"专辑");
  const struct {
    const char* name;
    std::string image;
    TExpected want;
  } cases[] = {
      {"3 s with 1.5 s preroll",
       Asf(AsfFileProperties(30'000'000, 1500) + AsfAudioStream() + described, 4),
       {"标题", "Artist", "专辑", 1500, true}},
      {"broadcast: no duration stated",
       Asf(AsfFileProperties(30'000'000, 1500, 1) + AsfAudioStream(), 2),
       {"", "", "", std::nullopt, true}},
      {"no audio stream",
       Asf(AsfFileProperties(30'000'000, 0) + described, 3),
       {"标题", "Artist", "专辑", 3000, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Check(Read(c.image), c.want);
  }
}

TEST(TagReader, TruncatedLyingAndFailingInputGiveWhatCouldBeRead) {
  const std::string images[] = {
      Tagged(3, Text(1, "\xFF\xFE" + Utf16Le(u"Title")), Text(0, "Artist"), Text(3, "Album")) +
          Id3v1("T", "A", "B"),
      Wav(WavFmt() + WavInfo("Title", "Artist", "Album") + Chunk("data", std::string(1764, '\1'))),
      Asf(AsfFileProperties(30'000'000, 1500) + AsfAudioStream() + AsfContent(u"Title", u"Artist") +
              AsfAlbum(u"Album"),
          4),
  };
  for (const std::string& image : images) {
    const TTagInfo whole = Read(image);
    ASSERT_EQ(whole.title, "Title");
    // A download stopped at every byte, and a file that shrank after its size was taken.
    for (std::size_t n = 0; n < image.size(); ++n) {
      SCOPED_TRACE(n);
      for (const std::uint64_t stated : {std::uint64_t{n}, std::uint64_t{image.size()}}) {
        const TTagInfo cut = TFakeFile{image.substr(0, n), stated}.Read();
        EXPECT_EQ(whole.title.rfind(cut.title, 0), 0u) << cut.title;
        EXPECT_EQ(whole.artist.rfind(cut.artist, 0), 0u) << cut.artist;
        EXPECT_TRUE(cut.readable);
      }
    }
  }

  // Sizes that point far past the bytes, in a file of 4 GiB whose rest reads as zeros: the
  // texts before the lie are read, and little else.
  const std::string huge = Le(0xFFFFFFFF, 4);
  const struct {
    const char* name;
    std::string image;
    std::string title;
  } lies[] = {
      {"ID3v2 tag size", "ID3\x03\x00\x00\x7F\x7F\x7F\x7F"s + Id3Frame(3, "TIT2", Text(0, "t")),
       "t"},
      {"ID3v2 frame size", Id3v2(3, Id3Frame(3, "TIT2", Text(0, "t")) + "TPE1" + huge + "\0\0a"s),
       "t"},
      {"RIFF chunk sizes", Wav(WavInfo("t", "", "") + "LIST" + huge + "INFO" + "INAM" + huge), "t"},
      {"ASF header size", kAsfHeaderId + Le(~0ull, 8) + Le(1, 4) + "\1\2" + AsfContent(u"t", u""),
       "t"},
      {"ASF object size", Asf(AsfContent(u"t", u"") + kAsfExtendedContentId + Le(~0ull, 8), 2),
       "t"},
      {"ASF descriptor count",
       Asf(AsfContent(u"t", u"") + AsfObject(kAsfExtendedContentId, huge), 2), "t"},
  };
  for (const auto& c : lies) {
    SCOPED_TRACE(c.name);
    TFakeFile file{c.image, 1ull << 32, true};
    EXPECT_EQ(file.Read().title, c.title);
    EXPECT_LT(file.bytesRead, 1u << 20);
  }

  // The first read fails: nothing is known; a later one fails or throws: what came before stays.
  const std::string tagged = Tagged(3, Text(0, "t"), Text(0, "a"), Text(0, "b"));
  EXPECT_FALSE((TFakeFile{tagged, tagged.size(), false, 0, 0}.Read().readable));
  for (const bool throws : {false, true}) {
    const TTagInfo later = TFakeFile{tagged, tagged.size(), false, 0, 3, throws}.Read();
    EXPECT_TRUE(later.readable);
    EXPECT_EQ(later.title, "t");
  }
}

}  // namespace
}  // namespace mv
