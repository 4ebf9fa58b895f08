// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper for the download list (run through list_bench.sh, which prints the table).
//
//   list_bench burst N DIR   watch DIR, create N matching files in a burst below it, and report
//                            how long after the last creation all were listed, the longest
//                            main-thread task meanwhile and the peak RSS
//   list_bench sweep N DIR   list N existing files, then run sweeps and report the main
//                            thread's time per sweep (all of its tasks added up), its longest
//                            task, and the same for a sweep that must copy the list afresh,
//                            one with a tenth of the files deleted and one with all deleted
//
// Prints "key=value" lines. The main thread is a TQueueDispatcher whose every task is timed,
// as the window's event loop would run them; a ticker posts the sweep once a second.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "commands/DownloadList.h"
#include "commands/WatchControl.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Runs every task through a timer: the longest task, the count over 100 ms and the total.
class TTimingDispatcher final : public mv::IMainThreadDispatcher {
 public:
  explicit TTimingDispatcher(mv::TQueueDispatcher& inner) : inner_(inner) {}
  void Post(std::function<void()> task) override {
    inner_.Post([this, task = std::move(task)] {
      const auto start = Clock::now();
      task();
      Record(Clock::now() - start);
    });
  }
  void Record(Clock::duration d) {
    if (d > longest) longest = d;
    if (d > std::chrono::milliseconds(100)) ++over100;
    total += d;
    ++tasks;
  }
  void Reset() {
    longest = total = {};
    over100 = tasks = 0;
  }
  // Runs fn on the main thread inline, timed like a task.
  void Timed(const std::function<void()>& fn) {
    const auto start = Clock::now();
    fn();
    Record(Clock::now() - start);
  }

  Clock::duration longest{}, total{};
  long over100 = 0, tasks = 0;

 private:
  mv::TQueueDispatcher& inner_;
};

long PeakRssKiB() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

std::string FileName(const std::string& dir, int i) {
  return dir + "d" + std::to_string(i % 100) + "/download-" + std::to_string(i) + ".mp3";
}

void MakeDirs(const std::string& dir) {
  for (int d = 0; d < 100; ++d) std::filesystem::create_directories(dir + "d" + std::to_string(d));
}

bool CreateFile(const std::string& name) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  std::fputs("ID3", f);
  return std::fclose(f) == 0;
}

int Burst(int n, std::string dir) {
  if (dir.back() != '/') dir += '/';
  MakeDirs(dir);
  mv::TQueueDispatcher queue;
  TTimingDispatcher dispatcher(queue);
  mv::TMemoryListItems list;
  mv::TDownloadList downloads(
      list, dispatcher, [] { return std::string("*.wav;*.mp3;*.wma"); }, [] { return false; });
  mv::TFileSystemWatcher watcher(dispatcher);
  watcher.SetWatchSubTree(true);
  watcher.SetNotifyFilters({mv::TNotifyFilter::nfFileNameChange});
  watcher.SetOnChange([&](mv::TFileOperation op, const std::string& a, const std::string& b) {
    downloads.FileChanged(op, a, b);
  });
  bool armed = false;
  watcher.SetOnArmed([&](bool ok) { armed = ok; });
  watcher.SetOnNotice(
      [](const std::string& s) { std::fprintf(stderr, "notice: %s\n", s.c_str()); });
  std::string caption;
  mv::StartOrStopWatching(watcher, dir, caption);
  if (!queue.RunUntil([&] { return armed; }, 30000)) {
    std::fprintf(stderr, "watcher did not arm\n");
    return 1;
  }
  dispatcher.Reset();

  std::atomic<bool> created = false, stop = false;
  Clock::time_point firstCreate, lastCreate;
  std::thread creator([&] {
    firstCreate = Clock::now();
    for (int i = 0; i < n; ++i) {
      if (!CreateFile(FileName(dir, i))) std::fprintf(stderr, "cannot create %d\n", i);
    }
    lastCreate = Clock::now();
    created = true;
  });
  std::thread ticker([&] {
    while (!stop) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      dispatcher.Post([&] { downloads.Sweep(); });
    }
  });
  Clock::time_point allListed{};
  const bool ok = queue.RunUntil(
      [&] {
        if (list.Count() >= n && allListed == Clock::time_point{}) allListed = Clock::now();
        return list.Count() >= n && created;
      },
      60000);
  creator.join();
  // Keep the loop running a little so late events and a sweep are counted too.
  queue.RunUntil([] { return false; }, 1500);
  stop = true;
  ticker.join();
  queue.RunPending();
  std::printf("files=%d\n", n);
  std::printf("listed=%d\n", list.Count());
  std::printf("create_s=%.3f\n", Ms(lastCreate - firstCreate) / 1000);
  std::printf("listed_after_last_create_ms=%.1f\n",
              ok ? Ms(std::max(allListed, lastCreate) - lastCreate) : -1.0);
  std::printf("longest_task_ms=%.1f\n", Ms(dispatcher.longest));
  std::printf("tasks_over_100ms=%ld\n", dispatcher.over100);
  std::printf("tasks=%ld\n", dispatcher.tasks);
  std::printf("peak_rss_mib=%.1f\n", PeakRssKiB() / 1024.0);
  mv::StartOrStopWatching(watcher, dir, caption);
  return ok ? 0 : 1;
}

int Sweep(int n, std::string dir) {
  if (dir.back() != '/') dir += '/';
  MakeDirs(dir);
  mv::TQueueDispatcher queue;
  TTimingDispatcher dispatcher(queue);
  mv::TMemoryListItems list;
  mv::TDownloadList downloads(
      list, dispatcher, [] { return std::string("*.mp3"); }, [] { return false; });
  for (int i = 0; i < n; ++i) {
    CreateFile(FileName(dir, i));
    downloads.FileChanged(mv::TFileOperation::foAdded, FileName(dir, i), "");
  }
  if (list.Count() != n) {
    std::fprintf(stderr, "listed %d of %d\n", list.Count(), n);
    return 1;
  }
  auto runSweep = [&](const char* label) {
    dispatcher.Reset();
    const auto start = Clock::now();
    const unsigned long before = downloads.SweepsDone();
    dispatcher.Timed([&] { downloads.Sweep(); });
    queue.RunUntil([&] { return downloads.SweepsDone() > before; }, 60000);
    const auto wall = Clock::now() - start;
    std::printf("%s_main_ms=%.2f\n", label, Ms(dispatcher.total));
    std::printf("%s_longest_task_ms=%.2f\n", label, Ms(dispatcher.longest));
    std::printf("%s_tasks=%ld\n", label, dispatcher.tasks);
    std::printf("%s_wall_ms=%.1f\n", label, Ms(wall));
  };
  std::printf("entries=%d\n", n);
  for (int round = 0; round < 3; ++round) runSweep(("keep" + std::to_string(round)).c_str());
  // A change behind the download list's back: the next sweep copies the whole list.
  list.Add(FileName(dir, 0));
  runSweep("fullcopy");
  std::printf("full_sweeps=%lu\n", downloads.FullSweeps());
  for (int i = 0; i < n; i += 10) ::unlink(FileName(dir, i).c_str());
  runSweep("remove10pct");
  std::printf("left=%d\n", list.Count());
  for (int i = 0; i < n; ++i) ::unlink(FileName(dir, i).c_str());
  runSweep("removeall");
  std::printf("left_after_all=%d\n", list.Count());
  std::printf("peak_rss_mib=%.1f\n", PeakRssKiB() / 1024.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: list_bench burst|sweep N DIR\n");
    return 2;
  }
  const std::string mode = argv[1];
  const int n = std::atoi(argv[2]);
  if (n <= 0) return 2;
  if (mode == "burst") return Burst(n, argv[3]);
  if (mode == "sweep") return Sweep(n, argv[3]);
  std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 2;
}
