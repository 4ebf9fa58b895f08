// SPDX-License-Identifier: GPL-3.0-or-later
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/FileSystemWatcher.h"
#include "FileSystemWatcher/InotifyChangeSource_linux.h"
#include "utility/NameRules.h"

namespace mv {

std::string DefaultWatchedDir() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env != nullptr && *env != '\0') {
    home = env;
  } else {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
      home = found->pw_dir;
    }
  }
  if (home.empty()) home = "/";
  if (!EndsWithDirDelimiter(home)) home += '/';
  return home;
}

std::string PlatformWatchedDir(std::string_view value) {
  if (AsciiCompareNoCase(value, "C:\\") == 0 || AsciiCompareNoCase(value, "C:/") == 0) {
    return DefaultWatchedDir();
  }
  return std::string(value);
}

std::unique_ptr<IChangeSource> CreatePlatformChangeSource() {
  return std::make_unique<TInotifyChangeSource>();
}

}  // namespace mv
