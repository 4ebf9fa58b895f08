// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Program.h"

#include <algorithm>

#include "commands/PlayCommands.h"
#include "commands/WatchControl.h"
#include "utility/ShellOpen.h"

namespace mv {

namespace {

TProgramControls WithDefaults(TProgramControls controls) {
  const TFormDesc& form = Form_mainDesc().form;
  auto text = [&form](const char* name) {
    return [caption = form.Control(name).caption] { return caption; };
  };
  if (!controls.maskText) controls.maskText = text("Edit1");
  if (!controls.directoryText) controls.directoryText = text("Edit2");
  if (!controls.listAllFiles) controls.listAllFiles = [] { return false; };
  return controls;
}

}  // namespace

TProgressShown ProgressShown(const TDirectProgress& progress, int total) {
  if (progress.Cancelled()) return {"正在取消……"};
  const int done = progress.LastDone();
  TProgressShown shown{"已复制 " + std::to_string(done) + " / " + std::to_string(total) + " 个文件",
                       std::max(total, 1), done};
  const std::uint64_t bytes = progress.LastTotalBytes();
  if (total == 1 && bytes > 0) {
    // One large file: the bar and the text both show how far its bytes have got, so they never
    // disagree (a bar counting files would stand still until the very end).
    shown.range = 100;
    shown.position =
        done >= 1 ? 100 : static_cast<int>(std::min(progress.LastBytes(), bytes) * 100 / bytes);
    shown.text += " (" + std::to_string(shown.position) + "%)";
  }
  return shown;
}

TProgram::TProgram(IMainThreadDispatcher& dispatcher, TListBoxStrings& list,
                   TProgramControls controls, IProgramUi& ui, std::unique_ptr<IMediaDevice> device)
    : list_(list),
      controls_(WithDefaults(std::move(controls))),
      ui_(ui),
      dispatcher_(dispatcher),
      downloads_(list, dispatcher, controls_.maskText, controls_.listAllFiles),
      device_(std::move(device)),
      watcher_(dispatcher),
      timer_(dispatcher) {
  const TMainFormDesc& desc = Form_mainDesc();
  watcher_.SetActived(desc.FileSystemWatcher1.actived);
  watcher_.SetWatchedDir(desc.FileSystemWatcher1.watchedDir);
  watcher_.SetWatchSubTree(desc.FileSystemWatcher1.watchSubTree);
  watcher_.SetNotifyFilters(desc.FileSystemWatcher1.notifyFilters);
  watcher_.SetOnChange(
      [this](TFileOperation op, const std::string& name1, const std::string& name2) {
        Guard([&] { downloads_.FileChanged(op, name1, name2); });
      });
  watcher_.SetOnNotice([this](const std::string& text) { Guard([&] { ui_.ShowNotice(text); }); });
  downloads_.AttachWatcher(watcher_);
  downloads_.OnNotice = [this](const std::string& text) { ui_.ShowNotice(text); };
  timer_.SetInterval(desc.Timer1.interval);
  timer_.SetEnabled(desc.Timer1.enabled);
  // Last: the timer ticks from here on, whether or not watching is on.
  timer_.SetOnTimer([this](TTicker&) { Guard([this] { downloads_.Sweep(); }); });
}

TProgram::~TProgram() {
  // Nothing may tick or report into the list while the rest goes.
  timer_.SetOnTimer({});
  watcher_.SetActived(false);
  watcher_.SetOnChange({});
}

TMediaPlayer& TProgram::MediaPlayer1() {
  if (!player_) player_ = std::make_unique<TMediaPlayer>(dispatcher_, std::move(device_));
  return *player_;
}

void TProgram::FormCreate() { list_.SetItemIndex(-1); }

void TProgram::StartOrStopWatching() {
  std::string caption;
  mv::StartOrStopWatching(watcher_, controls_.directoryText(), caption);
  if (OnWatchingChanged) OnWatchingChanged(watcher_.Actived());
}

const char* TProgram::WatchCaption() const {
  return watcher_.Actived() ? kCaptionStopWatching : kCaptionStartWatching;
}

void TProgram::PlayCurrent() { mv::PlayCurrent(list_, MediaPlayer1()); }

void TProgram::StopPlaying() { mv::StopPlaying(MediaPlayer1()); }

void TProgram::SaveSelected() { mv::SaveSelected(list_, controls_.maskText(), ui_); }

void TProgram::SaveSelectedInto(const std::string& dir, const TFileReport& report) {
  mv::SaveSelectedInto(list_, dir, controls_.maskText(), ui_, report);
}

void TProgram::RenameAll(const TFileReport& report) {
  mv::RenameAll(list_, controls_.maskText, report);
}

void TProgram::OpenHomePage() { ShellOpen(kFreeSoftwarePage, ""); }

}  // namespace mv
