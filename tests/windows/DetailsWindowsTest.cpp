// SPDX-License-Identifier: GPL-3.0-or-later
// The list's details on Windows: size and the detected type, tags and duration read by the
// tag reader through the provider and its cache, and what is known of files that are gone,
// are folders, or are held by a writer that shares nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "TagImages.h"
#include "WinTempDir.h"
#include "media/Details.h"
#include "utility/Dispatcher.h"

namespace mv {
namespace {

using test::TTempDir;
using namespace std::string_literals;

std::string Clip(const std::string& name) {
  const char* dir = std::getenv("MV_AUDIO_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/" + name;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// Serves one request and waits for its complete answer.
TMediaDetails Details(TDetailsProvider& provider, TQueueDispatcher& dispatcher,
                      const std::string& path) {
  std::optional<TMediaDetails> got;
  provider.Request(path, [&](const TMediaDetails& d) {
    if (d.complete) got = d;
  });
  if (!dispatcher.RunUntil([&] { return got.has_value(); }, 10000)) return {};
  return *got;
}

TEST(DetailsWindows, SizeAndTypeOrWhatIsKnown) {
  TTempDir t;
  ASSERT_TRUE(CopyFileA(Clip("short.wav").c_str(), (t / "song.wav").c_str(), TRUE));
  test::WriteFile(t / "text.mp3", "not music");
  test::WriteFile(t / "held.mp3", "ID3 and more");
  CreateDirectoryA((t / "dir.mp3").c_str(), nullptr);
  // A downloader that shares nothing while it writes.
  HANDLE held = CreateFileA((t / "held.mp3").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  WIN32_FILE_ATTRIBUTE_DATA wav{};
  ASSERT_TRUE(GetFileAttributesExA((t / "song.wav").c_str(), GetFileExInfoStandard, &wav));
  const struct {
    std::string name;
    TFileState file;
    std::optional<std::uint64_t> size;
    std::string type;
    TMediaKind media;
  } cases[] = {
      {"song.wav", TFileState::Present, wav.nFileSizeLow, ".wav", TMediaKind::Audio},
      {"text.mp3", TFileState::Present, 9, "", TMediaKind::NotAudio},
      {"held.mp3", TFileState::Unreadable, 12, "", TMediaKind::Unknown},
      {"dir.mp3", TFileState::NotAFile, std::nullopt, "", TMediaKind::Unknown},
      {"gone.mp3", TFileState::Gone, std::nullopt, "", TMediaKind::Unknown},
  };
  TQueueDispatcher dispatcher;
  TDetailsProvider provider(dispatcher);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TMediaDetails got = Details(provider, dispatcher, t / c.name);
    EXPECT_TRUE(got.complete);
    EXPECT_EQ(got.file, c.file);
    EXPECT_EQ(got.size, c.size);
    EXPECT_EQ(got.type, c.type);
    EXPECT_EQ(got.media, c.media);
  }
  CloseHandle(held);
}

// The three containers as built here and as the encoders of the test clips write them.
TEST(DetailsWindows, TagsAndDurationOfEachContainer) {
  using namespace test;
  TTempDir t;
  const std::string id3 =
      Id3v2(3, Id3Frame(3, "TIT2", "\x01\xFF\xFE"s + Utf16Le(u"标题")) +
                   Id3Frame(3, "TPE1", "\x03艺术家"s) + Id3Frame(3, "TALB", "\x00"s + "Album"));
  WriteFile(t / "tagged.mp3", id3 + Mp3Frames(3, 1000));
  WriteFile(t / "tagged.wav", Wav(WavFmt() + Chunk("data", std::string(88200, '\0')) +
                                  WavInfo("Title", "Artist", "Album")));
  WriteFile(t / "tagged.wma", Asf(AsfFileProperties(30'000'000, 1500) + AsfAudioStream() +
                                      AsfContent(u"标题", u"艺术家") + AsfAlbum(u"专辑"),
                                  4));
  const struct {
    std::string path, title, artist, album;
    std::int64_t minMs, maxMs;
  } cases[] = {
      {t / "tagged.mp3", "标题", "艺术家", "Album", 26122, 26122},
      {t / "tagged.wav", "Title", "Artist", "Album", 500, 500},
      {t / "tagged.wma", "标题", "艺术家", "专辑", 1500, 1500},
      // 0.3 s each; the encoders add a frame or a packet of their own.
      {Clip("short-id3.mp3"), "Tone", "Melvigil", "", 280, 400},
      {Clip("short.wav"), "", "", "", 300, 300},
      {Clip("short.wma"), "", "", "", 280, 400},
  };
  TQueueDispatcher dispatcher;
  TDetailsProvider provider(dispatcher);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const TMediaDetails got = Details(provider, dispatcher, c.path);
    EXPECT_EQ(got.media, TMediaKind::Audio);
    EXPECT_EQ(got.title, c.title);
    EXPECT_EQ(got.artist, c.artist);
    EXPECT_EQ(got.album, c.album);
    ASSERT_TRUE(got.durationMs.has_value());
    EXPECT_GE(*got.durationMs, c.minMs);
    EXPECT_LE(*got.durationMs, c.maxMs);
  }
}

// An unchanged file is answered from the cache without reading it; a changed one is read again.
TEST(DetailsWindows, AChangedFileIsReadAgain) {
  using namespace test;
  TTempDir t;
  const std::string path = t / "song.mp3";
  auto write = [&](const std::string& title) {
    WriteFile(path, Id3v2(3, Id3Frame(3, "TIT2", "\x00"s + title)) + Mp3Frames(3));
  };
  write("one");
  TQueueDispatcher dispatcher;
  TDetailsProvider provider(dispatcher);
  EXPECT_EQ(Details(provider, dispatcher, path).title, "one");
  EXPECT_EQ(provider.DiscoveriesStarted(), 1u);
  EXPECT_EQ(Details(provider, dispatcher, path).title, "one");
  EXPECT_EQ(provider.DiscoveriesStarted(), 1u) << "an unchanged file is not read again";
  write("second");
  EXPECT_EQ(Details(provider, dispatcher, path).title, "second");
  EXPECT_EQ(provider.DiscoveriesStarted(), 2u);
}

// Tags' 8-bit texts (ID3 encoding 0, ID3v1) as a Chinese system's writer stores them: GBK.
// Run in a zh_CN.GBK locale, which Wine takes as ANSI code page 936.
TEST(DetailsWindowsGbk, EightBitTagsAreReadInTheAnsiCodePage) {
  using namespace test;
  ASSERT_EQ(GetACP(), 936u);
  TTempDir t;
  // 中文 and 歌手 in GBK.
  WriteFile(t / "gbk.mp3", Id3v2(3, Id3Frame(3, "TIT2", "\x00\xD6\xD0\xCE\xC4"s)) + Mp3Frames(3) +
                               Id3v1("", "\xB8\xE8\xCA\xD6", ""));
  TQueueDispatcher dispatcher;
  TDetailsProvider provider(dispatcher);
  const TMediaDetails got = Details(provider, dispatcher, t / "gbk.mp3");
  EXPECT_EQ(got.title, "中文");
  EXPECT_EQ(got.artist, "歌手");
}

}  // namespace
}  // namespace mv
