// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/WatcherNotices.h"

namespace mv {

std::string WatchedDirMissingNotice(std::string_view directory) {
  std::string text = "监视的目录不存在：";
  text += directory;
  text += "。该目录出现后将自动开始监视。";
  return text;
}

std::string UnwatchablePathNotice(std::string_view path, std::string_view why) {
  std::string text = "无法监视 ";
  text += path;
  text += "（";
  text += why;
  text += "），其中的变化不会被列出。";
  return text;
}

}  // namespace mv
