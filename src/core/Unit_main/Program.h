// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program minus its window: the watcher, the download list, the once-a-second tick, the
// player and the commands, set up from the main window's stored description. A front end (the
// Qt window, the Win32 window, melvigil-cli) gives it its main-thread dispatcher, readers of its
// controls, the list storage and its dialogs and boxes, and calls the commands from its
// controls' handlers.
//
// Threading: construct, destroy and call every member on the main thread, the one that runs the
// dispatcher.

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "Unit_main/MainForm.h"
#include "Unit_main/Ticker.h"
#include "commands/DownloadList.h"
#include "commands/SaveCommands.h"
#include "media/MPlayer.h"
#include "utility/Dispatcher.h"
#include "utility/ListItems.h"

namespace mv {

// The controls the program reads, each read afresh when needed. A reader left empty stands for
// the control as the stored description creates it (the default mask, the platform's default
// directory, the switch off).
struct TProgramControls {
  std::function<std::string()> maskText;       // Edit1, the music mask as typed
  std::function<std::string()> directoryText;  // Edit2, the directory to watch
  std::function<bool()> listAllFiles;          // CheckBox1
};

// The front end's dialogs and boxes: the save command's (ISaveUi), the error box and the
// watcher's notices.
class IProgramUi : public ISaveUi {
 public:
  // The application's error box: an error escaped a command, tick or watcher event.
  virtual void ShowError(const std::exception& error) = 0;
  // A notice of the watcher for the user (Chinese text).
  virtual void ShowNotice(const std::string& text) = 0;
};

inline constexpr const char* kProgressCaption = "另存为";
inline constexpr const char* kProgressCancel = "取消";

// What a window's progress display shows of a running copy: its text, and its bar's range and
// position (range 0: the bar stays as it is).
struct TProgressShown {
  std::string text;
  int range = 0;
  int position = 0;
};
TProgressShown ProgressShown(const TDirectProgress& progress, int total);

class TProgram {
 public:
  // device: the player's device; null picks the platform's own. The player is made when first
  // needed, so a front end that never plays (melvigil-cli list) starts no device.
  TProgram(IMainThreadDispatcher& dispatcher, TListBoxStrings& list, TProgramControls controls,
           IProgramUi& ui, std::unique_ptr<IMediaDevice> device = nullptr);
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  // --- the components, as the stored description sets them up ---------------------------
  TFileSystemWatcher& FileSystemWatcher1() { return watcher_; }
  TTicker& Timer1() { return timer_; }
  TMediaPlayer& MediaPlayer1();
  TDownloadList& Downloads() { return downloads_; }

  // --- the commands (errors escape to the caller, which shows them in its error box) -----
  // The form is created: no current entry.
  void FormCreate();
  // On: watch the directory control's text with its subdirectories; off: stop. The list keeps
  // its entries. OnWatchingChanged hears the new state.
  void StartOrStopWatching();
  // The start/stop button's caption: the action a click performs next.
  const char* WatchCaption() const;
  void PlayCurrent();
  void StopPlaying();
  void SaveSelected();
  // The save command's copy of the selected entries into dir, without the chooser.
  void SaveSelectedInto(const std::string& dir, const TFileReport& report = {});
  void RenameAll(const TFileReport& report = {});
  void OpenHomePage();

  // Called after StartOrStopWatching, with the new state.
  std::function<void(bool watching)> OnWatchingChanged;

 private:
  // Ticks and watcher events come from the program itself: their errors go to the error box.
  template <class Fn>
  void Guard(Fn&& fn) {
    try {
      fn();
    } catch (const std::exception& e) {
      ui_.ShowError(e);
    }
  }

  TListBoxStrings& list_;
  TProgramControls controls_;
  IProgramUi& ui_;
  // Destroyed in reverse: no tick, then no watcher event, reaches a list that has gone.
  IMainThreadDispatcher& dispatcher_;
  TDownloadList downloads_;
  std::unique_ptr<IMediaDevice> device_;
  std::unique_ptr<TMediaPlayer> player_;
  TFileSystemWatcher watcher_;
  TTicker timer_;
};

}  // namespace mv
