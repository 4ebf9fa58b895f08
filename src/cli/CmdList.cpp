// SPDX-License-Identifier: GPL-3.0-or-later
// list DIR [--mask M] [--all]: the window's download list without a window.
// Watches DIR with its subdirectories for file-name changes and prints
// "+\t<entry>" when an entry is appended and "-\t<entry>" when the
// once-a-second sweep removes one, until SIGINT or SIGTERM.
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "cli/Cli.h"
#include "cli/StopSignal.h"
#include "commands/DownloadList.h"
#include "commands/WatchControl.h"
#include "utility/Dispatcher.h"
#include "utility/MemoryListItems.h"

namespace mv::cli {

namespace {

void PrintEntry(char sign, const std::string& entry) {
  const std::string line = std::string(1, sign) + "\t" + EscapeName(entry) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int List(const Args& args) {
  std::string dir;
  std::string mask = "*.wav;*.mp3;*.wma";
  bool all = false;
  bool haveDir = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--mask") {
      if (++i == args.size()) return Usage("--mask needs a value");
      mask = args[i];
    } else if (a == "--all") {
      all = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("list: unknown option '" + a + "'");
    } else if (!haveDir) {
      dir = a;
      haveDir = true;
    } else {
      return Usage("list takes one DIR");
    }
  }
  if (!haveDir || dir.empty()) return Usage("list needs a DIR");
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) {
    std::fprintf(stderr, "melvigil-cli: cannot watch %s: %s\n", EscapeName(dir).c_str(),
                 std::strerror(errno));
    return 1;
  }
  if (!S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "melvigil-cli: cannot watch %s: not a directory\n",
                 EscapeName(dir).c_str());
    return 1;
  }

  // The stop request is taken by the helper thread alone: caught before any thread starts.
  CatchStopSignals();

  TQueueDispatcher dispatcher;
  TMemoryListItems list;
  TDownloadList downloads(
      list, dispatcher, [&mask] { return mask; }, [all] { return all; });
  downloads.OnAppended = [](const std::string& e) { PrintEntry('+', e); };
  downloads.OnRemoved = [](const std::string& e) { PrintEntry('-', e); };

  TFileSystemWatcher watcher(dispatcher);
  watcher.SetWatchSubTree(true);
  watcher.SetNotifyFilters({TNotifyFilter::nfFileNameChange});
  watcher.SetOnChange([&downloads](TFileOperation op, const std::string& n1,
                                   const std::string& n2) { downloads.FileChanged(op, n1, n2); });
  watcher.SetOnNotice([](const std::string& notice) {
    std::fprintf(stderr, "melvigil-cli: %s\n", notice.c_str());
  });
  watcher.SetOnArmed([&dir](bool watching) {
    if (!watching) {
      std::fprintf(stderr, "melvigil-cli: cannot watch %s\n", EscapeName(dir).c_str());
    }
  });

  std::string caption;
  StartOrStopWatching(watcher, dir, caption);  // start, as the window's button does

  // The timer: a tick every 1000 ms on the main thread; a signal ends the loop.
  std::atomic<bool> done = false;
  std::thread timer([&] {
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now() + std::chrono::seconds(1);
    while (!done) {
      const auto now = Clock::now();
      if (now >= next) {
        dispatcher.Post([&downloads] { downloads.Sweep(); });
        next += std::chrono::seconds(1);
        if (next < now) next = now + std::chrono::seconds(1);
        continue;
      }
      const auto wait = std::min<Clock::duration>(next - now, std::chrono::milliseconds(100));
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count();
      if (WaitForStop(static_cast<int>(ms) + 1)) {
        dispatcher.Quit();
        return;
      }
    }
  });

  dispatcher.Run();
  done = true;
  timer.join();
  StartOrStopWatching(watcher, dir, caption);  // stop
  std::fflush(stdout);
  return 0;
}

}  // namespace mv::cli
