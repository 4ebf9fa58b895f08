// SPDX-License-Identifier: GPL-3.0-or-later
// File existence, rename, copy and open on Linux. Names are passed to the system as the bytes
// they are.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "utility/FileRules.h"
#include "utility/SysCall.h"
#include "utility/SysUtils.h"
#include "utility/UniqueFd.h"

namespace mv {

namespace {

// The kernel's own split: "/" always separates, whatever the locale's lead bytes say.
std::string DirectoryOf(const std::string& name) {
  const std::size_t p = name.rfind('/');
  return p == std::string::npos ? std::string() : name.substr(0, p + 1);
}
std::string BaseOf(const std::string& name) {
  const std::size_t p = name.rfind('/');
  return p == std::string::npos ? name : name.substr(p + 1);
}

bool HasWildcard(std::string_view text) {
  return text.find_first_of("*?") != std::string_view::npos;
}

// Only '*' and '?' are wildcards here; everything fnmatch would read otherwise ("[", "\") is
// escaped so that it matches itself.
std::string WildcardToFnmatch(std::string_view pattern) {
  std::string out;
  for (char c : pattern) {
    if (c == '[' || c == ']' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

bool IsFileAt(int dirFd, const char* name) {
  struct stat st {};
  return ::fstatat(dirFd, name, &st, 0) == 0 && !S_ISDIR(st.st_mode);
}

// The directory's entries in its own order; "." and ".." are not names of files and are
// passed over.
bool FirstMatchIsFile(const std::string& name) {
  std::string dir = DirectoryOf(name);
  const std::string pattern = WildcardToFnmatch(BaseOf(name));
  if (pattern.empty()) return false;
  if (dir.empty()) dir = ".";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return false;
  bool result = false;
  while (const dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (::fnmatch(pattern.c_str(), e->d_name, 0) != 0) continue;
    result = IsFileAt(::dirfd(d), e->d_name);
    break;
  }
  ::closedir(d);
  return result;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = RetryOnEintr("write", [&] { return ::write(fd, data, size); });
    if (n < 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

ssize_t ReadSome(int fd, void* buffer, std::size_t size) {
  return RetryOnEintr("read", [&] { return ::read(fd, buffer, size); });
}

// Copies the whole of in to out; false on an error or when progress cancels.
bool CopyData(int in, int out, std::uint64_t total, TCopyProgress progress, void* context) {
  std::vector<char> buffer(256 * 1024);
  std::uint64_t copied = 0;
  for (;;) {
    const ssize_t n = ReadSome(in, buffer.data(), buffer.size());
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) return false;
    copied += static_cast<std::uint64_t>(n);
    if (progress != nullptr && !progress(context, copied, total)) return false;
  }
}

void SyncDirectory(const std::string& dir) {
  TUniqueFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d.get() >= 0) ::fsync(d.get());
}

class TPosixFileStream final : public TFileStream {
 public:
  TPosixFileStream(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ReadSome(fd_.get(), p + done, size - done);
      if (n < 0) throw Exception("读取文件出错 " + name_ + ": " + std::strerror(errno));
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

 private:
  TUniqueFd fd_;
  std::string name_;
};

[[noreturn]] void RaiseOpenError(const std::string& name) {
  std::string message = text::kCannotOpenFile;
  message.replace(message.find("%s"), 2, name);
  throw EFOpenError(message);
}

}  // namespace

bool FileIsPresent(const std::string& name) {
  if (name.empty()) return false;
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
  if (!HasWildcard(BaseOf(name))) return false;
  return FirstMatchIsFile(name);
}

bool RenameFileTo(const std::string& oldName, const std::string& newName) {
  if (oldName.empty() || newName.empty()) return false;
  if (::renameat2(AT_FDCWD, oldName.c_str(), AT_FDCWD, newName.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system that cannot rename without replacing: a hard link never replaces either.
  if (::link(oldName.c_str(), newName.c_str()) != 0) return false;
  if (::unlink(oldName.c_str()) != 0) {
    ::unlink(newName.c_str());
    return false;
  }
  return true;
}

bool CopyFileOverwrite(const std::string& source, const std::string& target, TCopyProgress progress,
                       void* context) {
  if (source.empty() || target.empty()) return false;
  // O_NONBLOCK for the open only: a FIFO must not hold us up before it is refused.
  TUniqueFd in(::open(source.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (in.get() < 0) return false;
  struct stat src {};
  if (::fstat(in.get(), &src) != 0 || !S_ISREG(src.st_mode)) return false;
  const int inFlags = ::fcntl(in.get(), F_GETFL);
  if (inFlags < 0 || ::fcntl(in.get(), F_SETFL, inFlags & ~O_NONBLOCK) != 0) return false;

  // The same file under another name (hard link, symbolic link, "a/../a") must not be copied
  // onto itself: the rename below would then just drop a name, or the data would be lost.
  struct stat dst {};
  if (::stat(target.c_str(), &dst) == 0) {
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) return false;
    if (S_ISDIR(dst.st_mode)) return false;
  }

  // Write beside the target, then rename into place: the old target stays whole until the
  // new one is complete. A symbolic link as target is replaced by the file itself; the file
  // it pointed to is never written.
  const std::string dir = DirectoryOf(target);
  std::string tempName = (dir.empty() ? std::string() : dir) + ".melvigil-copy-XXXXXX";
  std::vector<char> templ(tempName.begin(), tempName.end());
  templ.push_back('\0');
  TUniqueFd out(::mkostemp(templ.data(), O_CLOEXEC));
  if (out.get() < 0) return false;
  tempName.assign(templ.data());

  bool ok =
      CopyData(in.get(), out.get(), static_cast<std::uint64_t>(src.st_size), progress, context);
  ok = ok && ::fchmod(out.get(), src.st_mode & 0777) == 0;
  if (ok) {
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    ::futimens(out.get(), times);  // the date is kept where the file system allows it
  }
  ok = ok && ::fsync(out.get()) == 0;
  ok = ::close(out.release()) == 0 && ok;
  ok = ok && ::rename(tempName.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tempName.c_str());
    return false;
  }
  SyncDirectory(dir.empty() ? std::string(".") : dir);
  return true;
}

std::unique_ptr<TFileStream> OpenForReading(const std::string& name) {
  // O_NONBLOCK for the open only: it neither waits for a FIFO's writer nor for another
  // holder's lease to be broken.
  TUniqueFd fd(::open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) RaiseOpenError(name);
  struct stat st {};
  // Only regular files: a FIFO or a terminal could block the caller's thread for good.
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) RaiseOpenError(name);

  // A read lease is granted only while nobody holds the file open for writing: that is how
  // we learn that a download is still being written. Without the right to a lease (not the
  // owner) or on a file system without leases we cannot ask, and go ahead.
  if (::fcntl(fd.get(), F_SETLEASE, F_RDLCK) == 0) {
    ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
  } else if (errno == EAGAIN || errno == EBUSY) {
    RaiseOpenError(name);
  }

  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) RaiseOpenError(name);
  return std::make_unique<TPosixFileStream>(fd.release(), name);
}

}  // namespace mv
