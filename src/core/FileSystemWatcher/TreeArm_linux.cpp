// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/TreeArm_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>

#include "utility/LongPath_linux.h"
#include "utility/SysCall.h"
#include "utility/UniqueFd.h"

namespace mv {

namespace {

// Helpers start only once this many directories wait: a small tree is done before a thread
// would have started.
constexpr std::size_t kSpawnAt = 64;
constexpr std::size_t kListBuffer = 32 * 1024;
constexpr unsigned kMaxThreads = 4;

struct TShared {
  const TArmTree& tree;
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<TArmStart> queue;  // under mutex
  std::unordered_set<int> seen;  // under mutex
  std::atomic<int> idle{0};
  int workers = 1;  // under mutex
  std::atomic<bool> stop{false};
  // Listing a directory would stamp its access time (under relatime: once it changed since it
  // was last read, as a download folder has), a journal write that took a tenth of the arming
  // of a tree just written. A watcher has no business changing it. Only the owner may ask
  // (EPERM otherwise): after the first refusal the arming asks no more.
  std::atomic<bool> noAtime{true};
  TArmOutcome outcome;  // errors under mutex
  explicit TShared(const TArmTree& t) : tree(t) {}
};

bool IsDots(const char* n) {
  return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

void ArmOne(TShared& s, TArmStart dir, std::vector<TArmStart>& local, std::vector<TArmedDir>& out,
            char* buf) {
  if (s.tree.skip && s.tree.skip(dir.rel)) return;
  const bool isRoot = dir.rel.empty();
  const std::string path = s.tree.root + dir.rel;
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | (isRoot ? 0 : O_NOFOLLOW);
  const bool noAtime = s.noAtime.load(std::memory_order_relaxed);
  TUniqueFd fd(OpenLongPath(path, flags | (noAtime ? O_NOATIME : 0)));
  if (!fd && noAtime && errno == EPERM) {
    s.noAtime.store(false, std::memory_order_relaxed);
    fd.reset(OpenLongPath(path, flags));
  }
  if (!fd) {
    if (isRoot) {
      std::lock_guard lock(s.mutex);
      s.outcome.rootError = errno;
    } else if (errno != ENOENT) {
      std::lock_guard lock(s.mutex);
      if (s.outcome.openError == 0) {
        s.outcome.openError = errno;
        s.outcome.openErrorPath = path;
      }
    }
    return;
  }
  const int wd = s.tree.addWatch(path, fd.get(), isRoot);
  if (wd < 0) {
    // Not watched: nothing below it would be either, so it is not entered.
    const int error = errno;
    if (error != ENOENT) {
      std::lock_guard lock(s.mutex);
      if (s.outcome.watchError == 0) s.outcome.watchError = error;
    }
    return;
  }
  {
    std::lock_guard lock(s.mutex);
    if (!s.seen.insert(wd).second) return;  // reached twice: a bind mount loop
  }
  out.push_back(TArmedDir{wd, dir.parentWd, std::move(dir.name)});
  if (!s.tree.subtree) return;
  const std::string prefix = isRoot ? std::string() : dir.rel + '/';
  for (;;) {
    const long n = RetryOnEintr(
        "getdents64", [&] { return syscall(SYS_getdents64, fd.get(), buf, kListBuffer); });
    if (n <= 0) break;
    for (long at = 0; at < n;) {
      const auto* e = reinterpret_cast<const dirent64*>(buf + at);
      at += e->d_reclen;
      if (IsDots(e->d_name)) continue;
      bool isDir = e->d_type == DT_DIR;
      if (e->d_type == DT_UNKNOWN) {  // some file systems do not say
        struct stat st {};
        isDir = fstatat(fd.get(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      }
      if (isDir) local.push_back(TArmStart{wd, e->d_name, prefix + e->d_name});
    }
  }
}

// Takes directories from its own list, and from the shared queue when that is empty; hands half
// of its list over while others are idle. spawn, given to the first worker only, starts the
// others once enough directories wait.
void Work(TShared& s, std::vector<TArmStart> local, std::vector<TArmedDir>& out,
          const std::function<void()>& spawn) {
  // Not cleared: getdents64 fills what it returns.
  const std::unique_ptr<char[]> buf(new char[kListBuffer]);
  std::size_t done = 0;
  bool spawned = !spawn;
  for (;;) {
    if (local.empty()) {
      std::unique_lock lock(s.mutex);
      ++s.idle;
      s.cv.notify_all();
      s.cv.wait(lock, [&] { return !s.queue.empty() || s.idle == s.workers || s.stop; });
      if (s.queue.empty() || s.stop) break;
      --s.idle;
      local.push_back(std::move(s.queue.back()));
      s.queue.pop_back();
    }
    if ((++done & 63) == 0 && s.tree.interrupted && s.tree.interrupted()) {
      std::lock_guard lock(s.mutex);
      s.stop = true;
      s.outcome.interrupted = true;
      s.cv.notify_all();
      break;
    }
    TArmStart dir = std::move(local.back());
    local.pop_back();
    ArmOne(s, std::move(dir), local, out, buf.get());
    if (!spawned && local.size() >= kSpawnAt) {
      spawned = true;
      spawn();
    }
    if (local.size() > 1 && s.idle.load() > 0) {
      std::lock_guard lock(s.mutex);
      const std::size_t half = local.size() / 2;
      for (std::size_t i = 0; i < half; ++i) s.queue.push_back(std::move(local[i]));
      local.erase(local.begin(), local.begin() + static_cast<std::ptrdiff_t>(half));
      s.cv.notify_all();
    }
  }
}

}  // namespace

TArmOutcome ArmTree(const TArmTree& tree, std::vector<TArmStart> start) {
  TShared s(tree);
  s.seen.insert(tree.knownWds.begin(), tree.knownWds.end());
  // Asked once: the answer is read from a file each time.
  static const unsigned cores = std::thread::hardware_concurrency();
  unsigned threads = tree.threads != 0 ? tree.threads : cores;
  threads = std::clamp(threads, 1u, kMaxThreads);
  std::vector<std::vector<TArmedDir>> lists(threads);
  std::vector<std::thread> helpers;
  std::function<void()> spawn;
  if (threads > 1) {
    spawn = [&] {
      {
        std::lock_guard lock(s.mutex);
        s.workers = static_cast<int>(threads);
      }
      for (unsigned i = 1; i < threads; ++i) {
        try {
          helpers.emplace_back([&s, &list = lists[i]] { Work(s, {}, list, nullptr); });
        } catch (const std::system_error&) {
          // Fewer threads, same walk: the ones that did not start are not waited for.
          std::lock_guard lock(s.mutex);
          s.workers -= static_cast<int>(threads - i);
          s.cv.notify_all();
          break;
        }
      }
    };
  }
  Work(s, std::move(start), lists[0], spawn);
  for (auto& h : helpers) h.join();
  // Parents come before their children within a list, but a child may be in another list
  // than its parent: the caller links them once all are in.
  TArmOutcome out = std::move(s.outcome);
  std::size_t total = 0;
  for (const auto& l : lists) total += l.size();
  out.dirs.reserve(total);
  for (auto& l : lists) {
    for (auto& d : l) out.dirs.push_back(std::move(d));
  }
  return out;
}

}  // namespace mv
