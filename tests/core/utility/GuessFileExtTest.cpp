// SPDX-License-Identifier: GPL-3.0-or-later
// Type detection by first bytes on real files, and the fall-back to the file's own extension
// when it cannot be read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "ChildHolder.h"
#include "TempDir.h"
#include "utility/GuessFileExt.h"

namespace mv {
namespace {

using test::TTempDir;
using test::TWritingChild;
using test::WriteFile;

std::string Guess(const TTempDir& t, const std::string& name, const std::string& bytes) {
  WriteFile(t / name, bytes);
  return GuessFileExt(t / name);
}

TEST(GuessFileExt, FirstBytes) {
  TTempDir t;
  EXPECT_EQ(Guess(t, "a", "ID33\x00\x00"), ".mp3");
  EXPECT_EQ(Guess(t, "b", "\x30\x26\xB2\x75\x8E\x66\xCF\x11"), ".wma");
  EXPECT_EQ(Guess(t, "c", "MZ\x90\x00"), ".exe");
  EXPECT_EQ(Guess(t, "d", "MZ"), ".exe");
  EXPECT_EQ(Guess(t, "e", "WAVxyz"), ".wav");
  // Ordinary wave files: RIFF (or RF64) with the form type WAVE at offset 8.
  EXPECT_EQ(Guess(t, "f", std::string("RIFF\x24\x08\x00\x00WAVEfmt ", 16)), ".wav");
  EXPECT_EQ(Guess(t, "g", std::string("RF64\xFF\xFF\xFF\xFFWAVEds64", 16)), ".wav");
  EXPECT_EQ(Guess(t, "h",
                  std::string("RIFF\x24\x08\x00\x00"
                              "AVI LIST",
                              16)),
            "");
  EXPECT_EQ(Guess(t, "i", "RIFF\x24\x08\x00\x00WAV"), "");  // WAVE cut short
}

TEST(GuessFileExt, NothingRecognised) {
  TTempDir t;
  EXPECT_EQ(Guess(t, "sync.mp3", "\xFF\xFB\x90\x64\x00\x00"), "");  // MP3 without ID3 tag
  EXPECT_EQ(Guess(t, "m.exe", "M"), "");
  EXPECT_EQ(Guess(t, "id.mp3", "ID"), "");
  EXPECT_EQ(Guess(t, "asf", "\x30\x26"), "");
  EXPECT_EQ(Guess(t, "empty.wav", ""), "");
  EXPECT_EQ(Guess(t, "late", "xxID3MZ"), "");
  EXPECT_EQ(GuessFileExt(t / "missing.mp3"), "");
  EXPECT_EQ(GuessFileExt(t.Dir()), "");
}

TEST(GuessFileExt, UnreadableFileGivesItsOwnExtension) {
  TTempDir t;
  WriteFile(t / "song.Mp3", "ID3");
  WriteFile(t / "noext", "ID3");
  {
    TWritingChild a(t / "song.Mp3");
    TWritingChild b(t / "noext");
    EXPECT_EQ(GuessFileExt(t / "song.Mp3"), ".Mp3");
    EXPECT_EQ(GuessFileExt(t / "noext"), "");
  }
  EXPECT_EQ(GuessFileExt(t / "song.Mp3"), ".mp3");

  // Opens, but every read fails.
  ASSERT_EQ(::symlink("/proc/self/mem", (t / "memory.img").c_str()), 0);
  EXPECT_EQ(GuessFileExt(t / "memory.img"), ".img");
}

}  // namespace
}  // namespace mv
