// SPDX-License-Identifier: GPL-3.0-or-later
// Helper of bench/watch_bench.sh: makes trees and bursts fast, times a command until its ready
// line, and measures the watcher's delivery latency in process. Prints key=value lines.
//
//   watch_bench mktree DIR N               N empty directories, 100 per parent
//   watch_bench mkdirs DIR N               DIR/d0 .. DIR/d(N-1)
//   watch_bench burst DIR FILES DIRS       FILES empty files spread over DIR/d0 .. d(DIRS-1)
//   watch_bench race DIR ROUNDS FILES      ROUNDS x (mkdir DIR/rK, then FILES files in it)
//   watch_bench racemv DIR ROUNDS FILES    the same, each DIR/rK renamed to DIR/rKx at once
//   watch_bench ready PATTERN CMD ARGS...  runs CMD until a stderr line starts with PATTERN;
//                                          prints its time to that line, the processor time
//                                          it used until then and its peak RSS
//   watch_bench latency DIR SAMPLES        creation -> handler call on the main thread

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "utility/Dispatcher.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void MakeEmpty(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  close(fd);
}

void MakeDir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

int MkTree(const std::string& dir, long n) {
  MakeDir(dir);
  long made = 0;
  for (long top = 0; made < n; ++top) {
    const std::string t = dir + "/t" + std::to_string(top);
    MakeDir(t);
    ++made;
    for (int k = 0; k < 99 && made < n; ++k, ++made) MakeDir(t + "/s" + std::to_string(k));
  }
  std::printf("dirs=%ld\n", made);
  return 0;
}

int MkDirs(const std::string& dir, long n) {
  MakeDir(dir);
  for (long i = 0; i < n; ++i) MakeDir(dir + "/d" + std::to_string(i));
  return 0;
}

int Burst(const std::string& dir, long files, long dirs) {
  const auto t0 = Clock::now();
  for (long i = 0; i < files; ++i) {
    MakeEmpty(dir + "/d" + std::to_string(i % dirs) + "/f" + std::to_string(i));
  }
  const double s = Seconds(t0, Clock::now());
  std::printf("create_s=%.3f\nrate_per_s=%.0f\n", s, files / s);
  return 0;
}

int Race(const std::string& dir, long rounds, long files, bool rename) {
  for (long r = 0; r < rounds; ++r) {
    const std::string d = dir + "/r" + std::to_string(r);
    MakeDir(d);
    for (long f = 0; f < files; ++f) MakeEmpty(d + "/f" + std::to_string(f));
    if (rename && std::rename(d.c_str(), (d + "x").c_str()) != 0) {
      std::perror(d.c_str());
      return 1;
    }
  }
  return 0;
}

long PeakRssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// The processor time (user and system, all threads) a process has used so far: on a shared
// machine the wall time also holds the time others had the processors.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = stat.rfind(')');  // the command name may hold spaces
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::atof(field.c_str());  // utime, stime
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int Ready(const std::string& pattern, char** argv) {
  int err[2];
  if (pipe(err) != 0) return 1;
  const auto t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], 2);
    close(err[0]);
    close(err[1]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execvp(argv[0], argv);
    _exit(127);
  }
  close(err[1]);
  std::string pending;
  bool ready = false;
  char buf[4096];
  while (!ready) {
    const ssize_t n = read(err[0], buf, sizeof buf);
    if (n <= 0) break;
    pending.append(buf, static_cast<std::size_t>(n));
    for (std::size_t nl; !ready && (nl = pending.find('\n')) != std::string::npos;) {
      ready = pending.compare(0, pattern.size(), pattern) == 0;
      pending.erase(0, nl + 1);
    }
  }
  const double s = Seconds(t0, Clock::now());
  const long rss = PeakRssKiB(pid);
  const double cpu = CpuSeconds(pid);
  kill(pid, SIGTERM);
  // Keep reading so that a chatty child cannot block on a full pipe while it ends.
  while (read(err[0], buf, sizeof buf) > 0) {
  }
  int status = 0;
  waitpid(pid, &status, 0);
  std::printf("ready=%d\nready_s=%.3f\nready_cpu_s=%.2f\npeak_rss_kib=%ld\n", ready ? 1 : 0, s, cpu,
              rss);
  return ready ? 0 : 1;
}

int Latency(const std::string& dir, int samples) {
  mv::TQueueDispatcher loop;
  mv::TFileSystemWatcher w(loop);
  std::vector<Clock::time_point> created(samples), delivered(samples);
  std::vector<std::atomic<bool>> seen(samples);
  std::atomic<bool> armed{false};
  // The maker sleeps until its file is delivered: on a small machine a spinning maker would
  // take the processor from the threads being measured.
  std::mutex seenMutex;
  std::condition_variable seenCv;
  const std::string prefix = dir + "/lat";
  w.SetWatchedDir(dir);
  w.SetNotifyFilters({mv::TNotifyFilter::nfFileNameChange});
  w.SetOnArmed([&](bool) { armed = true; });
  w.SetOnChange([&](mv::TFileOperation, const std::string& name, const std::string&) {
    if (name.rfind(prefix, 0) != 0) return;
    const int i = std::atoi(name.c_str() + prefix.size());
    if (i < 0 || i >= samples) return;
    delivered[i] = Clock::now();
    {
      std::lock_guard lock(seenMutex);
      seen[i] = true;
    }
    seenCv.notify_one();
  });
  w.SetActived(true);
  if (!loop.RunUntil([&] { return armed.load(); }, 30000)) return 1;
  std::atomic<bool> done{false};
  std::thread maker([&] {
    for (int i = 0; i < samples; ++i) {
      created[i] = Clock::now();
      MakeEmpty(prefix + std::to_string(i));
      {
        std::unique_lock lock(seenMutex);
        seenCv.wait_for(lock, std::chrono::seconds(2), [&] { return seen[i].load(); });
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    done = true;
    loop.Post([] {});
  });
  loop.RunUntil([&] { return done.load(); }, 600000);
  maker.join();
  std::vector<double> ms;
  for (int i = 0; i < samples; ++i) {
    if (seen[i])
      ms.push_back(std::chrono::duration<double, std::milli>(delivered[i] - created[i]).count());
  }
  std::sort(ms.begin(), ms.end());
  auto pct = [&](double p) {
    return ms.empty() ? -1.0 : ms[std::min(ms.size() - 1, static_cast<std::size_t>(p * ms.size()))];
  };
  std::printf("samples=%d\ndelivered=%zu\np50_ms=%.3f\np99_ms=%.3f\nmax_ms=%.3f\n", samples,
              ms.size(), pct(0.50), pct(0.99), ms.empty() ? -1.0 : ms.back());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: see the head of watch_bench.cpp\n");
    return 2;
  }
  const std::string mode = argv[1];
  if (mode == "mktree" && argc == 4) return MkTree(argv[2], std::atol(argv[3]));
  if (mode == "mkdirs" && argc == 4) return MkDirs(argv[2], std::atol(argv[3]));
  if (mode == "burst" && argc == 5) return Burst(argv[2], std::atol(argv[3]), std::atol(argv[4]));
  if (mode == "race" && argc == 5) {
    return Race(argv[2], std::atol(argv[3]), std::atol(argv[4]), false);
  }
  if (mode == "racemv" && argc == 5) {
    return Race(argv[2], std::atol(argv[3]), std::atol(argv[4]), true);
  }
  if (mode == "ready" && argc >= 4) return Ready(argv[2], argv + 3);
  if (mode == "latency" && argc == 4) return Latency(argv[2], std::atoi(argv[3]));
  std::fprintf(stderr, "watch_bench: bad arguments\n");
  return 2;
}
