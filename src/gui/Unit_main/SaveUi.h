// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's side of the save command: the save dialog, the directory chooser, the information
// box, and long copies run on a worker thread behind a progress display.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "Unit_main/Program.h"

namespace mv {

class TSaveDialog;

inline constexpr const char* kProgressCaption = "另存为";
// "%1 of %2 files copied"
inline constexpr const char* kProgressText = "已复制 %1 / %2 个文件";
inline constexpr const char* kProgressCancel = "取消";
inline constexpr const char* kProgressCancelling = "正在取消……";

// The window's dialogs and boxes for the program: save dialog, chooser, information box,
// progress display, error box and the watcher's notices.
class TWindowSaveUi final : public IProgramUi {
 public:
  // owner: the window that is kept responsive (but takes no input) while a copy runs.
  TWindowSaveUi(QWidget* owner, TSaveDialog& saveDialog);

  bool ExecuteSaveDialog(std::string& fileName) override;
  bool ChooseDirectory(std::string& dir) override;
  void ShowInfoMessage(const std::string& text) override;
  void RunWithProgress(int total, const std::function<void(TProgress&)>& work) override;
  void ShowError(const std::exception& error) override;
  void ShowNotice(const std::string& text) override;

  // True while RunWithProgress is waiting for its work.
  bool Busy() const { return busy_; }
  // Asks the running work to stop after the current file, as the cancel button does.
  void CancelRunning();

  // How long a copy runs before the progress display appears (ms); tests shorten it.
  int ShowDelayMs = 500;
  // Called on the main thread after every RunWithProgress, however it ended.
  std::function<void()> OnFinished;

 private:
  QPointer<QWidget> owner_;
  TSaveDialog& saveDialog_;
  bool busy_ = false;
  std::function<void()> cancelRunning_;
};

}  // namespace mv
