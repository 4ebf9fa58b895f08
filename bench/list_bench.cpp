// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper for the download list (run through list_bench.sh, which prints the table).
// The list is run by the program object (watcher, download list, once-a-second tick) the way
// the front ends run it.
//
//   list_bench burst N DIR   watch DIR, create N matching files in a burst below it, and report
//                            how long after the last creation all were listed, the longest
//                            main-thread task meanwhile and the peak RSS
//   list_bench sweep N DIR   list N existing files with watching off and the tick stopped, then
//                            run sweeps and report the main thread's time per sweep (all of its
//                            tasks added up) and its longest task, also for a sweep with a
//                            tenth of the files deleted and one with all deleted
//   list_bench live N DIR    watch DIR and list N files created below it, then, ticking as the
//                            window does: the cost of idle seconds while the watch is live (CPU
//                            of the whole process, main-thread time, existence checks per tick),
//                            how long a deleted tenth takes to leave the list, and the same idle
//                            seconds once watching is off (every entry checked at each tick)
//
// Prints "key=value" lines. The main thread is a TQueueDispatcher whose every task is timed,
// as the window's event loop would run them.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Unit_main/Program.h"
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

double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

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

// The dialogs and boxes of a front end that nobody looks at: what would be shown goes to stderr.
class TBenchUi final : public mv::IProgramUi {
 public:
  void ShowError(const std::exception& e) override {
    std::fprintf(stderr, "error: %s\n", e.what());
  }
  void ShowNotice(const std::string& t) override {
    std::fprintf(stderr, "notice: %s\n", t.c_str());
  }
  bool ExecuteSaveDialog(std::string&) override { return false; }
  bool ChooseDirectory(std::string&) override { return false; }
  void ShowInfoMessage(const std::string& t) override {
    std::fprintf(stderr, "info: %s\n", t.c_str());
  }
  void RunWithProgress(int, const std::function<void(mv::TProgress&)>&) override {
    throw std::logic_error("the benchmark copies nothing");
  }
};

// The program as a front end sets it up, over a timed main thread.
struct TBench {
  explicit TBench(std::string directory, std::string mask = "*.wav;*.mp3;*.wma")
      : dir(std::move(directory)),
        program(dispatcher, list,
                {.maskText = [mask] { return mask; },
                 .directoryText = [this] { return dir; },
                 .listAllFiles = [] { return false; }},
                ui) {
    MakeDirs(dir);
  }
  // Starts watching as the window's button does; false when the tree was not armed in time.
  bool Watch() {
    bool armed = false;
    program.FileSystemWatcher1().SetOnArmed([&armed](bool ok) { armed = ok; });
    program.StartOrStopWatching();
    const bool ok = queue.RunUntil([&] { return armed; }, 60000);
    program.FileSystemWatcher1().SetOnArmed({});
    return ok;
  }
  // Creates files [first, last) below the tree and runs the main thread until the list holds
  // count entries; the time from the last creation until then, or -1.
  double CreateUntilListed(int first, int last, int count) {
    std::atomic<bool> created = false;
    Clock::time_point lastCreate;
    std::thread creator([&] {
      const auto firstCreate = Clock::now();
      for (int i = first; i < last; ++i) {
        if (!CreateFile(FileName(dir, i))) std::fprintf(stderr, "cannot create %d\n", i);
      }
      lastCreate = Clock::now();
      createSeconds = Ms(lastCreate - firstCreate) / 1000;
      created = true;
    });
    Clock::time_point allListed{};
    const bool ok = queue.RunUntil(
        [&] {
          if (list.Count() >= count && allListed == Clock::time_point{}) allListed = Clock::now();
          return list.Count() >= count && created;
        },
        120000);
    creator.join();
    return ok ? Ms(std::max(allListed, lastCreate) - lastCreate) : -1.0;
  }
  // Runs the main thread for the given time and reports what it cost under label.
  void Idle(const char* label, int seconds) {
    dispatcher.Reset();
    const unsigned long sweeps = program.Downloads().SweepsDone();
    const unsigned long long checked = program.Downloads().EntriesChecked();
    const double cpu = CpuSeconds();
    queue.RunUntil([] { return false; }, seconds * 1000);
    const double ticks = static_cast<double>(program.Downloads().SweepsDone() - sweeps);
    std::printf("%s_cpu_pct=%.2f\n", label, 100 * (CpuSeconds() - cpu) / seconds);
    std::printf("%s_main_ms_per_s=%.2f\n", label, Ms(dispatcher.total) / seconds);
    std::printf("%s_checks_per_tick=%.0f\n", label,
                ticks > 0
                    ? static_cast<double>(program.Downloads().EntriesChecked() - checked) / ticks
                    : -1.0);
  }

  std::string dir;
  double createSeconds = 0;
  mv::TQueueDispatcher queue;
  TTimingDispatcher dispatcher{queue};
  mv::TMemoryListItems list;
  TBenchUi ui;
  mv::TProgram program;
};

std::string WithDelimiter(std::string dir) {
  if (dir.back() != '/') dir += '/';
  return dir;
}

int Burst(int n, const std::string& dir) {
  TBench b(WithDelimiter(dir));
  if (!b.Watch()) {
    std::fprintf(stderr, "watcher did not arm\n");
    return 1;
  }
  b.dispatcher.Reset();
  const double after = b.CreateUntilListed(0, n, n);
  // Keep the loop running a little so late events and a tick are counted too.
  b.queue.RunUntil([] { return false; }, 1500);
  std::printf("files=%d\n", n);
  std::printf("listed=%d\n", b.list.Count());
  std::printf("create_s=%.3f\n", b.createSeconds);
  std::printf("listed_after_last_create_ms=%.1f\n", after);
  std::printf("longest_task_ms=%.1f\n", Ms(b.dispatcher.longest));
  std::printf("tasks_over_100ms=%ld\n", b.dispatcher.over100);
  std::printf("tasks=%ld\n", b.dispatcher.tasks);
  std::printf("peak_rss_mib=%.1f\n", PeakRssKiB() / 1024.0);
  return after >= 0 ? 0 : 1;
}

int Sweep(int n, const std::string& directory) {
  TBench b(WithDelimiter(directory), "*.mp3");
  const std::string& dir = b.dir;
  b.program.Timer1().SetEnabled(false);  // the sweeps below are started and timed one by one
  mv::TDownloadList& downloads = b.program.Downloads();
  for (int i = 0; i < n; ++i) {
    CreateFile(FileName(dir, i));
    downloads.FileChanged(mv::TFileOperation::foAdded, FileName(dir, i), "");
  }
  if (b.list.Count() != n) {
    std::fprintf(stderr, "listed %d of %d\n", b.list.Count(), n);
    return 1;
  }
  auto runSweep = [&](const char* label) {
    b.dispatcher.Reset();
    const auto start = Clock::now();
    const unsigned long before = downloads.SweepsDone();
    b.dispatcher.Timed([&] { downloads.Sweep(); });
    b.queue.RunUntil([&] { return downloads.SweepsDone() > before; }, 60000);
    const auto wall = Clock::now() - start;
    std::printf("%s_main_ms=%.2f\n", label, Ms(b.dispatcher.total));
    std::printf("%s_longest_task_ms=%.2f\n", label, Ms(b.dispatcher.longest));
    std::printf("%s_tasks=%ld\n", label, b.dispatcher.tasks);
    std::printf("%s_wall_ms=%.1f\n", label, Ms(wall));
  };
  std::printf("entries=%d\n", n);
  for (int round = 0; round < 3; ++round) runSweep(("keep" + std::to_string(round)).c_str());
  for (int i = 0; i < n; i += 10) ::unlink(FileName(dir, i).c_str());
  runSweep("remove10pct");
  std::printf("left=%d\n", b.list.Count());
  for (int i = 0; i < n; ++i) ::unlink(FileName(dir, i).c_str());
  runSweep("removeall");
  std::printf("left_after_all=%d\n", b.list.Count());
  std::printf("peak_rss_mib=%.1f\n", PeakRssKiB() / 1024.0);
  return 0;
}

int Live(int n, const std::string& dir) {
  constexpr int kSeconds = 5;
  TBench b(WithDelimiter(dir));
  if (!b.Watch()) {
    std::fprintf(stderr, "watcher did not arm\n");
    return 1;
  }
  if (b.CreateUntilListed(0, n, n) < 0) {
    std::fprintf(stderr, "listed %d of %d\n", b.list.Count(), n);
    return 1;
  }
  std::printf("entries=%d\n", b.list.Count());
  b.queue.RunUntil([] { return false; }, 3000);  // the first ticks after the burst settle
  b.Idle("live_idle", kSeconds);

  // A tenth deleted: the events name what to check; the rule is "gone within about a second".
  const unsigned long long checked = b.program.Downloads().EntriesChecked();
  int removed = 0;
  for (int i = 0; i < n; i += 10, ++removed) ::unlink(FileName(b.dir, i).c_str());
  const auto deleted = Clock::now();
  const bool gone = b.queue.RunUntil([&] { return b.list.Count() <= n - removed; }, 10000);
  std::printf("live_remove10pct_ms=%.1f\n", gone ? Ms(Clock::now() - deleted) : -1.0);
  std::printf("live_remove10pct_checks=%llu\n", b.program.Downloads().EntriesChecked() - checked);

  b.program.StartOrStopWatching();  // off: the list keeps its entries, every tick checks all
  b.queue.RunUntil([] { return false; }, 2000);
  b.Idle("off_idle", kSeconds);
  std::printf("peak_rss_mib=%.1f\n", PeakRssKiB() / 1024.0);
  return gone ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: list_bench burst|sweep|live N DIR\n");
    return 2;
  }
  const std::string mode = argv[1];
  const int n = std::atoi(argv[2]);
  if (n <= 0) return 2;
  if (mode == "burst") return Burst(n, argv[3]);
  if (mode == "sweep") return Sweep(n, argv[3]);
  if (mode == "live") return Live(n, argv[3]);
  std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 2;
}
