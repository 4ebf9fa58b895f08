// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper: the real main window watching DIR and holding N entries, left idle
// (run through idle_bench.sh, which prints the table).
//
//   gui_idle_bench N DIR SECONDS
//
// Starts watching DIR as the start button does, creates 100 folders and N matching files in them,
// waits until all are listed and two ticks have passed, then lets the event loop run SECONDS
// without any change and reports the process's CPU time meanwhile and its RSS.
// Prints "key=value" lines.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Unit_main/Unit_main.h"

namespace {

double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

long RssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

void RunFor(int ms) {
  QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
  QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gui_idle_bench N DIR SECONDS\n");
    return 2;
  }
  const int n = std::atoi(argv[1]);
  std::string dir = argv[2];
  const int seconds = std::atoi(argv[3]);
  if (n <= 0 || seconds <= 0) return 2;
  if (dir.back() != '/') dir += '/';
  std::filesystem::create_directories(dir);

  QApplication app(argc, argv);
  mv::TForm_main form;
  form.show();
  form.Edit2->setText(QString::fromLocal8Bit(dir.c_str()));
  form.BitBtn1Click();
  // Armed when a probe file shows up in the list.
  const std::string probe = dir + "probe.mp3";
  std::ofstream(probe).put('x');
  QElapsedTimer waited;
  waited.start();
  while (!form.ListBox1->ContainsNoCase(probe)) {
    if (waited.elapsed() > 60000) {
      std::fprintf(stderr, "the window never listed the probe file\n");
      return 1;
    }
    RunFor(20);
    // Made anew each time: a file that is only rewritten reports no new name.
    std::filesystem::remove(probe);
    std::ofstream(probe).put('x');
  }
  // The folders are made while watching, so that none is still being armed.
  for (int d = 0; d < 100; ++d) std::filesystem::create_directory(dir + "d" + std::to_string(d));
  for (int i = 0; i < n; ++i) {
    std::ofstream(dir + "d" + std::to_string(i % 100) + "/download-" + std::to_string(i) + ".mp3")
        .put('x');
    if (i % 1000 == 999) QCoreApplication::processEvents();
  }
  waited.restart();
  while (form.ListBox1->Count() < n + 1 && waited.elapsed() < 120000) RunFor(50);
  // The first ticks after the burst may check everything once.
  RunFor(3000);

  const double cpu0 = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  RunFor(seconds * 1000);
  const double cpu = CpuSeconds() - cpu0;
  const double wallS = static_cast<double>(wall.nsecsElapsed()) / 1e9;
  std::printf("entries=%d\n", form.ListBox1->Count());
  std::printf("idle_cpu_s=%.3f\nwall_s=%.3f\n", cpu, wallS);
  std::printf("idle_cpu_pct=%.2f\n", 100.0 * cpu / wallS);
  std::printf("rss_mib=%.1f\n", RssKiB() / 1024.0);
  form.BitBtn1Click();
  return 0;
}
