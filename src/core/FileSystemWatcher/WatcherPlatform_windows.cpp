// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>
#include <string>
#include <string_view>

#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/DirectoryChangeSource_windows.h"
#include "FileSystemWatcher/FileSystemWatcher.h"

namespace mv {

std::string DefaultWatchedDir() { return "C:\\"; }

// On Windows every value names what the system says it names.
std::string PlatformWatchedDir(std::string_view value) { return std::string(value); }

std::unique_ptr<IChangeSource> CreatePlatformChangeSource() {
  return std::make_unique<TDirectoryChangeSource>();
}

}  // namespace mv
