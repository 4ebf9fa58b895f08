// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's side of the program without a window: the dialogs answer through the functions
// (unset = the user cancelled), messages, errors and notices are recorded, work runs on the
// calling thread with a fresh TDirectProgress for each RunWithProgress (OnProgressStep is
// copied into it, and LastTotal is the total given).

#include <functional>
#include <string>
#include <vector>

#include "Unit_main/Program.h"
#include "commands/SaveCommands.h"

namespace mv {

class TDirectSaveUi : public IProgramUi {
 public:
  std::function<bool(std::string& fileName)> OnSaveDialog;
  std::function<bool(std::string& dir)> OnChooseDirectory;
  std::function<void(const std::string& text)> OnInfoMessage;
  std::function<void(TDirectProgress& progress, int done)> OnProgressStep;
  int LastTotal = -1;
  int Runs = 0;
  std::vector<std::string> Errors;
  std::vector<std::string> Notices;

  bool ExecuteSaveDialog(std::string& fileName) override {
    return OnSaveDialog && OnSaveDialog(fileName);
  }
  bool ChooseDirectory(std::string& dir) override {
    return OnChooseDirectory && OnChooseDirectory(dir);
  }
  void ShowInfoMessage(const std::string& text) override {
    if (OnInfoMessage) OnInfoMessage(text);
  }
  void RunWithProgress(int total, const std::function<void(TProgress&)>& work) override {
    LastTotal = total;
    ++Runs;
    TDirectProgress progress;
    if (OnProgressStep) {
      progress.OnStep = [this, &progress](int done) { OnProgressStep(progress, done); };
    }
    work(progress);
  }
  void ShowError(const std::exception& error) override { Errors.push_back(error.what()); }
  void ShowNotice(const std::string& text) override { Notices.push_back(text); }
};

}  // namespace mv
