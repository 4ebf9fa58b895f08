// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1's context menu (right click and the Menu key) and dragging its selected entries out
// as files. The rules are the core's (commands/EntryActions.h, shared with the Win32 window);
// this is their Qt side: the menu, the clipboard, the file manager over D-Bus, the box.

#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "commands/EntryActions.h"

class QMenu;
class QPoint;
class QWidget;

namespace mv {

class TListBox;

// The file manager's D-Bus service; ShowItems(file URIs, startup id) shows files selected.
inline constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";
inline constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";

class TListMenu final : public QObject, public IEntryShell {
  Q_OBJECT

 public:
  // Attaches to list, as its child: the list's context-menu requests open the menu, and its
  // selected rows can be dragged out, as copies only. play: the program's play command.
  TListMenu(TListBox& list, std::function<void()> play);

  // The menu for the list as it stands; each action runs on the list when triggered.
  QMenu* MakeMenu(QWidget* parent);

  // IEntryShell
  void PlayCurrent() override;
  // Asynchronous: when the file manager's service does not answer, the folders open instead.
  bool ShowInFileManager(const std::vector<std::string>& paths) override;
  bool OpenFolder(const std::string& folder) override;
  void SetClipboard(const std::vector<std::string>& paths) override;
  void ShowNotice(const std::string& text) override;

 private:
  void Popup(const QPoint& viewportPos);

  TListBox& list_;
  std::function<void()> play_;
};

}  // namespace mv
