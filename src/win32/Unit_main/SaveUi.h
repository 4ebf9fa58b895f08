// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save command's window side on Windows: SaveDialog1, the directory chooser and the
// information box, all owned by the main window. Copies run on the window thread, as the
// commands wrote them; the window repaints once they are done.

#include <windows.h>

#include "commands/SaveCommands.h"
#include "dialogs/SaveDialog.h"

namespace mv {

class TWin32SaveUi final : public ISaveUi {
 public:
  TWin32SaveUi(HWND owner, TSaveDialog& saveDialog) : owner_(owner), saveDialog_(saveDialog) {}

  bool ExecuteSaveDialog(std::string& fileName) override;
  bool ChooseDirectory(std::string& dir) override;
  void ShowInfoMessage(const std::string& text) override;
  void RunWithProgress(int total, const std::function<void(TProgress&)>& work) override;

 private:
  HWND owner_;
  TSaveDialog& saveDialog_;
};

}  // namespace mv
