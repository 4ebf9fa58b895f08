// SPDX-License-Identifier: GPL-3.0-or-later
// list DIR [--mask M] [--all]: the window's download list without a window.
// Watches DIR with its subdirectories for file-name changes and prints
// "+\t<entry>" when an entry is appended and "-\t<entry>" when the
// once-a-second sweep removes one, until SIGINT or SIGTERM.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "Unit_main/Program.h"
#include "cli/Cli.h"
#include "cli/CliUi.h"
#include "cli/StopSignal.h"
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
  std::string mask = kDefaultMask;
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
  TCliUi ui;
  TProgram program(dispatcher, list,
                   {.maskText = [&mask] { return mask; },
                    .directoryText = [&dir] { return dir; },
                    .listAllFiles = [all] { return all; }},
                   ui);
  program.Downloads().OnAppended = [](const std::string& e) { PrintEntry('+', e); };
  program.Downloads().OnRemoved = [](const std::string& e) { PrintEntry('-', e); };
  // Every notice, also the one line that says what a rescan recovered after an overflow,
  // which the window does not show.
  program.FileSystemWatcher1().SetOnNoticeOfKind([](TNoticeKind, const std::string& notice) {
    std::fprintf(stderr, "melvigil-cli: %s\n", notice.c_str());
  });
  program.FileSystemWatcher1().SetOnArmed([&dir](bool watching) {
    if (!watching) {
      std::fprintf(stderr, "melvigil-cli: cannot watch %s\n", EscapeName(dir).c_str());
    }
  });
  std::thread stopWaiter([&dispatcher] {
    WaitForStop(-1);
    dispatcher.Quit();
  });

  program.StartOrStopWatching();  // start, as the window's button does
  dispatcher.Run();
  stopWaiter.join();
  program.StartOrStopWatching();  // stop
  std::fflush(stdout);
  return 0;
}

}  // namespace mv::cli
