// SPDX-License-Identifier: GPL-3.0-or-later
// Existence, rename, copy and open through the Windows file functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "WinTempDir.h"
#include "utility/FileRules.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

using test::CountEntries;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

void SetLastWrite(const std::string& name, WORD year) {
  HANDLE h = CreateFileA(name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = 6;
  st.wDay = 1;
  FILETIME ft{};
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  CloseHandle(h);
}

TEST(FileIsPresentWindows, FilesCountDirectoriesAndMissingNamesDoNot) {
  TTempDir t;
  WriteFile(t / "song.mp3", "x");
  CreateDirectoryA((t / "sub").c_str(), nullptr);
  EXPECT_TRUE(FileIsPresent(t / "song.mp3"));
  EXPECT_TRUE(FileIsPresent(t / "SONG.MP3"));  // the file system ignores case
  EXPECT_FALSE(FileIsPresent(t / "sub"));
  EXPECT_FALSE(FileIsPresent(t / "missing.mp3"));
  EXPECT_FALSE(FileIsPresent(""));
  EXPECT_FALSE(FileIsPresent(t.Dir()));
}

TEST(FileIsPresentWindows, AFileDatedBefore1980StillCounts) {
  TTempDir t;
  WriteFile(t / "old.wav", "x");
  SetLastWrite(t / "old.wav", 1975);
  EXPECT_TRUE(FileIsPresent(t / "old.wav"));
}

TEST(FileIsPresentWindows, AWildcardIsDecidedByItsFirstRealMatch) {
  TTempDir t;
  EXPECT_FALSE(FileIsPresent(t / "*"));  // only "." and ".." match
  WriteFile(t / "a.mp3", "x");
  EXPECT_TRUE(FileIsPresent(t / "*"));
  EXPECT_TRUE(FileIsPresent(t / "?.mp3"));
  EXPECT_FALSE(FileIsPresent(t / "*.wav"));
  CreateDirectoryA((t / "dir.wma").c_str(), nullptr);
  EXPECT_FALSE(FileIsPresent(t / "*.wma"));
}

TEST(RenameFileToWindows, RenamesButNeverReplaces) {
  TTempDir t;
  WriteFile(t / "a", "A");
  WriteFile(t / "b", "B");
  EXPECT_FALSE(RenameFileTo(t / "a", t / "b"));
  EXPECT_EQ(ReadFile(t / "a"), "A");
  EXPECT_EQ(ReadFile(t / "b"), "B");
  EXPECT_TRUE(RenameFileTo(t / "a", t / "a.mp3"));
  EXPECT_EQ(ReadFile(t / "a.mp3"), "A");
  EXPECT_EQ(ReadFile(t / "a"), "<missing>");
  EXPECT_FALSE(RenameFileTo(t / "missing", t / "c"));
  EXPECT_FALSE(RenameFileTo("", t / "c"));
}

TEST(CopyFileOverwriteWindows, CopiesAndReplacesAnExistingTarget) {
  TTempDir t;
  CreateDirectoryA((t / "out").c_str(), nullptr);
  WriteFile(t / "song", std::string(300 * 1024, 's'));  // more than one chunk
  WriteFile(t / "out\\song.mp3", "old");
  SetLastWrite(t / "song", 2001);
  ASSERT_TRUE(CopyFileOverwrite(t / "song", t / "out\\song.mp3"));
  EXPECT_EQ(ReadFile(t / "out\\song.mp3"), std::string(300 * 1024, 's'));
  EXPECT_EQ(ReadFile(t / "song"), std::string(300 * 1024, 's'));
  EXPECT_EQ(CountEntries(t / "out"), 1);  // no temporary file left beside it

  WIN32_FILE_ATTRIBUTE_DATA a{}, b{};
  ASSERT_TRUE(GetFileAttributesExA((t / "song").c_str(), GetFileExInfoStandard, &a));
  ASSERT_TRUE(GetFileAttributesExA((t / "out\\song.mp3").c_str(), GetFileExInfoStandard, &b));
  EXPECT_EQ(CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime), 0);
}

TEST(CopyFileOverwriteWindows, NeverCopiesAFileOntoItself) {
  TTempDir t;
  WriteFile(t / "song.mp3", "data");
  EXPECT_FALSE(CopyFileOverwrite(t / "song.mp3", t / "song.mp3"));
  EXPECT_FALSE(CopyFileOverwrite(t / "song.mp3", t / "SONG.MP3"));
  EXPECT_FALSE(CopyFileOverwrite(t / "song.mp3", t.Dir() + ".\\song.mp3"));
  if (CreateHardLinkA((t / "link.mp3").c_str(), (t / "song.mp3").c_str(), nullptr)) {
    EXPECT_FALSE(CopyFileOverwrite(t / "song.mp3", t / "link.mp3"));
  }
  EXPECT_EQ(ReadFile(t / "song.mp3"), "data");
}

TEST(CopyFileOverwriteWindows, FailuresLeaveTheOldTargetWhole) {
  TTempDir t;
  WriteFile(t / "src", std::string(600 * 1024, 'n'));
  WriteFile(t / "dst", "old target");
  // Cancelled after the first chunk: the old target stays, no partial copy is left.
  auto cancel = [](void*, std::uint64_t, std::uint64_t) { return false; };
  EXPECT_FALSE(CopyFileOverwrite(t / "src", t / "dst", cancel, nullptr));
  EXPECT_EQ(ReadFile(t / "dst"), "old target");
  EXPECT_EQ(CountEntries(t.Dir()), 2);

  EXPECT_FALSE(CopyFileOverwrite(t / "missing", t / "dst"));
  EXPECT_EQ(ReadFile(t / "dst"), "old target");
  CreateDirectoryA((t / "dir").c_str(), nullptr);
  EXPECT_FALSE(CopyFileOverwrite(t / "src", t / "dir"));
  EXPECT_FALSE(CopyFileOverwrite(t / "dir", t / "dst"));
  EXPECT_EQ(ReadFile(t / "dst"), "old target");
  EXPECT_EQ(CountEntries(t / "dir"), 0);
}

TEST(CopyFileOverwriteWindows, ReportsProgressUpToTheWholeSize) {
  TTempDir t;
  WriteFile(t / "src", std::string(600 * 1024, 'p'));
  struct TSeen {
    std::uint64_t last = 0;
    std::uint64_t total = 0;
    int calls = 0;
  } seen;
  auto note = [](void* c, std::uint64_t copied, std::uint64_t total) {
    auto* s = static_cast<TSeen*>(c);
    s->last = copied;
    s->total = total;
    ++s->calls;
    return true;
  };
  ASSERT_TRUE(CopyFileOverwrite(t / "src", t / "dst", note, &seen));
  EXPECT_GE(seen.calls, 2);
  EXPECT_EQ(seen.last, 600u * 1024);
  EXPECT_EQ(seen.total, 600u * 1024);
}

// A downloader still writing (sharing reading and writing, not deletion): the copy is refused
// with its reason and the old target stays; the system refuses the rename by itself.
TEST(CopyFileOverwriteWindows, RefusesASourceOpenForWriting) {
  TTempDir t;
  WriteFile(t / "download", "partial");
  WriteFile(t / "dst", "old target");
  HANDLE writer =
      CreateFileA((t / "download").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const TFileResult copied = CopyFileOverwrite(t / "download", t / "dst");
  const TFileResult renamed = RenameFileTo(t / "download", t / "download.mp3");
  CloseHandle(writer);
  EXPECT_EQ(copied.Fault(), TFileFault::OpenForWriting);
  EXPECT_EQ(renamed.Fault(), TFileFault::OpenForWriting);
  EXPECT_EQ(ReadFile(t / "dst"), "old target");
  EXPECT_EQ(CountEntries(t.Dir()), 2);

  EXPECT_TRUE(CopyFileOverwrite(t / "download", t / "dst"));
  EXPECT_EQ(ReadFile(t / "dst"), "partial");
  EXPECT_EQ(CopyFileOverwrite(t / "download", t / "nodir\\dst").Reason(),
            "No such file or directory");
}

// What the download list shows as still being written: a file another handle holds for
// writing; one held for reading only, a folder or a missing name is not.
TEST(FileIsBeingWrittenWindows, OnlyWhileAHandleWritesTheFile) {
  TTempDir t;
  WriteFile(t / "song.mp3", "partial");
  ASSERT_TRUE(CreateDirectoryA((t / "album.mp3").c_str(), nullptr));
  for (const char* name : {"song.mp3", "album.mp3", "gone.mp3"}) {
    EXPECT_FALSE(FileIsBeingWritten(t / name)) << name;
  }
  HANDLE reader = CreateFileA((t / "song.mp3").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FileIsBeingWritten(t / "song.mp3"));
  CloseHandle(reader);
  HANDLE writer =
      CreateFileA((t / "song.mp3").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(FileIsBeingWritten(t / "song.mp3"));
  CloseHandle(writer);
  EXPECT_FALSE(FileIsBeingWritten(t / "song.mp3"));
}

TEST(OpenForReadingWindows, ReadsAFileNobodyElseHoldsOpen) {
  TTempDir t;
  WriteFile(t / "a.mp3", "ID3 and more");
  auto stream = OpenForReading(t / "a.mp3");
  char buffer[64] = {};
  EXPECT_EQ(stream->Read(buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "ID3");
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 9u);
  EXPECT_EQ(stream->Read(buffer, sizeof buffer), 0u);
}

TEST(OpenForReadingWindows, FailsWithTheFileNameWhileTheFileIsHeldOrMissing) {
  TTempDir t;
  const std::string name = t / "busy.mp3";
  WriteFile(name, "data");
  // Even a holder that shares reading keeps us out: we ask for no sharing at all.
  HANDLE holder = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  try {
    OpenForReading(name);
    ADD_FAILURE() << "opened a file another handle holds";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "不能打开文件 " + name);
  }
  CloseHandle(holder);

  // While we read, nobody else can open it.
  {
    auto stream = OpenForReading(name);
    HANDLE other = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  }

  EXPECT_THROW(OpenForReading(t / "missing"), EFOpenError);
  EXPECT_THROW(OpenForReading(t.Dir()), EFOpenError);
}

}  // namespace
}  // namespace mv
