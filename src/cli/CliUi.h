// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's dialogs and boxes at a terminal: errors and notices go to stderr as
// "melvigil-cli: <text>", information to stdout; no dialog is ever answered (a cancel), and
// long work runs on the calling thread.

#include "Unit_main/Program.h"

namespace mv::cli {

class TCliUi final : public IProgramUi {
 public:
  bool ExecuteSaveDialog(std::string& fileName) override;
  bool ChooseDirectory(std::string& dir) override;
  void ShowInfoMessage(const std::string& text) override;
  void RunWithProgress(int total, const std::function<void(TProgress&)>& work) override;
  void ShowError(const std::exception& error) override;
  void ShowNotice(const std::string& text) override;
  // True once ShowError was called.
  bool Failed() const { return failed_; }

 private:
  bool failed_ = false;
};

}  // namespace mv::cli
