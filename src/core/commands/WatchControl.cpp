// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/WatchControl.h"

#include "FileSystemWatcher/FileSystemWatcher.h"

namespace mv {

void StartOrStopWatching(TFileSystemWatcher& watcher, const std::string& edit2Text,
                         std::string& senderCaption) {
  if (!watcher.Actived()) {
    watcher.SetWatchedDir(edit2Text);
    watcher.SetActived(true);
    senderCaption = kCaptionStopWatching;
  } else {
    watcher.SetActived(false);
    senderCaption = kCaptionStartWatching;
  }
}

}  // namespace mv
