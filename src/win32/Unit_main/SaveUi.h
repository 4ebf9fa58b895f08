// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's dialogs and boxes on Windows: SaveDialog1, the directory chooser, the
// information box for results and the watcher's notices, and the error box, all owned by the
// main window. Copies run on a worker thread while the window thread goes on with its messages
// (painting, the timer, the watcher's events) behind a small progress window; the user's input
// to the main window is held back meanwhile.

#include <windows.h>

#include <atomic>
#include <functional>

#include "Unit_main/WindowProgramUi.h"
#include "dialogs/SaveDialog.h"

namespace mv {

class TWin32SaveUi final : public TWindowProgramUi {
 public:
  // dpi and font: the main window's, which the progress window follows.
  TWin32SaveUi(HWND owner, TSaveDialog& saveDialog, int dpi = 96, HFONT font = nullptr);

  bool ExecuteSaveDialog(std::string& fileName) override;
  bool ChooseDirectory(std::string& dir) override;
  void RunWithProgress(int total, const std::function<void(TProgress&)>& work) override;
  // The progress window while it is up, else null; readable from any thread.
  HWND ProgressWindow() const { return progressWindow_.load(); }

  // Runs on the worker before the work (tests hold the copy there).
  std::function<void()> BeforeWork;

 private:
  HWND owner_;
  TSaveDialog& saveDialog_;
  int dpi_;
  HFONT font_;
  std::atomic<HWND> progressWindow_{nullptr};
};

}  // namespace mv
