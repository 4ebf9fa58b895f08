// SPDX-License-Identifier: GPL-3.0-or-later
// The download list's handler and sweep, driven directly (the watcher's end-to-end cases are in
// DownloadListWatchTest.cpp).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TestFiles.h"
#include "commands/DownloadList.h"
#include "utility/ChildHolder.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"

namespace mv {
namespace {

using test::TTempDir;
using test::WriteFile;

class DownloadListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    downloads = std::make_unique<TDownloadList>(
        list, dispatcher, [this] { return mask; }, [this] { return all; });
    downloads->OnAppended = [this](const std::string& e) { appended.push_back(e); };
    downloads->OnRemoved = [this](const std::string& e) { removed.push_back(e); };
  }

  void Added(const std::string& name) { downloads->FileChanged(TFileOperation::foAdded, name, ""); }

  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
    return out;
  }

  // One complete sweep, its removals included.
  void Sweep() {
    const unsigned long before = downloads->SweepsDone();
    downloads->Sweep();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return downloads->SweepsDone() > before; }, 10000));
    EXPECT_FALSE(downloads->SweepRunning());
  }

  TTempDir dir;
  TQueueDispatcher dispatcher;
  TMemoryListItems list;
  std::string mask = "*.wav;*.mp3;*.wma";
  bool all = false;
  std::vector<std::string> appended, removed;
  std::unique_ptr<TDownloadList> downloads;
};

TEST_F(DownloadListTest, MatchingFileIsListedOnceWhateverTheCaseOrRepeats) {
  const std::string song = dir / "song.mp3";
  WriteFile(song, "x");
  Added(song);
  Added(song);
  // Deleted and created again before any sweep: the entry is still there, no second one.
  ::unlink(song.c_str());
  WriteFile(song, "y");
  Added(song);
  // The same name in other letter case counts as already listed.
  WriteFile(dir / "SONG.MP3", "z");
  Added(dir / "SONG.MP3");
  EXPECT_EQ(Entries(), std::vector<std::string>{song});
  EXPECT_EQ(appended, std::vector<std::string>{song});

  const std::string clip = dir / "clip.MP3";
  WriteFile(clip, "x");
  Added(clip);
  EXPECT_EQ(Entries(), (std::vector<std::string>{song, clip}));
}

TEST_F(DownloadListTest, OnlyExistingFilesWithAnExtensionInTheMask) {
  WriteFile(dir / "setup.bin", "MZ");
  WriteFile(dir / "readme", "text");
  std::filesystem::create_directory(dir / "album.mp3");
  Added(dir / "setup.bin");
  Added(dir / "readme");
  Added(dir / "album.mp3");   // a directory
  Added(dir / "gone.mp3");    // never existed
  Added(dir / "partial.mp");  // ".mp" occurs in the mask text: a plain substring test
  WriteFile(dir / "partial.mp", "x");
  Added(dir / "partial.mp");
  EXPECT_EQ(Entries(), std::vector<std::string>{dir / "partial.mp"});
}

TEST_F(DownloadListTest, AllFilesSwitchListsAnyNewFileButStillNoDirectoriesOrDuplicates) {
  WriteFile(dir / "setup.bin", "MZ");
  Added(dir / "setup.bin");
  EXPECT_EQ(list.Count(), 0);
  all = true;
  Added(dir / "setup.bin");
  Added(dir / "setup.bin");
  std::filesystem::create_directory(dir / "sub");
  Added(dir / "sub");
  WriteFile(dir / "a.mp3", "x");
  Added(dir / "a.mp3");
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir / "setup.bin", dir / "a.mp3"}));
}

TEST_F(DownloadListTest, MaskIsReadAfreshAtEveryEvent) {
  WriteFile(dir / "a.ogg", "x");
  WriteFile(dir / "b.mp3", "x");
  Added(dir / "a.ogg");
  mask = "*.OGG";
  Added(dir / "a.ogg");
  Added(dir / "b.mp3");
  EXPECT_EQ(Entries(), std::vector<std::string>{dir / "a.ogg"});
}

TEST_F(DownloadListTest, RenameOntoAMusicNameListsTheNewName) {
  const std::string partial = dir / "song.mp3.crdownload";
  const std::string done = dir / "song.mp3";
  WriteFile(partial, "x");
  Added(partial);
  ASSERT_EQ(::rename(partial.c_str(), done.c_str()), 0);
  downloads->FileChanged(TFileOperation::foRenamed, partial, done);
  EXPECT_EQ(Entries(), std::vector<std::string>{done});

  // Renamed away from a music name: the old name is gone and the new one does not match.
  const std::string other = dir / "song.tmp";
  ASSERT_EQ(::rename(done.c_str(), other.c_str()), 0);
  downloads->FileChanged(TFileOperation::foRenamed, done, other);
  EXPECT_EQ(list.Count(), 1);
  // With the all-files switch the first name alone is considered, and it no longer exists.
  all = true;
  downloads->FileChanged(TFileOperation::foRenamed, done, other);
  EXPECT_EQ(list.Count(), 1);
}

TEST_F(DownloadListTest, SweepDropsEntriesWhoseFilesAreGoneAndKeepsTheRestInOrder) {
  std::vector<std::string> names;
  for (const char* n : {"a.mp3", "\xFF\xFEodd.mp3", "b.wav", "c.wma", "old.mp3"}) {
    names.push_back(dir / n);
    WriteFile(names.back(), "x");
    Added(names.back());
  }
  // A file dated 1970 is still a file.
  test::SetTimes1970(dir / "old.mp3");
  ASSERT_EQ(list.Count(), 5);
  Sweep();
  EXPECT_EQ(Entries(), names);
  EXPECT_TRUE(removed.empty());

  ::unlink(names[1].c_str());  // the name that is not valid text
  ::unlink(names[3].c_str());
  Sweep();
  EXPECT_EQ(Entries(), (std::vector<std::string>{names[0], names[2], names[4]}));
  // Removed from the last to the first.
  EXPECT_EQ(removed, (std::vector<std::string>{names[3], names[1]}));

  // Once gone from the list, a file of that name is listed again at the end.
  WriteFile(names[1], "x");
  Added(names[1]);
  EXPECT_EQ(list.Get(3), names[1]);
}

TEST_F(DownloadListTest, FileCreatedAgainWhileTheSweepRunsIsKept) {
  const std::string song = dir / "song.mp3";
  WriteFile(song, "x");
  Added(song);
  ::unlink(song.c_str());
  const unsigned long before = downloads->SweepsDone();
  downloads->Sweep();
  // The checking thread finds it missing and queues the removal; the file comes back before
  // the main thread gets to it.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  WriteFile(song, "y");
  ASSERT_TRUE(dispatcher.RunUntil([&] { return downloads->SweepsDone() > before; }, 10000));
  EXPECT_EQ(Entries(), std::vector<std::string>{song});
  EXPECT_TRUE(removed.empty());
}

TEST_F(DownloadListTest, ATickWhileASweepRunsDoesNothing) {
  WriteFile(dir / "a.mp3", "x");
  Added(dir / "a.mp3");
  downloads->Sweep();
  EXPECT_TRUE(downloads->SweepRunning());
  downloads->Sweep();
  downloads->Sweep();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return !downloads->SweepRunning(); }, 10000));
  dispatcher.RunPending();
  EXPECT_EQ(downloads->SweepsDone(), 1u);
}

TEST_F(DownloadListTest, LongListIsSweptInSlicesAndBatches) {
  // Entries whose files never existed stand for downloads that were deleted meanwhile; they
  // are more than one removal batch.
  const std::string keep1 = dir / "keep1.mp3";
  const std::string keep2 = dir / "keep2.mp3";
  WriteFile(keep1, "x");
  WriteFile(keep2, "x");
  for (int i = 0; i < 30000; ++i) {
    if (i == 10) list.Add(keep1);
    if (i == 20000) list.Add(keep2);
    list.Add(dir / ("gone" + std::to_string(i) + ".mp3"));
  }
  Sweep();
  EXPECT_EQ(Entries(), (std::vector<std::string>{keep1, keep2}));
  ASSERT_EQ(removed.size(), 30000u);
  EXPECT_EQ(removed.front(), dir / "gone29999.mp3");
  EXPECT_EQ(removed.back(), dir / "gone0.mp3");
}

TEST_F(DownloadListTest, EntriesMovedByOthersDuringTheSweepAreStillFound) {
  const std::string a = dir / "a.mp3", b = dir / "b.mp3", c = dir / "c.mp3";
  for (const auto& n : {a, b, c}) {
    WriteFile(n, "x");
    Added(n);
  }
  ::unlink(c.c_str());
  const unsigned long before = downloads->SweepsDone();
  downloads->Sweep();
  // Someone else deletes the first entry after the copy was taken: c now stands at index 1.
  list.Delete(0);
  ASSERT_TRUE(dispatcher.RunUntil([&] { return downloads->SweepsDone() > before; }, 10000));
  EXPECT_EQ(Entries(), std::vector<std::string>{b});
  EXPECT_EQ(removed, std::vector<std::string>{c});
}

TEST_F(DownloadListTest, ManySweepsWithAppendsAndRemovalsInBetweenStayExact) {
  // Removal batches locate their entries by the index they were copied at; appends and removals
  // in between must not make them delete the wrong entry or miss one.
  std::vector<std::string> alive;
  unsigned seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  int made = 0;
  unsigned long long checks = 0;
  for (int round = 0; round < 8; ++round) {
    for (int k = 0; k < 300; ++k) {
      const std::string name = dir / ("f" + std::to_string(made++) + ".mp3");
      WriteFile(name, "x");
      Added(name);
      alive.push_back(name);
    }
    for (std::size_t k = 0; k < alive.size();) {
      if (next() % 3 == 0) {
        ::unlink(alive[k].c_str());
        alive.erase(alive.begin() + static_cast<long>(k));
      } else {
        ++k;
      }
    }
    checks += static_cast<unsigned long long>(list.Count());
    Sweep();
    ASSERT_EQ(Entries(), alive) << "round " << round;
  }
  // Without a watcher every sweep checks every entry.
  EXPECT_EQ(downloads->EntriesChecked(), checks);

  // An entry added behind the download list's back is checked like the others.
  WriteFile(dir / "direct.mp3", "x");
  list.Add(dir / "direct.mp3");
  ::unlink((dir / "direct.mp3").c_str());
  ::unlink(alive.front().c_str());
  Sweep();
  alive.erase(alive.begin());
  EXPECT_EQ(Entries(), alive);
}

TEST_F(DownloadListTest, AFullListSaysSoOnceAndListsAgainOnceItHasShrunk) {
  std::vector<std::string> notices;
  downloads->OnNotice = [&](const std::string& text) { notices.push_back(text); };
  downloads->SetEntryLimit(3);
  for (int i = 0; i < 6; ++i) {
    WriteFile(dir / (std::to_string(i) + ".mp3"), "x");
    Added(dir / (std::to_string(i) + ".mp3"));
  }
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(notices, std::vector<std::string>{"下载列表已满 (3 项)，新的文件不再列出"});
  // Names already listed or not files are no reason to tell.
  Added(dir / "0.mp3");
  Added(dir / "missing.mp3");
  EXPECT_EQ(notices.size(), 1u);

  ::unlink((dir / "0.mp3").c_str());
  Sweep();
  Added(dir / "3.mp3");
  Added(dir / "4.mp3");
  EXPECT_EQ(Entries(), (std::vector<std::string>{dir / "1.mp3", dir / "2.mp3", dir / "3.mp3"}));
  EXPECT_EQ(notices.size(), 2u);
}

// A download still open for writing is told as such from the moment it is listed until the
// first tick after its writer lets go; its entry stays the path.
TEST_F(DownloadListTest, AnEntryIsBeingWrittenUntilTheTickAfterItsWriterCloses) {
  std::vector<std::string> changed;
  downloads->OnWritingChanged = [&](const std::string& e) { changed.push_back(e); };
  const std::string song = dir / "song.mp3";
  const std::string done = dir / "done.mp3";
  WriteFile(song, "ID3 partial");
  WriteFile(done, "ID3 whole");
  auto writer = std::make_unique<test::TWritingChild>(song);
  Added(song);
  Added(done);
  EXPECT_EQ(Entries(), (std::vector<std::string>{song, done}));
  EXPECT_TRUE(downloads->IsBeingWritten(song));
  EXPECT_FALSE(downloads->IsBeingWritten(done));
  Sweep();
  EXPECT_TRUE(downloads->IsBeingWritten(song));
  // Decided before the row existed: nothing to repaint.
  EXPECT_TRUE(changed.empty());

  writer.reset();
  Sweep();
  EXPECT_FALSE(downloads->IsBeingWritten(song));
  EXPECT_EQ(changed, std::vector<std::string>{song});

  // Written again (a resumed download): the watcher's notice of the name tells at once.
  writer = std::make_unique<test::TWritingChild>(done);
  downloads->FileChanged(TFileOperation::foModified, done, "");
  EXPECT_TRUE(downloads->IsBeingWritten(done));
  // Deleted while still open: the state goes with the entry.
  ::unlink(done.c_str());
  Sweep();
  EXPECT_EQ(Entries(), std::vector<std::string>{song});
  EXPECT_FALSE(downloads->IsBeingWritten(done));
  EXPECT_EQ(changed, (std::vector<std::string>{song, done, done}));
}

TEST_F(DownloadListTest, DestroyedWhileASweepIsUnderWay) {
  for (int i = 0; i < 5000; ++i) list.Add(dir / ("gone" + std::to_string(i) + ".mp3"));
  downloads->Sweep();
  downloads.reset();
  // Tasks still queued for the gone object must be dropped, not run.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  dispatcher.RunPending();
  EXPECT_EQ(list.Count(), 5000);
  EXPECT_TRUE(removed.empty());
}

}  // namespace
}  // namespace mv
