// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliUi.h"

#include <cstdio>
#include <thread>

#include "Unit_main/MainForm.h"
#include "cli/Cli.h"
#include "cli/StopSignal.h"
#include "utility/ErrorText.h"

namespace mv::cli {

bool TCliUi::ExecuteSaveDialog(std::string& /*fileName*/) { return false; }

bool TCliUi::ChooseDirectory(std::string& /*dir*/) { return false; }

void TCliUi::ShowInfoMessage(const std::string& text) { PrintLine(text + "\n"); }

void TCliUi::RunWithProgress(int /*total*/, const std::function<void(TProgress&)>& work) {
  TDirectProgress progress;
  work(progress);
}

void TCliUi::ShowError(const std::exception& error) { ShowNotice(ErrorMessageText(error.what())); }

void TCliUi::ShowNotice(const std::string& text) {
  std::fprintf(stderr, "melvigil-cli: %s\n", text.c_str());
}

void TFlushingDispatcher::Post(std::function<void()> task) {
  TQueueDispatcher::Post([task = std::move(task)] {
    task();
    std::fflush(stdout);
  });
}

TCliOption MaskOption() {
  static const std::string help = std::string("the music mask (default ") + kDefaultMask + ")";
  return {.name = "mask", .valueName = "M", .help = help.c_str()};
}

namespace {

bool CatchStopIf(bool untilStopped) {
  if (untilStopped) CatchStopSignals();
  return untilStopped;
}

TProgramControls Controls(const TParsedArgs& args, const std::string& dir) {
  TProgramControls controls;
  if (args.Has("mask")) controls.maskText = [mask = args.Value("mask")] { return mask; };
  if (!dir.empty()) controls.directoryText = [dir] { return dir; };
  controls.listAllFiles = [all = args.Has("all")] { return all; };
  return controls;
}

}  // namespace

TCliProgram::TCliProgram(TMode mode, const TParsedArgs& args, const std::string& dir,
                         std::unique_ptr<IMediaDevice> device)
    : catchesStop_(CatchStopIf(mode == TMode::UntilStopped)),
      program_(mainThread_, list_, Controls(args, dir), ui_, std::move(device)) {
  if (mode == TMode::OneShot) program_.Timer1().SetEnabled(false);
  // Every notice, also the one line that says what a rescan recovered after an overflow,
  // which the window does not show.
  program_.FileSystemWatcher1().SetOnNoticeOfKind(
      [this](TNoticeKind, const std::string& text) { ui_.ShowNotice(text); });
}

void TCliProgram::RunUntilStopped() {
  if (!catchesStop_) return;  // a one-shot program has no loop to run
  // The stop request is taken by this helper thread alone: the watcher's workers never see it.
  std::thread stopWaiter([this] {
    WaitForStop();
    stopping_ = true;
    mainThread_.Quit();
  });
  mainThread_.Run();
  stopWaiter.join();
  std::fflush(stdout);
}

}  // namespace mv::cli
