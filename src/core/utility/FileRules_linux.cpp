// SPDX-License-Identifier: GPL-3.0-or-later
// File existence, rename, copy and open on Linux. Names are passed to the system as the bytes
// they are.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <mutex>
#include <vector>

#include "utility/FileRules.h"
#include "utility/LongPath_linux.h"
#include "utility/SysCall.h"
#include "utility/SysUtils.h"
#include "utility/UniqueFd.h"

namespace mv {

namespace {

// The kernel's own split: "/" always separates, whatever the locale's lead bytes say. A name
// without a directory lies in the working directory.
std::string DirectoryOf(const std::string& name) {
  const std::size_t p = name.rfind('/');
  return p == std::string::npos ? std::string(".") : name.substr(0, p + 1);
}
std::string BaseOf(const std::string& name) {
  const std::size_t p = name.rfind('/');
  return p == std::string::npos ? name : name.substr(p + 1);
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

// The directory's entries in its own order; "." and ".." are not names of files and are
// passed over.
bool FirstMatchIsFile(const std::string& name) {
  const std::string pattern = WildcardToFnmatch(BaseOf(name));
  if (pattern.empty()) return false;
  TUniqueFd fd(OpenLongPath(DirectoryOf(name), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* d = fd ? ::fdopendir(fd.get()) : nullptr;
  if (d == nullptr) return false;
  fd.release();
  bool result = false;
  while (const dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (::fnmatch(pattern.c_str(), e->d_name, 0) != 0) continue;
    struct stat st {};
    result = ::fstatat(::dirfd(d), e->d_name, &st, 0) == 0 && !S_ISDIR(st.st_mode);
    break;
  }
  ::closedir(d);
  return result;
}

TFileResult Failed() { return TFileResult::SystemError(errno); }

ssize_t ReadSome(int fd, void* buffer, std::size_t size) {
  return RetryOnEintr("read", [&] { return ::read(fd, buffer, size); });
}

// Copies the whole of in to out; copied tells how much.
TFileResult CopyData(int in, int out, std::uint64_t& copied, std::uint64_t total,
                     TCopyProgress progress, void* context) {
  std::vector<char> buffer(256 * 1024);
  copied = 0;
  for (;;) {
    const ssize_t n = ReadSome(in, buffer.data(), buffer.size());
    if (n < 0) return Failed();
    if (n == 0) return {};
    if (!WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n))))
      return Failed();
    copied += static_cast<std::uint64_t>(n);
    if (progress != nullptr && !progress(context, copied, total)) return TFileFault::Cancelled;
  }
}

void SyncDirectory(const std::string& dir) {
  TUniqueFd d(OpenLongPath(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d) ::fsync(d.get());
}

// Opens name for reading without waiting on a FIFO's writer or on another holder's lease.
TUniqueFd OpenNonBlocking(const std::string& name) {
  return TUniqueFd(OpenLongPath(name, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
}

bool ClearNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// A writer opening the file while we hold a lease makes the kernel signal the holder, SIGIO by
// default, whose default action ends the process. The lease is held for a few system calls, so
// the signal has nothing to tell us; a handler of our own (kept only where nobody set one)
// makes it harmless and, unlike ignoring it, is not inherited by the programs we start.
void SigioDoesNoHarm() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (::sigaction(SIGIO, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    quiet.sa_flags = SA_RESTART;
    ::sigemptyset(&quiet.sa_mask);
    ::sigaction(SIGIO, &quiet, nullptr);
  });
}

// A read lease is granted only while nobody holds the file open for writing: that is how we
// learn that a download is still being written. Returns false for "open for writing"; true
// when the lease was granted (held now, *held set) or cannot be asked for (not the owner, a
// file system without leases), in which case we go ahead.
bool TakeReadLease(int fd, bool* held) {
  SigioDoesNoHarm();
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    *held = true;
    return true;
  }
  *held = false;
  return errno != EAGAIN && errno != EBUSY;
}

bool NotOpenForWriting(int fd) {
  bool held = false;
  if (!TakeReadLease(fd, &held)) return false;
  if (held) ::fcntl(fd, F_SETLEASE, F_UNLCK);
  return true;
}

// --- named temporaries and the signals that would leave them behind -----------------------
//
// A temporary with a name (the fallback where the file system has no unnamed files, and the
// moment between linking a finished copy and renaming it over the target) is recorded here,
// so that SIGINT, SIGTERM and SIGHUP remove it before the process ends. The handler only
// reads the slots and calls unlinkat, both safe in a signal handler.

constexpr int kGuardedSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kTempNameSize = 32;

struct TTempSlot {
  std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 armed
  int dirFd = -1;
  char name[kTempNameSize] = {};
};
TTempSlot tempSlots[32];

struct sigaction previousActions[std::size(kGuardedSignals)];
std::mutex installMutex;
bool handlersInstalled = false;

void RemoveTempsOnSignal(int sig, siginfo_t* info, void* ucontext) {
  const int savedErrno = errno;
  for (TTempSlot& slot : tempSlots) {
    if (slot.state.load(std::memory_order_acquire) == 2) ::unlinkat(slot.dirFd, slot.name, 0);
  }
  for (std::size_t i = 0; i < std::size(kGuardedSignals); ++i) {
    if (kGuardedSignals[i] != sig) continue;
    const struct sigaction& previous = previousActions[i];
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
      if (previous.sa_sigaction != nullptr) previous.sa_sigaction(sig, info, ucontext);
    } else if (previous.sa_handler == SIG_DFL) {
      // The signal would have ended the process: let it, now that the temporaries are gone.
      // It is blocked while we run, so it arrives as soon as this handler returns.
      ::sigaction(sig, &previous, nullptr);
      ::raise(sig);
    } else if (previous.sa_handler != SIG_IGN) {
      previous.sa_handler(sig);
    }
  }
  errno = savedErrno;
}

// Once per process; a signal that was ignored stays ignored (it cannot end us).
void InstallTempHandlers() {
  std::lock_guard lock(installMutex);
  if (handlersInstalled) return;
  handlersInstalled = true;
  struct sigaction ours {};
  ours.sa_sigaction = &RemoveTempsOnSignal;
  ours.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&ours.sa_mask);
  for (int sig : kGuardedSignals) sigaddset(&ours.sa_mask, sig);
  for (std::size_t i = 0; i < std::size(kGuardedSignals); ++i) {
    struct sigaction& previous = previousActions[i];
    if (::sigaction(kGuardedSignals[i], nullptr, &previous) != 0) continue;
    if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(kGuardedSignals[i], &ours, nullptr);
  }
}

// Records dirFd/name for the signal handlers while it lives. With every slot taken the name
// is simply not guarded.
class TGuardedTemp {
 public:
  TGuardedTemp(int dirFd, const std::string& name) {
    if (name.size() >= kTempNameSize) return;
    InstallTempHandlers();
    for (TTempSlot& slot : tempSlots) {
      int expected = 0;
      if (!slot.state.compare_exchange_strong(expected, 1)) continue;
      slot.dirFd = dirFd;
      std::memcpy(slot.name, name.c_str(), name.size() + 1);
      slot.state.store(2, std::memory_order_release);
      slot_ = &slot;
      return;
    }
  }
  TGuardedTemp(const TGuardedTemp&) = delete;
  TGuardedTemp& operator=(const TGuardedTemp&) = delete;
  ~TGuardedTemp() {
    if (slot_ != nullptr) slot_->state.store(0, std::memory_order_release);
  }

 private:
  TTempSlot* slot_ = nullptr;
};

std::string RandomTempName() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[10];
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    const auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid());
    for (std::size_t i = 0; i < sizeof random; ++i) random[i] = (seed >> (i * 6)) & 0xFF;
  }
  std::string name = ".melvigil-copy-";
  for (unsigned char r : random) name += kChars[r % (sizeof kChars - 1)];
  return name;
}

// Gives the unnamed file fd the name `name` in dirFd. /proc/self/fd works for everyone;
// AT_EMPTY_PATH where /proc is missing (it needs CAP_DAC_READ_SEARCH).
int LinkUnnamed(int fd, int dirFd, const char* name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  int rc = RetryOnEintr(
      "linkat", [&] { return ::linkat(AT_FDCWD, self.c_str(), dirFd, name, AT_SYMLINK_FOLLOW); });
  if (rc != 0 && errno == ENOENT) {
    rc = RetryOnEintr("linkat", [&] { return ::linkat(fd, "", dirFd, name, AT_EMPTY_PATH); });
  }
  return rc;
}

// Moves the finished temporary over base; where that fails, the temporary goes.
TFileResult RenameTempOver(int dirFd, const std::string& temp, const std::string& base) {
  if (RetryOnEintr("renameat",
                   [&] { return ::renameat(dirFd, temp.c_str(), dirFd, base.c_str()); }) == 0) {
    return {};
  }
  const TFileResult r = Failed();
  ::unlinkat(dirFd, temp.c_str(), 0);
  return r;
}

bool RefusesUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// The data is complete and flushed in the unnamed file out: put it in place of base. A new
// name is linked at once; an existing one (a file, or a symbolic link) is replaced by a rename
// from a guarded temporary name, so the old target is whole until the new one is.
TFileResult PlaceUnnamed(int out, int dirFd, const std::string& base) {
  if (LinkUnnamed(out, dirFd, base.c_str()) == 0) return {};
  if (errno != EEXIST) return Failed();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = RandomTempName();
    TGuardedTemp guard(dirFd, temp);
    if (LinkUnnamed(out, dirFd, temp.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return Failed();
    }
    return RenameTempOver(dirFd, temp, base);
  }
  return TFileResult::SystemError(EEXIST);
}

// Fills out with the source's data, permissions and date and flushes it; then checks that the
// source stayed as it was.
TFileResult FillCopy(int in, int out, const struct stat& src, TCopyProgress progress,
                     void* context) {
  std::uint64_t copied = 0;
  const auto total = static_cast<std::uint64_t>(src.st_size);
  if (TFileResult r = CopyData(in, out, copied, total, progress, context); !r) return r;
  struct stat now {};
  if (::fstat(in, &now) != 0) return Failed();
  if (copied != total || now.st_size != src.st_size || now.st_mtim.tv_sec != src.st_mtim.tv_sec ||
      now.st_mtim.tv_nsec != src.st_mtim.tv_nsec) {
    return TFileFault::SourceChanged;
  }
  if (::fchmod(out, src.st_mode & 0777) != 0) return Failed();
  const struct timespec times[2] = {src.st_atim, src.st_mtim};
  ::futimens(out, times);  // the date is kept where the file system allows it
  if (RetryOnEintr("fsync", [&] { return ::fsync(out); }) != 0) return Failed();
  return {};
}

// Where the file system has no unnamed files: a named temporary beside the target, removed
// on failure and on SIGINT, SIGTERM and SIGHUP.
TFileResult CopyThroughNamedTemp(int in, int dirFd, const std::string& base, const struct stat& src,
                                 TCopyProgress progress, void* context) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = RandomTempName();
    TGuardedTemp guard(dirFd, temp);
    TUniqueFd out(RetryOnEintr("openat", [&] {
      return ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }));
    if (!out) {
      if (errno == EEXIST) continue;
      return Failed();
    }
    TFileResult r = FillCopy(in, out.get(), src, progress, context);
    if (r && ::close(out.release()) != 0) r = Failed();
    if (r) return RenameTempOver(dirFd, temp, base);
    ::unlinkat(dirFd, temp.c_str(), 0);
    return r;
  }
  return TFileResult::SystemError(EEXIST);
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

}  // namespace

std::string SystemErrorText(int error) { return std::strerror(error); }

bool FileIsPresent(const std::string& name) {
  if (name.empty()) return false;
  struct stat st {};
  if (const TPathAt at(name); at && ::fstatat(at.Dir(), at.Name(), &st, 0) == 0) {
    return !S_ISDIR(st.st_mode);
  }
  return BaseOf(name).find_first_of("*?") != std::string::npos && FirstMatchIsFile(name);
}

int DirectoryError(const std::string& name) {
  struct stat st {};
  const TPathAt at(name);
  if (!at || ::fstatat(at.Dir(), at.Name(), &st, 0) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

TFileResult RenameFileTo(const std::string& oldName, const std::string& newName) {
  if (oldName.empty() || newName.empty()) return TFileResult::SystemError(ENOENT);
  // The lease is held while the name changes: whoever opens the file for writing meanwhile
  // waits until we let go. A file we cannot open for reading is renamed unasked.
  bool leased = false;
  TUniqueFd fd = OpenNonBlocking(oldName);
  if (fd && !TakeReadLease(fd.get(), &leased)) return TFileFault::OpenForWriting;

  const TPathAt from(oldName);
  if (!from) return Failed();
  const TPathAt to(newName);
  if (!to) return Failed();
  if (::renameat2(from.Dir(), from.Name(), to.Dir(), to.Name(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return Failed();
  // A file system that cannot rename without replacing: a hard link never replaces either.
  if (::linkat(from.Dir(), from.Name(), to.Dir(), to.Name(), 0) != 0) return Failed();
  if (::unlinkat(from.Dir(), from.Name(), 0) != 0) {
    const TFileResult r = Failed();
    ::unlinkat(to.Dir(), to.Name(), 0);
    return r;
  }
  return {};
}

TFileResult CopyFileOverwrite(const std::string& source, const std::string& target,
                              TCopyProgress progress, void* context) {
  if (source.empty() || target.empty()) return TFileResult::SystemError(ENOENT);
  TUniqueFd in = OpenNonBlocking(source);
  if (!in) return Failed();
  struct stat src {};
  if (::fstat(in.get(), &src) != 0) return Failed();
  if (!S_ISREG(src.st_mode)) return TFileFault::NotAFile;
  if (!NotOpenForWriting(in.get())) return TFileFault::OpenForWriting;
  if (!ClearNonBlocking(in.get())) return Failed();

  // The same file under another name (hard link, symbolic link, "a/../a") must not be copied
  // onto itself: the rename below would then just drop a name, or the data would be lost.
  struct stat dst {};
  if (const TPathAt at(target); at && ::fstatat(at.Dir(), at.Name(), &dst, 0) == 0) {
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) return TFileFault::SameFile;
    if (S_ISDIR(dst.st_mode)) return TFileFault::NotAFile;
  }

  const std::string dir = DirectoryOf(target);
  const std::string base = BaseOf(target);
  if (base.empty()) return TFileResult::SystemError(EISDIR);
  TUniqueFd dirFd(OpenLongPath(dir, O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!dirFd) return Failed();

  TUniqueFd out(RetryOnEintr("openat(O_TMPFILE)", [&] {
    return ::openat(dirFd.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  }));
  TFileResult r;
  if (out) {
    r = FillCopy(in.get(), out.get(), src, progress, context);
    if (r) r = PlaceUnnamed(out.get(), dirFd.get(), base);
  } else if (RefusesUnnamedFiles(errno)) {
    r = CopyThroughNamedTemp(in.get(), dirFd.get(), base, src, progress, context);
  } else {
    return Failed();
  }
  if (r) SyncDirectory(dir);
  return r;
}

std::optional<TListedFile> InspectListedFile(const std::string& name) {
  const TUniqueFd fd = OpenNonBlocking(name);
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return TListedFile{static_cast<std::uint64_t>(st.st_size), !NotOpenForWriting(fd.get())};
}

std::unique_ptr<TFileStream> OpenForReading(const std::string& name) {
  // O_NONBLOCK for the open only: it neither waits for a FIFO's writer nor for another
  // holder's lease to be broken.
  TUniqueFd fd = OpenNonBlocking(name);
  struct stat st {};
  // Only regular files: a FIFO or a terminal could block the caller's thread for good.
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || !NotOpenForWriting(fd.get()) ||
      !ClearNonBlocking(fd.get())) {
    RaiseOpenError(name);
  }
  return std::make_unique<TPosixFileStream>(fd.release(), name);
}

}  // namespace mv
