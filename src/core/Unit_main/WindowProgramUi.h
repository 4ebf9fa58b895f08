// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kept out of Program.h on purpose: where the program's code sees this class, an optimising
// compiler may guess that its UI is this one and call the window's boxes directly, and then
// melvigil-cli, which has no such boxes, no longer links.

#include <functional>
#include <memory>
#include <string>

#include "Unit_main/Program.h"
#include "dialogs/BoxTexts.h"

namespace mv {

// A window's dialogs and boxes: its information and error boxes (the watcher's notices go to the
// information box), and copies run on a worker while the window goes on behind a progress
// display.
class TWindowProgramUi : public IProgramUi {
 public:
  void ShowInfoMessage(const std::string& text) override { mv::ShowInfoMessage(text); }
  void ShowError(const std::exception& error) override { ShowErrorBox(error); }
  void ShowNotice(const std::string& text) override { mv::ShowInfoMessage(text); }
  // True while RunWithProgress is waiting for its work.
  bool Busy() const { return running_ != nullptr; }
  // Asks the running work to stop after the current file, as the cancel button does.
  void CancelRunning() {
    if (running_) running_->Cancel();
  }

  // How long a copy runs before the progress display appears (ms); tests shorten it.
  int ShowDelayMs = 500;
  // Called on the main thread after every RunWithProgress, however it ended.
  std::function<void()> OnFinished;

 protected:
  // The progress of the work RunWithProgress is waiting for, else null.
  std::shared_ptr<TDirectProgress> running_;
};

}  // namespace mv
