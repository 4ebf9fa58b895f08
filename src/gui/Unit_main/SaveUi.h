// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's side of the save command: the save dialog, the directory chooser, the information
// box, and long copies run on a worker thread behind a progress display.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "Unit_main/WindowProgramUi.h"

namespace mv {

class TSaveDialog;

// The window's dialogs and boxes for the program: save dialog, chooser, information box,
// progress display, error box and the watcher's notices.
class TWindowSaveUi final : public TWindowProgramUi {
 public:
  // owner: the window that is kept responsive (but takes no input) while a copy runs.
  TWindowSaveUi(QWidget* owner, TSaveDialog& saveDialog);

  bool ExecuteSaveDialog(std::string& fileName) override;
  bool ChooseDirectory(std::string& dir) override;
  void RunWithProgress(int total, const std::function<void(TProgress&)>& work) override;

 private:
  QPointer<QWidget> owner_;
  TSaveDialog& saveDialog_;
};

}  // namespace mv
