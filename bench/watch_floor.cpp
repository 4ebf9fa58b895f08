// SPDX-License-Identifier: GPL-3.0-or-later
// The floor of arming a watch over a tree: per directory only an open, inotify_add_watch,
// getdents64 until it returns 0, and a close, on THREADS threads sharing one queue. Nothing is
// kept but the count. Prints key=value lines.
//
//   watch_floor DIR THREADS

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    inotify_add_watch(inotifyFd, path.c_str(), kMask);
    ++dirs;
    for (;;) {
      const long n = syscall(SYS_getdents64, fd, buf, sizeof buf);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        const auto* e = reinterpret_cast<const dirent64*>(buf + at);
        at += e->d_reclen;
        const char* name = e->d_name;
        if (e->d_type != DT_DIR ||
            (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) {
          continue;
        }
        local.push_back(path + '/' + name);
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
  if (argc != 3) {
    std::fprintf(stderr, "usage: watch_floor DIR THREADS\n");
    return 2;
  }
  const int threads = std::max(1, std::atoi(argv[2]));
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
  std::printf("threads=%d\ndirs=%ld\nfloor_s=%.3f\n", threads, s.dirs, secs);
  close(inotifyFd);
  return 0;
}
