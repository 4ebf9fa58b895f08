// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/LongPath_linux.h"

#include <climits>

#include "utility/SysCall.h"

namespace mv {

int OpenLongPath(const std::string& path, int flags) {
  auto openAt = [](int dirFd, const char* p, int f) {
    return RetryOnEintr("open", [&] { return ::openat(dirFd, p, f); });
  };
  if (path.size() < PATH_MAX) return openAt(AT_FDCWD, path.c_str(), flags);
  TUniqueFd dir;
  std::size_t pos = 0;
  while (path.size() - pos >= PATH_MAX) {
    const std::size_t cut = path.rfind('/', pos + PATH_MAX - 2);
    if (cut == std::string::npos || cut < pos) {
      errno = ENAMETOOLONG;  // one name longer than the system takes
      return -1;
    }
    const std::string piece = cut == 0 ? std::string("/") : path.substr(pos, cut - pos);
    TUniqueFd next(
        openAt(dir ? dir.get() : AT_FDCWD, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!next) return -1;
    dir = std::move(next);
    pos = cut + 1;
  }
  return openAt(dir.get(), path.c_str() + pos, flags);
}

TPathAt::TPathAt(const std::string& path) : name_(path.c_str()) {
  if (path.size() < PATH_MAX) return;
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return;  // one name: the system's own refusal says it
  last_ = slash + 1 == path.size() ? std::string(".") : path.substr(slash + 1);
  name_ = last_.c_str();
  parent_.reset(OpenLongPath(slash == 0 ? std::string("/") : path.substr(0, slash),
                             O_PATH | O_DIRECTORY | O_CLOEXEC));
  dir_ = parent_.get();
}

}  // namespace mv
