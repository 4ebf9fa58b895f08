// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The start/stop button of watching (BitBtn1).

#include <string>

namespace mv {

class TFileSystemWatcher;

inline constexpr const char* kCaptionStartWatching = "开始监视";
inline constexpr const char* kCaptionStopWatching = "中止监视";

// When the watcher is off: WatchedDir := edit2Text, Actived := true, caption "中止监视".
// When it is on: Actived := false, caption "开始监视". senderCaption is the button's caption,
// written back by the call; the window sets it on the button afterwards. The download list is
// not touched: it keeps its entries across off/on. On Linux the window passes the directory
// field's text as bytes (a trailing "/" is not required).
void StartOrStopWatching(TFileSystemWatcher& watcher, const std::string& edit2Text,
                         std::string& senderCaption);

}  // namespace mv
