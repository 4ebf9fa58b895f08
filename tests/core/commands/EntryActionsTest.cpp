// SPDX-License-Identifier: GPL-3.0-or-later
// The list menu's actions on real files, the home trash in the test's own XDG_DATA_HOME, and the
// window's side played by a shell that records what it is asked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "commands/EntryActions.h"
#include "utility/ChildHolder.h"
#include "utility/FileRules.h"
#include "utility/MemoryListItems.h"

namespace mv {
namespace {

using test::Exists;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

class TRecordingShell final : public IEntryShell {
 public:
  int plays = 0;
  std::vector<std::vector<std::string>> shown;
  std::vector<std::string> folders;
  std::vector<std::vector<std::string>> clipboards;
  std::vector<std::string> notices;
  bool fileManagerAnswers = true;
  // Marks the fixed texts, as a shell that converts them to its own encoding would change them.
  bool markOwnTexts = false;
  bool folderOpens = true;
  // Paths whose trashing fails with this result instead of moving them.
  std::map<std::string, TTrashResult> trashFails;

  void PlayCurrent() override { ++plays; }
  bool ShowInFileManager(const std::vector<std::string>& paths) override {
    shown.push_back(paths);
    return fileManagerAnswers;
  }
  bool OpenFolder(const std::string& folder) override {
    folders.push_back(folder);
    return folderOpens;
  }
  void SetClipboard(const std::vector<std::string>& paths) override { clipboards.push_back(paths); }
  TTrashResult Trash(const std::string& path) override {
    const auto fail = trashFails.find(path);
    return fail != trashFails.end() ? fail->second : IEntryShell::Trash(path);
  }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  std::string OwnText(const char* text) override {
    return markOwnTexts ? "<" + std::string(text) + ">" : text;
  }
};

class EntryActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    hadDataHome_ = old != nullptr;
    if (hadDataHome_) savedDataHome_ = old;
    ::setenv("XDG_DATA_HOME", (tmp / "data").c_str(), 1);
  }
  void TearDown() override {
    if (hadDataHome_) {
      ::setenv("XDG_DATA_HOME", savedDataHome_.c_str(), 1);
    } else {
      ::unsetenv("XDG_DATA_HOME");
    }
  }

  // Entries for names; those marked present get a file holding their name.
  void Fill(const std::vector<std::pair<std::string, bool>>& entries) {
    for (const auto& [name, present] : entries) {
      if (present) WriteFile(tmp / name, name);
      list.Add(tmp / name);
    }
  }
  void Select(std::initializer_list<int> indices) {
    for (int i : indices) list.SetSelected(i, true);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
    return out;
  }
  std::string Trashed(const std::string& name) const {
    return ReadFile(tmp / ("data/Trash/files/" + name));
  }

  TTempDir tmp;
  TMemoryListItems list;
  TRecordingShell shell;

 private:
  std::string savedDataHome_;
  bool hadDataHome_ = false;
};

TEST_F(EntryActionsTest, MenuOffersFiveItemsEnabledByCurrentAndSelection) {
  struct Case {
    int current;
    std::vector<int> selected;
    std::vector<bool> enabled;
  };
  Fill({{"a.mp3", true}, {"b.mp3", true}});
  for (const Case& c : std::vector<Case>{{-1, {}, {false, false, false, false, false}},
                                         {0, {}, {true, false, false, false, false}},
                                         {-1, {1}, {false, true, true, true, true}},
                                         {1, {0, 1}, {true, true, true, true, true}}}) {
    list.ClearSelection();
    list.SetItemIndex(c.current);
    for (int i : c.selected) list.SetSelected(i, true);
    const std::vector<TEntryMenuItem> menu = EntryMenu(list);
    std::vector<std::string> captions;
    std::vector<bool> enabled;
    for (const TEntryMenuItem& item : menu) {
      captions.emplace_back(item.caption);
      enabled.push_back(item.enabled);
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"播放", "打开所在文件夹", "复制路径",
                                                  "从列表中移除", "移到回收站"}));
    EXPECT_EQ(enabled, c.enabled) << "current " << c.current;
  }
}

TEST_F(EntryActionsTest, RemoveTakesOnlySelectedEntriesAndNoFile) {
  Fill({{"a.mp3", true}, {"b.mp3", true}, {"c.mp3", false}, {"d.mp3", true}});
  Select({1, 2});
  RunEntryAction(TEntryAction::RemoveFromList, list, shell);
  EXPECT_EQ(Entries(), (std::vector<std::string>{tmp / "a.mp3", tmp / "d.mp3"}));
  for (const char* name : {"a.mp3", "b.mp3", "d.mp3"}) EXPECT_EQ(ReadFile(tmp / name), name);
  EXPECT_TRUE(shell.notices.empty());
}

TEST_F(EntryActionsTest, TrashMovesSelectedFilesAndNamesWhatStayed) {
  Fill({{"keep.mp3", true},
        {"song.mp3", true},
        {"gone.mp3", false},
        {"refused %s.mp3", true},
        {"\xD6\xD0.mp3", true},
        {"writing.mp3", true}});
  Select({1, 2, 3, 4, 5});
  shell.trashFails[tmp / "refused %s.mp3"] = TTrashResult(TTrashFault::System, EACCES);
  {
    test::TWritingChild downloader(tmp / "writing.mp3");
    RunEntryAction(TEntryAction::MoveToTrash, list, shell);
  }

  EXPECT_EQ(Trashed("song.mp3"), "song.mp3");
  EXPECT_EQ(Trashed("\xD6\xD0.mp3"), "\xD6\xD0.mp3");
  EXPECT_FALSE(Exists(tmp / "song.mp3"));
  EXPECT_EQ(ReadFile(tmp / "keep.mp3"), "keep.mp3");
  EXPECT_EQ(ReadFile(tmp / "refused %s.mp3"), "refused %s.mp3");
  // Entries whose files stayed where they were keep their place.
  EXPECT_EQ(ReadFile(tmp / "writing.mp3"), "writing.mp3");
  EXPECT_EQ(Entries(), (std::vector<std::string>{tmp / "keep.mp3", tmp / "gone.mp3",
                                                 tmp / "refused %s.mp3", tmp / "writing.mp3"}));
  ASSERT_EQ(shell.notices.size(), 1u);
  EXPECT_EQ(shell.notices[0], "文件已不存在：" + tmp / "gone.mp3" + "\n无法移到回收站：" +
                                  tmp / "refused %s.mp3" + "（" + SystemErrorText(EACCES) +
                                  "）\n无法移到回收站：" + tmp / "writing.mp3" +
                                  "（文件仍在下载中）");
}

TEST_F(EntryActionsTest, TrashReasonsAreTheUsersWords) {
  EXPECT_EQ(TTrashResult(TTrashFault::NoTrash).Reason(), "文件所在的文件系统上没有可用的回收站");
  EXPECT_EQ(TTrashResult(TTrashFault::NotAFile).Reason(), "不是文件");
  EXPECT_EQ(TTrashResult(TTrashFault::Missing).Reason(), "文件已不存在");
  EXPECT_EQ(TTrashResult(TTrashFault::System, ENOSPC).Reason(), SystemErrorText(ENOSPC));
}

TEST_F(EntryActionsTest, LongNoticesAreCut) {
  std::vector<std::pair<std::string, bool>> gone;
  for (int i = 0; i < kMaxNoticeLines + 2; ++i) gone.emplace_back("g" + std::to_string(i), false);
  Fill(gone);
  for (int i = 0; i < list.Count(); ++i) list.SetSelected(i, true);
  shell.markOwnTexts = true;
  RunEntryAction(TEntryAction::MoveToTrash, list, shell);
  ASSERT_EQ(shell.notices.size(), 1u);
  const std::string& text = shell.notices[0];
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kMaxNoticeLines);
  EXPECT_EQ(text.substr(0, text.find('\n')), "<文件已不存在：" + tmp / "g0" + ">");
  EXPECT_EQ(text.substr(text.rfind('\n') + 1), "<……另有2条>");
  EXPECT_EQ(list.Count(), kMaxNoticeLines + 2);
}

TEST_F(EntryActionsTest, PlayGoesThroughTheProgramOnlyForAPresentCurrentEntry) {
  Fill({{"here.mp3", true}, {"gone.mp3", false}});
  struct Case {
    int current;
    int plays;
    std::vector<std::string> notices;
  };
  for (const Case& c :
       std::vector<Case>{{-1, 0, {}}, {0, 1, {}}, {1, 0, {"文件已不存在：" + tmp / "gone.mp3"}}}) {
    shell = TRecordingShell();
    list.SetItemIndex(c.current);
    RunEntryAction(TEntryAction::Play, list, shell);
    EXPECT_EQ(shell.plays, c.plays) << "current " << c.current;
    EXPECT_EQ(shell.notices, c.notices) << "current " << c.current;
  }
}

TEST_F(EntryActionsTest, ShowInFolderAsksTheFileManagerElseOpensFolders) {
  ASSERT_EQ(::mkdir((tmp / "d1").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((tmp / "d2").c_str(), 0700), 0);
  Fill({{"d1/a.mp3", true}, {"d1/b.mp3", true}, {"d2/c.mp3", true}, {"gone.mp3", false}});
  Select({0, 1, 2, 3});
  const std::vector<std::string> present{tmp / "d1/a.mp3", tmp / "d1/b.mp3", tmp / "d2/c.mp3"};
  const std::string goneLine = "文件已不存在：" + tmp / "gone.mp3";

  RunEntryAction(TEntryAction::ShowInFolder, list, shell);
  EXPECT_EQ(shell.shown, (std::vector<std::vector<std::string>>{present}));
  EXPECT_TRUE(shell.folders.empty());
  EXPECT_EQ(shell.notices, (std::vector<std::string>{goneLine}));

  shell = TRecordingShell();
  shell.fileManagerAnswers = false;
  shell.folderOpens = false;
  RunEntryAction(TEntryAction::ShowInFolder, list, shell);
  EXPECT_EQ(shell.folders, (std::vector<std::string>{tmp / "d1/", tmp / "d2/"}));
  EXPECT_EQ(shell.notices,
            (std::vector<std::string>{
                goneLine, "无法打开文件夹：" + tmp / "d1/" + "\n无法打开文件夹：" + tmp / "d2/"}));
  EXPECT_EQ(list.Count(), 4);
}

TEST_F(EntryActionsTest, FoldersOpenedAreCapped) {
  std::vector<std::string> paths;
  for (int i = 0; i < kMaxFoldersOpened + 3; ++i) paths.push_back("/f" + std::to_string(i) + "/x");
  OpenFoldersOf(paths, shell);
  ASSERT_EQ(shell.folders.size(), static_cast<std::size_t>(kMaxFoldersOpened));
  EXPECT_EQ(shell.folders.front(), "/f0/");
}

TEST_F(EntryActionsTest, CopyPathsTakesTheSelectionInListOrder) {
  Fill({{"a.mp3", true}, {"b.mp3", false}, {"c.mp3", true}});
  RunEntryAction(TEntryAction::CopyPaths, list, shell);
  EXPECT_TRUE(shell.clipboards.empty());
  Select({2, 1});
  RunEntryAction(TEntryAction::CopyPaths, list, shell);
  EXPECT_EQ(shell.clipboards,
            (std::vector<std::vector<std::string>>{{tmp / "b.mp3", tmp / "c.mp3"}}));
  EXPECT_EQ(JoinLines({"x", "y"}, "\r\n"), "x\r\ny");
  EXPECT_EQ(JoinLines({}, "\n"), "");
}

}  // namespace
}  // namespace mv
