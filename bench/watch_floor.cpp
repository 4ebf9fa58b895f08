// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of arming a watch over a tree: per directory only an open, inotify_add_watch,
// getdents64 until it returns 0, and a close, on THREADS threads sharing one queue. Nothing is
// kept but the count. Prints key=value lines.
// With "addwatch", the directories are found first (not timed) and only the inotify_add_watch
// calls are timed, on THREADS threads: what the kernel's watches alone cost, with no walk.
//
//   watch_floor DIR THREADS [addwatch]

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TShared {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::string> queue;
  std::atomic<int> idle{0};
  int threads = 0;
  long dirs = 0;
};

constexpr std::uint32_t kMask = IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK | IN_CREATE |
                                IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF;

bool IsDots(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Every directory of the tree, by path, the root first.
std::vector<std::string> FindDirs(const std::string& root) {
  std::vector<std::string> dirs{root};
  alignas(8) char buf[32768];
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    const int fd = open(dirs[i].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    for (;;) {
      const long n = syscall(SYS_getdents64, fd, buf, sizeof buf);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        const auto* e = reinterpret_cast<const dirent64*>(buf + at);
        at += e->d_reclen;
        if (e->d_type == DT_DIR && !IsDots(e->d_name)) dirs.push_back(dirs[i] + '/' + e->d_name);
      }
    }
    close(fd);
  }
  return dirs;
}

// Processor time of the whole process (user and system, all threads).
double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

int AddWatchOnly(const std::string& root, int threads) {
  const std::vector<std::string> dirs = FindDirs(root);
  const int inotifyFd = inotify_init1(IN_CLOEXEC);
  if (inotifyFd < 0) {
    std::perror("inotify_init1");
    return 1;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<long> failed{0};
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&] {
      for (std::size_t k; (k = next.fetch_add(64)) < dirs.size();) {
        for (std::size_t j = k; j < std::min(k + 64, dirs.size()); ++j) {
          if (inotify_add_watch(inotifyFd, dirs[j].c_str(), kMask) < 0) ++failed;
        }
      }
    });
  }
  for (auto& t : pool) t.join();
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("threads=%d\ndirs=%zu\nfailed=%ld\naddwatch_s=%.3f\naddwatch_cpu_s=%.2f\n", threads,
              dirs.size(), failed.load(), secs, CpuSeconds() - cpu0);
  close(inotifyFd);
  return failed == 0 ? 0 : 1;
}

void Work(TShared& s, int inotifyFd) {
  std::vector<std::string> local;
  alignas(8) char buf[32768];
  long dirs = 0;
  for (;;) {
    if (local.empty()) {
      std::unique_lock lock(s.mutex);
      ++s.idle;
      if (s.queue.empty() && s.idle == s.threads) s.cv.notify_all();
      s.cv.wait(lock, [&] { return !s.queue.empty() || s.idle == s.threads; });
      if (s.queue.empty()) break;
      --s.idle;
      local.push_back(std::move(s.queue.back()));
      s.queue.pop_back();
    }
    std::string path = std::move(local.back());
    local.pop_back();
    // As the arming opens them: without stamping their access times.
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW | O_NOATIME);
    if (fd < 0 && errno == EPERM)
      fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    inotify_add_watch(inotifyFd, path.c_str(), kMask);
    ++dirs;
    for (;;) {
      const long n = syscall(SYS_getdents64, fd, buf, sizeof buf);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        const auto* e = reinterpret_cast<const dirent64*>(buf + at);
        at += e->d_reclen;
        if (e->d_type != DT_DIR || IsDots(e->d_name)) continue;
        local.push_back(path + '/' + e->d_name);
      }
    }
    close(fd);
    // Share work when others wait for it.
    if (local.size() > 1 && s.idle > 0) {
      std::lock_guard lock(s.mutex);
      const std::size_t half = local.size() / 2;
      for (std::size_t i = 0; i < half; ++i) s.queue.push_back(std::move(local[i]));
      local.erase(local.begin(), local.begin() + static_cast<std::ptrdiff_t>(half));
      s.cv.notify_all();
    }
  }
  std::lock_guard lock(s.mutex);
  s.dirs += dirs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 4 && std::strcmp(argv[3], "addwatch") == 0)) {
    std::fprintf(stderr, "usage: watch_floor DIR THREADS [addwatch]\n");
    return 2;
  }
  const int threads = std::max(1, std::atoi(argv[2]));
  if (argc == 4) return AddWatchOnly(argv[1], threads);
  const auto t0 = std::chrono::steady_clock::now();
  const int inotifyFd = inotify_init1(IN_CLOEXEC);
  if (inotifyFd < 0) {
    std::perror("inotify_init1");
    return 1;
  }
  TShared s;
  s.threads = threads;
  s.queue.push_back(argv[1]);
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) pool.emplace_back([&] { Work(s, inotifyFd); });
  for (auto& t : pool) t.join();
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("threads=%d\ndirs=%ld\nfloor_s=%.3f\nfloor_cpu_s=%.2f\n", threads, s.dirs, secs,
              CpuSeconds());
  close(inotifyFd);
  return 0;
}
