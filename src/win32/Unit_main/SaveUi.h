// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's dialogs and boxes on Windows: SaveDialog1, the directory chooser, the
// information box for results and the watcher's notices, and the error box, all owned by the
// main window. Copies run on the window thread, as the commands wrote them.

#include <windows.h>

#include "Unit_main/Program.h"
#include "dialogs/SaveDialog.h"

namespace mv {

class TWin32SaveUi final : public IProgramUi {
 public:
  TWin32SaveUi(HWND owner, TSaveDialog& saveDialog) : owner_(owner), saveDialog_(saveDialog) {}

  bool ExecuteSaveDialog(std::string& fileName) override;
  bool ChooseDirectory(std::string& dir) override;
  void ShowInfoMessage(const std::string& text) override;
  void RunWithProgress(int total, const std::function<void(TProgress&)>& work) override;
  void ShowError(const std::exception& error) override;
  void ShowNotice(const std::string& text) override;

 private:
  HWND owner_;
  TSaveDialog& saveDialog_;
};

}  // namespace mv
