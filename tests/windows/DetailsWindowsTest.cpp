// SPDX-License-Identifier: GPL-3.0-or-later
// The list's details on Windows: size and the detected type, and what is known of files that
// are gone, are folders, or are held by a writer that shares nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "WinTempDir.h"
#include "media/Details.h"
#include "utility/Dispatcher.h"

namespace mv {
namespace {

using test::TTempDir;

std::string Clip(const std::string& name) {
  const char* dir = std::getenv("MV_AUDIO_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/" + name;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
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
  } cases[] = {
      {"song.wav", TFileState::Present, wav.nFileSizeLow, ".wav"},
      {"text.mp3", TFileState::Present, 9, ""},
      {"held.mp3", TFileState::Unreadable, 12, ""},
      {"dir.mp3", TFileState::NotAFile, std::nullopt, ""},
      {"gone.mp3", TFileState::Gone, std::nullopt, ""},
  };
  TQueueDispatcher dispatcher;
  TDetailsProvider provider(dispatcher);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<TMediaDetails> got;
    provider.Request(t / c.name, [&](const TMediaDetails& d) {
      if (d.complete) got = d;
    });
    ASSERT_TRUE(dispatcher.RunUntil([&] { return got.has_value(); }, 10000));
    EXPECT_EQ(got->file, c.file);
    EXPECT_EQ(got->size, c.size);
    EXPECT_EQ(got->type, c.type);
  }
  CloseHandle(held);
}

}  // namespace
}  // namespace mv
