// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's dialogs and boxes at a terminal: errors and notices go to stderr as
// "melvigil-cli: <text>", information to stdout; no dialog is ever answered (a cancel), and
// long work runs on the calling thread.

#include <atomic>
#include <string>

#include "Unit_main/Program.h"
#include "cli/Options.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"

namespace mv::cli {

class TCliUi final : public IProgramUi {
 public:
  bool ExecuteSaveDialog(std::string& fileName) override;
  bool ChooseDirectory(std::string& dir) override;
  void ShowInfoMessage(const std::string& text) override;
  void RunWithProgress(int total, const std::function<void(TProgress&)>& work) override;
  void ShowError(const std::exception& error) override;
  void ShowNotice(const std::string& text) override;
};

// Runs every task of the main loop, then flushes what it printed: a batch's lines leave
// together.
class TFlushingDispatcher final : public TQueueDispatcher {
 public:
  void Post(std::function<void()> task) override;
};

// --mask M, described alike by every subcommand that takes it.
TCliOption MaskOption();

// One subcommand's program: the list in memory, the dialogs and boxes at the terminal, the
// controls from the options (--mask, --all, the directory given); what they leave out is the
// window's default.
class TCliProgram {
 public:
  enum class TMode {
    OneShot,       // runs its commands and ends: no tick, Ctrl+C ends it at once
    UntilStopped,  // runs the main loop until SIGINT or SIGTERM
  };
  // device: the player's (null: the platform's own).
  TCliProgram(TMode mode, const TParsedArgs& args, const std::string& dir = {},
              std::unique_ptr<IMediaDevice> device = nullptr);

  TProgram& Program() { return program_; }
  TMemoryListItems& List() { return list_; }
  TFlushingDispatcher& MainThread() { return mainThread_; }
  // Runs the main loop until a stop is requested.
  void RunUntilStopped();
  // True once a stop was requested: the watcher's news after that is not told.
  bool Stopping() const { return stopping_; }

 private:
  // First: the stop signals must be caught before the program starts any thread.
  bool catchesStop_;
  std::atomic<bool> stopping_ = false;
  TFlushingDispatcher mainThread_;
  TMemoryListItems list_;
  TCliUi ui_;
  TProgram program_;
};

}  // namespace mv::cli
