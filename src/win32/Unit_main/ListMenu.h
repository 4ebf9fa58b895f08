// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1's context menu on Windows (right button, Shift+F10 and the Menu key), with the rules
// of commands/EntryActions.h: Explorer shows the files selected, the paths go to the clipboard
// as text, the recycle bin takes trashed files. The list box is subclassed; nothing else of the
// window changes.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "commands/EntryActions.h"

namespace mv {

class TListBox;

class TWin32ListMenu final : public IEntryShell {
 public:
  // play: the program's play command.
  TWin32ListMenu(TListBox& list, std::function<void()> play);
  ~TWin32ListMenu() override;
  TWin32ListMenu(const TWin32ListMenu&) = delete;
  TWin32ListMenu& operator=(const TWin32ListMenu&) = delete;

  // Shows the menu at a screen point and returns the chosen command (0: none); the system's
  // modal menu by default, tests choose here instead.
  std::function<UINT(HMENU menu, POINT at)> Track;
  // Starts a program with a command line (explorer.exe /select); tests record it instead.
  std::function<bool(const std::string& program, const std::string& parameters)> Launch;

  // IEntryShell
  void PlayCurrent() override;
  // One Explorer window per folder (at most kMaxFoldersOpened), its first file selected.
  bool ShowInFileManager(const std::vector<std::string>& paths) override;
  bool OpenFolder(const std::string& folder) override;
  // As text (CF_TEXT, CR LF between the paths), in the ANSI code page as the entries are.
  void SetClipboard(const std::vector<std::string>& paths) override;
  void ShowNotice(const std::string& text) override;
  std::string OwnText(const char* text) override;

 private:
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR self);
  void ContextMenu(LPARAM lParam);
  // A right click on a row outside the selection makes that row the selection, as Explorer's
  // lists do, so that the menu acts on what was clicked.
  void RightButtonDown(LPARAM lParam);

  TListBox& list_;
  HWND handle_;
  std::function<void()> play_;
};

}  // namespace mv
