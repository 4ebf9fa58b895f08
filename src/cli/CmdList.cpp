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

#include "cli/Cli.h"
#include "cli/CliUi.h"

namespace mv::cli {

namespace {

void PrintEntry(char sign, const std::string& entry) {
  PrintLine(std::string(1, sign) + "\t" + EscapeName(entry) + "\n");
}

int List(const TCliCommand& /*self*/, const TParsedArgs& args) {
  const std::string dir = args.Operands().front();
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

  TCliProgram cli(TCliProgram::TMode::UntilStopped, args, dir);
  TProgram& program = cli.Program();
  program.Downloads().OnAppended = [](const std::string& e) { PrintEntry('+', e); };
  program.Downloads().OnRemoved = [](const std::string& e) { PrintEntry('-', e); };
  program.FileSystemWatcher1().SetOnArmed([&cli, &dir](bool watching) {
    if (!watching && !cli.Stopping()) {
      std::fprintf(stderr, "melvigil-cli: cannot watch %s\n", EscapeName(dir).c_str());
    }
  });
  program.StartOrStopWatching();  // start, as the window's button does
  cli.RunUntilStopped();
  return 0;
}

}  // namespace

const TCliCommand kList{
    .name = "list",
    .operands = "DIR",
    .summary = "list new music files below DIR as the window does, until stopped",
    .options = {MaskOption(),
                {.name = "all", .valueName = nullptr, .help = "list every new file, music or not"}},
    .minOperands = 1,
    .maxOperands = 1,
    .run = List};

}  // namespace mv::cli
