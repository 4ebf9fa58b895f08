// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the watcher tells the user through its notice channel, whichever system feeds it.

#include <string>
#include <string_view>

namespace mv {

// The watched directory does not exist, at the start or because it went away while watched.
// Watching begins by itself once a directory of that name exists again.
std::string WatchedDirMissingNotice(std::string_view directory);

// A path below the watched directory that cannot be watched or reported; why, in a few words.
std::string UnwatchablePathNotice(std::string_view path, std::string_view why);

}  // namespace mv
