// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list's context menu without a window toolkit: which entries each action takes, what it
// does to the list and to the files, and the one-line notices when it cannot act. A front end
// shows EntryMenu's items and runs the chosen one with its own IEntryShell, so every window
// offers the same menu with the same rules.

#include <string>
#include <string_view>
#include <vector>

#include "utility/Trash.h"

namespace mv {

class TListBoxStrings;

inline constexpr const char* kMenuPlay = "播放";
inline constexpr const char* kMenuShowInFolder = "打开所在文件夹";
inline constexpr const char* kMenuCopyPaths = "复制路径";
inline constexpr const char* kMenuRemoveFromList = "从列表中移除";
inline constexpr const char* kMenuMoveToTrash = "移到回收站";

// Notices; %s is the entry's path, the second %s of kTrashFailed the reason.
inline constexpr const char* kFileGone = "文件已不存在：%s";
inline constexpr const char* kTrashFailed = "无法移到回收站：%s（%s）";
inline constexpr const char* kFolderNotOpened = "无法打开文件夹：%s";
// The last line of a notice that leaves out the rest; %d is how many lines were left out.
inline constexpr const char* kMoreLines = "……另有%d条";
// The reason for kTrashFailed beside TTrashResult::Reason's.
inline constexpr const char* kReasonBeingWritten = "文件仍在下载中";

// A notice shows at most this many lines, then kMoreLines.
inline constexpr int kMaxNoticeLines = 10;
// Where no file manager shows the files, at most this many of their folders are opened: a
// selection spread over hundreds of folders must not open hundreds of windows.
inline constexpr int kMaxFoldersOpened = 5;

enum class TEntryAction { Play, ShowInFolder, CopyPaths, RemoveFromList, MoveToTrash };

struct TEntryMenuItem {
  TEntryAction action;
  const char* caption;
  bool enabled;
};

// The five items in menu order. 播放 needs a current entry; the others act on the selected
// entries and need at least one.
std::vector<TEntryMenuItem> EntryMenu(const TListBoxStrings& list);

// The selected entries' paths, first to last.
std::vector<std::string> SelectedPaths(const TListBoxStrings& list);

// texts joined by newline, none after the last.
std::string JoinLines(const std::vector<std::string>& texts, std::string_view newline);

// What the actions need from the platform and the window.
class IEntryShell {
 public:
  virtual ~IEntryShell() = default;
  // The program's own play command on the list's current entry.
  virtual void PlayCurrent() = 0;
  // Asks the desktop's file manager to show these files (all present) selected. False when no
  // file manager can be asked; the actions then open the folders instead. A shell that learns
  // only later that nobody answered calls OpenFoldersOf itself.
  virtual bool ShowInFileManager(const std::vector<std::string>& paths) = 0;
  // Opens a folder with the desktop's default handler (ShellOpen); false when nothing started.
  virtual bool OpenFolder(const std::string& folder) = 0;
  virtual void SetClipboard(const std::vector<std::string>& paths) = 0;
  virtual TTrashResult Trash(const std::string& path) { return MoveToTrash(path); }
  // One information box for the user (one or more lines, in OwnText's encoding).
  virtual void ShowNotice(const std::string& text) = 0;
  // One of the texts above (UTF-8) in the encoding the entries and ShowNotice use, so that a
  // notice joins it with a path without mixing encodings (the ANSI code page on Windows).
  virtual std::string OwnText(const char* text) { return text; }
};

// Runs action on the list as it stands now. Nothing is ever deleted: 从列表中移除 drops the
// selected entries from the list only, and 移到回收站 moves each selected file to the trash and
// drops the entries of those that went there; a file that stays keeps its entry. An entry whose
// file has gone is left alone by 播放, 打开所在文件夹 and 移到回收站, which name it in one line.
// All lines of one action come in one notice. Errors of PlayCurrent escape to the caller.
void RunEntryAction(TEntryAction action, TListBoxStrings& list, IEntryShell& shell);

// Opens the distinct folders of paths (at most kMaxFoldersOpened, first come first) through
// shell.OpenFolder, with one notice for those that could not be opened.
void OpenFoldersOf(const std::vector<std::string>& paths, IEntryShell& shell);

}  // namespace mv
