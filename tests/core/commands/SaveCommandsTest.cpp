// SPDX-License-Identifier: GPL-3.0-or-later
// "另存为" and "自动更名" on real files, with the window's side played by TDirectSaveUi.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "DirectSaveUi.h"
#include "TestFiles.h"
#include "commands/DownloadList.h"
#include "commands/SaveCommands.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

using test::Exists;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

const std::string kMask = "*.wav;*.mp3;*.wma";

class SaveCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui.OnInfoMessage = [this](const std::string& text) { messages.push_back(text); };
  }
  int AddEntry(const std::string& name, const std::string& bytes, bool selected = false) {
    WriteFile(name, bytes);
    const int index = list.Add(name);
    if (selected) list.SetSelected(index, true);
    return index;
  }
  void ChooseFolder(const std::string& folder) {
    ui.OnChooseDirectory = [this, folder](std::string& dir) {
      askedWithDir = dir;
      dir = folder;
      return true;
    };
  }

  TTempDir src, out;
  TMemoryListItems list;
  TDirectSaveUi ui;
  std::vector<std::string> messages;
  std::string askedWithDir = "<not asked>";
};

TEST_F(SaveCommandsTest, BulkSaveAddsTheDetectedExtensionWhereTheMaskLacksIt) {
  AddEntry(src / "a", test::Id3Mp3(), true);
  AddEntry(src / "skipped.mp3", "not selected");
  AddEntry(src / "b.mp3", "bbb", true);
  AddEntry(src / "c.wma", "ccc", true);
  ChooseFolder(out.Path().substr(0, out.Path().size() - 1));  // without a trailing "/"
  SaveSelected(list, kMask, ui);

  EXPECT_EQ(askedWithDir, "");
  EXPECT_EQ(ReadFile(out / "a.mp3"), test::Id3Mp3());
  EXPECT_EQ(ReadFile(out / "b.mp3"), "bbb");
  EXPECT_EQ(ReadFile(out / "c.wma"), "ccc");
  EXPECT_FALSE(Exists(out / "a"));
  EXPECT_FALSE(Exists(out / "skipped.mp3"));
  EXPECT_EQ(messages, std::vector<std::string>{"成功复制3个文件"});
  EXPECT_EQ(ui.LastTotal, 3);
  // The sources are untouched.
  EXPECT_EQ(ReadFile(src / "a"), test::Id3Mp3());
  EXPECT_EQ(list.Count(), 4);
}

TEST_F(SaveCommandsTest, BulkSaveCountsOnlySuccessfulCopies) {
  AddEntry(src / "a.mp3", "aaa", true);
  list.Add(src / "vanished.mp3");
  list.SetSelected(1, true);
  AddEntry(src / "c.wav", "ccc", true);
  ChooseFolder(out.Path());
  SaveSelected(list, kMask, ui);
  EXPECT_EQ(messages, std::vector<std::string>{"成功复制2个文件"});
  EXPECT_FALSE(Exists(out / "vanished.mp3"));
}

TEST_F(SaveCommandsTest, CancelledDirectoryChoiceReportsZero) {
  AddEntry(src / "a.mp3", "a", true);
  AddEntry(src / "b.mp3", "b", true);
  ui.OnChooseDirectory = [](std::string&) { return false; };
  SaveSelected(list, kMask, ui);
  EXPECT_EQ(messages, std::vector<std::string>{"成功复制0个文件"});
  EXPECT_EQ(ui.Runs, 0);
  EXPECT_TRUE(std::filesystem::is_empty(out.Path()));
}

TEST_F(SaveCommandsTest, CancelDuringBulkCopyStopsAfterTheCurrentFile) {
  for (const char* n : {"1.mp3", "2.mp3", "3.mp3", "4.mp3"}) AddEntry(src / n, n, true);
  ChooseFolder(out.Path());
  ui.OnProgressStep = [](TDirectProgress& progress, int done) {
    if (done == 2) progress.Cancel();
  };
  SaveSelected(list, kMask, ui);
  EXPECT_EQ(messages, std::vector<std::string>{"成功复制2个文件"});
  EXPECT_TRUE(Exists(out / "2.mp3"));
  EXPECT_FALSE(Exists(out / "3.mp3"));
}

TEST_F(SaveCommandsTest, FolderEndingInTheDelimiterGetsNoSecondOne) {
  EXPECT_EQ(WithDirDelimiter("/"), "/");
  EXPECT_EQ(WithDirDelimiter("/music"), "/music/");
  EXPECT_EQ(WithDirDelimiter(""), "");
  // The targets actually used, reported per file.
  AddEntry(src / "a.mp3", "a", true);
  AddEntry(src / "b", test::Id3Mp3(), true);
  std::vector<std::string> targets;
  const int count =
      CopyEntriesToDirectory({src / "a.mp3", src / "b"}, out.Path(), kMask, nullptr,
                             [&](const std::string&, const std::string& to, TFileOutcome,
                                 const std::string&) { targets.push_back(to); });
  EXPECT_EQ(count, 2);
  EXPECT_EQ(targets, (std::vector<std::string>{out / "a.mp3", out / "b.mp3"}));
  EXPECT_EQ(BulkCopyTarget("/", src / "b", kMask), "/b.mp3");
}

TEST_F(SaveCommandsTest, SingleSaveProposesTheNamePartAndReplacesAnExistingTarget) {
  AddEntry(src / "first.mp3", "first");
  AddEntry(src / "song.mp3", "new contents", true);
  list.SetItemIndex(1);
  WriteFile(out / "kept.mp3", "old contents that are longer");
  std::string proposed;
  ui.OnSaveDialog = [&](std::string& fileName) {
    proposed = fileName;
    fileName = out / "kept.mp3";
    return true;
  };
  SaveSelected(list, kMask, ui);
  EXPECT_EQ(proposed, "song.mp3");
  EXPECT_EQ(ReadFile(out / "kept.mp3"), "new contents");
  EXPECT_EQ(messages, std::vector<std::string>{"复制完成"});
}

TEST_F(SaveCommandsTest, SingleSaveUsesTheCaretEntryEvenWhenAnotherIsSelected) {
  AddEntry(src / "selected.mp3", "s", true);
  AddEntry(src / "caret.mp3", "c");
  list.SetItemIndex(1);
  std::string proposed;
  ui.OnSaveDialog = [&](std::string& fileName) {
    proposed = fileName;
    return false;  // cancelled: nothing happens
  };
  SaveSelected(list, kMask, ui);
  EXPECT_EQ(proposed, "caret.mp3");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ui.Runs, 0);
}

TEST_F(SaveCommandsTest, SingleSaveOntoItselfFailsSilentlyAndKeepsTheFile) {
  AddEntry(src / "song.mp3", "precious");
  list.SetItemIndex(0);
  ui.OnSaveDialog = [&](std::string& fileName) {
    fileName = src / "song.mp3";
    return true;
  };
  SaveSelected(list, kMask, ui);
  EXPECT_EQ(ReadFile(src / "song.mp3"), "precious");
  EXPECT_TRUE(messages.empty());
}

TEST_F(SaveCommandsTest, SingleSaveWithoutCurrentEntryRaisesTheListIndexError) {
  AddEntry(src / "song.mp3", "x");
  list.SetItemIndex(-1);
  bool asked = false;
  ui.OnSaveDialog = [&](std::string&) { return asked = true; };
  try {
    SaveSelected(list, kMask, ui);
    FAIL() << "no error raised";
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "列表索引越界 (-1)");
  }
  EXPECT_FALSE(asked);
  EXPECT_TRUE(messages.empty());
}

TEST_F(SaveCommandsTest, CancelledSingleCopyLeavesTheOldTarget) {
  const std::string big = src / "big.mp3";
  WriteFile(big, std::string(8 << 20, 'n'));
  WriteFile(out / "t.mp3", "old");
  TDirectProgress progress;
  progress.Cancel();
  EXPECT_FALSE(CopySingle(big, out / "t.mp3", &progress));
  EXPECT_EQ(ReadFile(out / "t.mp3"), "old");
  TDirectProgress running;
  EXPECT_TRUE(CopySingle(big, out / "t.mp3", &running));
  EXPECT_EQ(running.LastBytes(), 8u << 20);
  EXPECT_EQ(running.LastTotalBytes(), 8u << 20);
}

class AutoRenameTest : public SaveCommandsTest {};

TEST_F(AutoRenameTest, EntryWithoutExtensionGetsTheDetectedOneAndLeavesAtTheNextSweep) {
  TQueueDispatcher dispatcher;
  TDownloadList downloads(
      list, dispatcher, [] { return kMask; }, [] { return false; });
  AddEntry(src / "x", test::Id3Mp3());
  AddEntry(src / "y.mp3", "yy");
  RenameAll(list, [] { return kMask; });
  EXPECT_EQ(ReadFile(src / "x.mp3"), test::Id3Mp3());
  EXPECT_FALSE(Exists(src / "x"));
  EXPECT_EQ(ReadFile(src / "y.mp3"), "yy");
  // The list is not changed by the rename; the sweep drops the old name and does not add
  // the new one.
  EXPECT_EQ(list.Count(), 2);
  downloads.Sweep();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return downloads.SweepsDone() == 1; }, 10000));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0), src / "y.mp3");
}

TEST_F(AutoRenameTest, ExistingTargetIsNeverReplaced) {
  AddEntry(src / "x", test::Id3Mp3());
  WriteFile(src / "x.mp3", "someone else's");
  std::vector<TFileOutcome> outcomes;
  RenameAll(
      list, [] { return kMask; },
      [&](const std::string&, const std::string&, TFileOutcome o, const std::string&) {
        outcomes.push_back(o);
      });
  EXPECT_EQ(ReadFile(src / "x"), test::Id3Mp3());
  EXPECT_EQ(ReadFile(src / "x.mp3"), "someone else's");
  EXPECT_EQ(outcomes, std::vector<TFileOutcome>{TFileOutcome::Failed});
}

// The window skips a download still being written; melvigil-cli hears why.
TEST_F(AutoRenameTest, AFileOpenForWritingIsSkipped) {
  AddEntry(src / "song.part", test::Id3Mp3());
  const int writer = ::open((src / "song.part").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  std::vector<TFileOutcome> outcomes;
  RenameAll(
      list, [] { return kMask; },
      [&](const std::string&, const std::string&, TFileOutcome o, const std::string&) {
        outcomes.push_back(o);
      });
  ::close(writer);
  EXPECT_EQ(outcomes, std::vector<TFileOutcome>{TFileOutcome::SkippedOpenForWriting});
  EXPECT_EQ(ReadFile(src / "song.part"), test::Id3Mp3());
  EXPECT_FALSE(Exists(src / "song.part.part"));
}

TEST_F(AutoRenameTest, UnknownTypeAndVanishedFilesAreLeftAlone) {
  AddEntry(src / "plain", "no known header");
  list.Add(src / "vanished");
  std::vector<std::pair<std::string, TFileOutcome>> seen;
  RenameAll(
      list, [] { return kMask; },
      [&](const std::string& from, const std::string&, TFileOutcome o, const std::string&) {
        seen.emplace_back(from, o);
      });
  EXPECT_EQ(ReadFile(src / "plain"), "no known header");
  // Last entry first.
  const std::vector<std::pair<std::string, TFileOutcome>> expected{
      {src / "vanished", TFileOutcome::SkippedUnknownType},
      {src / "plain", TFileOutcome::SkippedUnknownType}};
  EXPECT_EQ(seen, expected);
}

TEST_F(AutoRenameTest, MaskIsReadForEachEntryFromTheLastToTheFirst) {
  AddEntry(src / "first.bin", test::Id3Mp3());
  AddEntry(src / "second.bin", test::Id3Mp3());
  int reads = 0;
  // The mask learns ".bin" after the first (= last) entry has been handled.
  RenameAll(list, [&] { return reads++ == 0 ? kMask : kMask + ";*.bin"; });
  EXPECT_EQ(reads, 2);
  EXPECT_TRUE(Exists(src / "second.bin.mp3"));
  EXPECT_TRUE(Exists(src / "first.bin"));
  EXPECT_FALSE(Exists(src / "first.bin.mp3"));
}

}  // namespace
}  // namespace mv
