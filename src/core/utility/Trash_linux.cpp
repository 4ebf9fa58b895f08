// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "utility/FileUrl.h"
#include "utility/SysCall.h"
#include "utility/Trash.h"
#include "utility/UniqueFd.h"

namespace mv {

namespace {

struct TTrashDir {
  std::string dir;     // the trash itself, files/ and info/ below it
  std::string topDir;  // for a top-directory trash: the top directory, ending in "/"; else empty
};

bool IsDirNoLink(const std::string& path, struct stat* st) {
  return ::lstat(path.c_str(), st) == 0 && S_ISDIR(st->st_mode);
}

// Makes dir (mode 0700) unless it is there; false if it is there but no directory.
bool EnsureDir(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) == 0) return true;
  struct stat st {};
  return errno == EEXIST && IsDirNoLink(dir, &st);
}

// Makes every missing directory of path, as mkdir -p does (mode 0700).
bool EnsureDirs(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (!EnsureDir(path.substr(0, slash))) return false;
  }
  return EnsureDir(path);
}

std::string DataHome() {
  const char* xdg = ::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = ::getenv("HOME");
  if (home == nullptr || home[0] != '/') return {};
  return std::string(home) + "/.local/share";
}

// The top directory of the file system that holds dir: the last ancestor on the same device.
std::string TopDir(const std::string& dir, dev_t dev) {
  std::string top = dir;
  while (top != "/") {
    const std::size_t slash = top.rfind('/');
    const std::string parent = slash == 0 ? "/" : top.substr(0, slash);
    struct stat st {};
    if (::stat(parent.c_str(), &st) != 0 || st.st_dev != dev) break;
    top = parent;
  }
  return top;
}

// Takes dir as the trash, with files/ and info/ made when missing.
bool UseTrash(const std::string& dir, const std::string& topDir, TTrashDir* out) {
  *out = {dir, topDir};
  return EnsureDir(dir + "/files") && EnsureDir(dir + "/info");
}

// Makes dir unless it is there, and tells whether it is a real directory of ours.
bool EnsureOwnDir(const std::string& dir, struct stat* st) {
  return EnsureDir(dir) && IsDirNoLink(dir, st) && st->st_uid == ::getuid();
}

// The trash for a file on device dev in directory dir, made ready (files/ and info/ exist).
bool FindTrash(const std::string& dir, dev_t dev, TTrashDir* out) {
  const std::string dataHome = DataHome();
  if (!dataHome.empty() && EnsureDirs(dataHome)) {
    struct stat st {};
    if (::stat(dataHome.c_str(), &st) == 0 && st.st_dev == dev) {
      return EnsureDir(dataHome + "/Trash") && UseTrash(dataHome + "/Trash", {}, out);
    }
  }
  const std::string top = TopDir(dir, dev);
  const std::string topSlash = top == "/" ? "/" : top + "/";
  const std::string uid = std::to_string(::getuid());
  // $topdir/.Trash is shared by all users: only a real directory with the sticky bit will do,
  // so that nobody else can take or replace what we put there.
  struct stat st {};
  if (IsDirNoLink(topSlash + ".Trash", &st) && (st.st_mode & S_ISVTX) != 0 &&
      EnsureOwnDir(topSlash + ".Trash/" + uid, &st)) {
    return UseTrash(topSlash + ".Trash/" + uid, topSlash, out);
  }
  const std::string mine = topSlash + ".Trash-" + uid;
  return EnsureOwnDir(mine, &st) && st.st_dev == dev && UseTrash(mine, topSlash, out);
}

std::string Now() {
  const time_t t = ::time(nullptr);
  struct tm local {};
  ::localtime_r(&t, &local);
  char buf[32];
  ::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
  return buf;
}

}  // namespace

TTrashResult MoveToTrash(const std::string& name) {
  if (name.empty()) return TTrashFault::Missing;
  std::string path = name;
  if (path.front() != '/') {
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) return {TTrashFault::System, errno};
    path = std::string(cwd) + "/" + path;
    ::free(cwd);
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    return errno == ENOENT ? TTrashResult(TTrashFault::Missing)
                           : TTrashResult(TTrashFault::System, errno);
  }
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return TTrashFault::NotAFile;

  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == 0 ? "/" : path.substr(0, slash);
  const std::string base = path.substr(slash + 1);
  TTrashDir trash;
  if (base.empty() || !FindTrash(dir, st.st_dev, &trash)) return TTrashFault::NoTrash;

  // A top-directory trash names the file relative to its top directory.
  const std::string recorded = trash.topDir.empty() ? path : path.substr(trash.topDir.size());
  const std::string info =
      "[Trash Info]\nPath=" + PercentEncodePath(recorded) + "\nDeletionDate=" + Now() + "\n";

  // The .trashinfo made with O_EXCL reserves the name; the file then moves without replacing
  // anything that might be in files/ under that name.
  for (int attempt = 1; attempt < 10000; ++attempt) {
    const std::string trashed = attempt == 1 ? base : base + "." + std::to_string(attempt);
    const std::string infoName = trash.dir + "/info/" + trashed + ".trashinfo";
    TUniqueFd fd(RetryOnEintr("open", [&] {
      return ::open(infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }));
    if (!fd) {
      if (errno == EEXIST) continue;
      return {TTrashFault::System, errno};
    }
    if (!WriteAll(fd.get(), info) || ::fsync(fd.get()) != 0) {
      const int error = errno;
      ::unlink(infoName.c_str());
      return {TTrashFault::System, error};
    }
    fd.reset();
    const std::string target = trash.dir + "/files/" + trashed;
    int moved = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && errno == EINVAL) {
      // A file system without RENAME_NOREPLACE: look first, then move.
      struct stat there {};
      moved = ::lstat(target.c_str(), &there) == 0 ? (errno = EEXIST, -1)
                                                   : ::rename(path.c_str(), target.c_str());
    }
    if (moved == 0) return {};
    const int error = errno;
    ::unlink(infoName.c_str());
    if (error == EEXIST) continue;  // files/ had the name without its info: take the next
    if (error == ENOENT) return TTrashFault::Missing;
    return {TTrashFault::System, error};
  }
  return {TTrashFault::System, EEXIST};
}

}  // namespace mv
