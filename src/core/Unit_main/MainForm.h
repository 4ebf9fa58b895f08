// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's stored description: its controls and the values its non-visual components
// start with. The Qt and the Win32 windows are both built from it.

#include <string>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "commands/WatchControl.h"
#include "utility/FormDescription.h"

namespace mv {

// The music mask a new window (and melvigil-cli) starts with.
inline constexpr const char* kDefaultMask = "*.wav;*.mp3;*.wma";
// The page Label4 opens.
inline constexpr const char* kFreeSoftwarePage = "https://www.gnu.org/philosophy/free-sw.html";
// The face of the window's font; the front ends find a Song-style stand-in where it is missing.
inline constexpr const char* kSongFamily = "宋体";

struct TWatcherDesc {
  bool actived = false;
  std::string watchedDir;
  bool watchSubTree = true;
  TNotifyFilters notifyFilters;
};

struct TTimerDesc {
  bool enabled = true;
  unsigned interval = 1000;  // ms
};

struct TSaveDialogDesc {
  std::string filter;
};

struct TMainFormDesc {
  TFormDesc form;
  TWatcherDesc FileSystemWatcher1;
  TTimerDesc Timer1;
  TSaveDialogDesc SaveDialog1;
};

// Form_main's description; Edit2's text and the watcher's directory are this platform's default
// directory (DefaultWatchedDir).
const TMainFormDesc& Form_mainDesc();

}  // namespace mv
