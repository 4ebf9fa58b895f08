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
  PrintLine(std::string(1, sign) + "\t" + EscapeName(entry) + "\n");
}

int List(const TCliCommand& /*self*/, const TParsedArgs& args) {
  const std::string dir = args.Operands().front();
  const std::string mask = args.Value("mask", kDefaultMask);
  const bool all = args.Has("all");
  if (dir.empty()) {
    std::fprintf(stderr, "melvigil-cli: cannot watch an empty directory name\n");
    return 1;
  }
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

}  // namespace

const TCliCommand kList{
    .name = "list",
    .operands = "DIR",
    .summary = "list new music files below DIR as the window does, until stopped",
    .options = {{.name = "mask",
                 .valueName = "M",
                 .help = "the music mask (default *.wav;*.mp3;*.wma)"},
                {.name = "all", .valueName = nullptr, .help = "list every new file, music or not"}},
    .minOperands = 1,
    .maxOperands = 1,
    .run = List};

}  // namespace mv::cli
