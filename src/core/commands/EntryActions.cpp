// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/EntryActions.h"

#include <set>

#include "utility/FileRules.h"
#include "utility/ListItems.h"
#include "utility/ShellOpen.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

// Lines for one notice, cut after kMaxNoticeLines.
class TNotice {
 public:
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void ShowOn(IEntryShell& shell) const {
    if (lines_.empty()) return;
    const std::size_t shown = std::min<std::size_t>(lines_.size(), kMaxNoticeLines);
    std::vector<std::string> text(lines_.begin(), lines_.begin() + static_cast<long>(shown));
    if (shown < lines_.size()) {
      text.push_back(
          FormatD(shell.OwnText(kMoreLines), static_cast<long long>(lines_.size() - shown)));
    }
    shell.ShowNotice(JoinLines(text, "\n"));
  }

 private:
  std::vector<std::string> lines_;
};

std::vector<int> SelectedIndices(const TListBoxStrings& list) {
  std::vector<int> indices;
  if (list.SelCount() <= 0) return indices;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Selected(i)) indices.push_back(i);
  }
  return indices;
}

void Play(TListBoxStrings& list, IEntryShell& shell) {
  const int current = list.ItemIndex();
  if (current < 0 || current >= list.Count()) return;
  const std::string path = list.Get(current);
  if (!FileIsPresent(path)) {
    shell.ShowNotice(FormatS(shell.OwnText(kFileGone), {path}));
    return;
  }
  shell.PlayCurrent();
}

void ShowInFolder(const TListBoxStrings& list, IEntryShell& shell) {
  TNotice notice;
  std::vector<std::string> present;
  for (std::string& path : SelectedPaths(list)) {
    if (FileIsPresent(path)) {
      present.push_back(std::move(path));
    } else {
      notice.Add(FormatS(shell.OwnText(kFileGone), {path}));
    }
  }
  notice.ShowOn(shell);
  if (!present.empty() && !shell.ShowInFileManager(present)) OpenFoldersOf(present, shell);
}

void RemoveSelected(TListBoxStrings& list) {
  std::vector<int> indices = SelectedIndices(list);
  if (indices.empty()) return;
  list.DeleteMany(std::vector<int>(indices.rbegin(), indices.rend()));
}

void TrashSelected(TListBoxStrings& list, IEntryShell& shell) {
  TNotice notice;
  std::vector<int> trashed;
  for (const int index : SelectedIndices(list)) {
    const std::string path = list.Get(index);
    // The existence rule of the list itself: a directory of that name is no entry's file.
    if (!FileIsPresent(path)) {
      notice.Add(FormatS(shell.OwnText(kFileGone), {path}));
      continue;
    }
    // A downloader still writing would lose its file at its own final rename.
    if (FileIsBeingWritten(path)) {
      notice.Add(FormatS(shell.OwnText(kTrashFailed), {path, shell.OwnText(kReasonBeingWritten)}));
      continue;
    }
    const TTrashResult result = shell.Trash(path);
    if (result) {
      trashed.push_back(index);
    } else if (result.Fault() == TTrashFault::Missing) {
      notice.Add(FormatS(shell.OwnText(kFileGone), {path}));
    } else {
      const std::string reason = result.Fault() == TTrashFault::System
                                     ? result.Reason()
                                     : shell.OwnText(result.Reason().c_str());
      notice.Add(FormatS(shell.OwnText(kTrashFailed), {path, reason}));
    }
  }
  if (!trashed.empty()) list.DeleteMany(std::vector<int>(trashed.rbegin(), trashed.rend()));
  notice.ShowOn(shell);
}

}  // namespace

std::vector<TEntryMenuItem> EntryMenu(const TListBoxStrings& list) {
  const int current = list.ItemIndex();
  const bool hasCurrent = current >= 0 && current < list.Count();
  const bool hasSelected = list.SelCount() > 0;
  return {
      {TEntryAction::Play, kMenuPlay, hasCurrent},
      {TEntryAction::ShowInFolder, kMenuShowInFolder, hasSelected},
      {TEntryAction::CopyPaths, kMenuCopyPaths, hasSelected},
      {TEntryAction::RemoveFromList, kMenuRemoveFromList, hasSelected},
      {TEntryAction::MoveToTrash, kMenuMoveToTrash, hasSelected},
  };
}

std::vector<std::string> SelectedPaths(const TListBoxStrings& list) {
  std::vector<std::string> paths;
  for (const int index : SelectedIndices(list)) paths.push_back(list.Get(index));
  return paths;
}

std::string JoinLines(const std::vector<std::string>& texts, std::string_view newline) {
  std::string out;
  for (const std::string& text : texts) {
    if (&text != &texts.front()) out.append(newline);
    out.append(text);
  }
  return out;
}

void RunEntryAction(TEntryAction action, TListBoxStrings& list, IEntryShell& shell) {
  switch (action) {
    case TEntryAction::Play:
      return Play(list, shell);
    case TEntryAction::ShowInFolder:
      return ShowInFolder(list, shell);
    case TEntryAction::CopyPaths: {
      const std::vector<std::string> paths = SelectedPaths(list);
      if (!paths.empty()) shell.SetClipboard(paths);
      return;
    }
    case TEntryAction::RemoveFromList:
      return RemoveSelected(list);
    case TEntryAction::MoveToTrash:
      return TrashSelected(list, shell);
  }
}

void OpenFoldersOf(const std::vector<std::string>& paths, IEntryShell& shell) {
  std::set<std::string> seen;
  TNotice notice;
  for (const std::string& path : paths) {
    if (seen.size() >= static_cast<std::size_t>(kMaxFoldersOpened)) break;
    const std::string folder = ShellWorkingDirectory(path);
    if (folder.empty() || !seen.insert(folder).second) continue;
    if (!shell.OpenFolder(folder)) notice.Add(FormatS(shell.OwnText(kFolderNotOpened), {folder}));
  }
  notice.ShowOn(shell);
}

}  // namespace mv
