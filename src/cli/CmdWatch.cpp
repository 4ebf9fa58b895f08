// SPDX-License-Identifier: GPL-3.0-or-later
// melvigil-cli watch DIR [--no-subtree] [--filter KIND[,KIND...]]
// Runs the window's watcher component without the window: one line per event on stdout
// (operation, first name, second name, separated by tabs), flushed after each batch; "ready"
// on stderr once the watches are placed; notices on stderr. SIGINT and SIGTERM (Ctrl+C on Windows)
// end it.

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

#include "cli/Cli.h"
#include "cli/CliUi.h"

namespace mv::cli {

namespace {

struct TKind {
  std::string_view name;
  TNotifyFilter filter;
};

constexpr TKind kKinds[] = {
    {"file", TNotifyFilter::nfFileNameChange},
    {"dir", TNotifyFilter::nfDirNameChange},
    {"attr", TNotifyFilter::nfAttributeChange},
    {"size", TNotifyFilter::nfSizeChange},
    {"write", TNotifyFilter::nfWriteChange},
    {"access", TNotifyFilter::nfAccessChange},
    {"creation", TNotifyFilter::nfCreationDateChange},
    {"security", TNotifyFilter::nfSecurityChange},
};

constexpr const char* kKindHelp =
    "what to watch: file, dir, attr, size, write, access, creation, security (default: file)";

bool ParseKinds(std::string_view text, TNotifyFilters& out, std::string& error) {
  out = TNotifyFilters{};
  if (text.empty()) {
    error = "--filter needs at least one kind; " + std::string(kKindHelp);
    return false;
  }
  for (std::size_t pos = 0; pos <= text.size();) {
    const std::size_t end = std::min(text.find(',', pos), text.size());
    const std::string_view word = text.substr(pos, end - pos);
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                   [word](const TKind& k) { return k.name == word; });
    if (kind == std::end(kKinds)) {
      error = "unknown kind '" + std::string(word) + "' in --filter; " + kKindHelp;
      return false;
    }
    out.Include(kind->filter);
    pos = end + 1;
  }
  return true;
}

int Watch(const TCliCommand& self, const TParsedArgs& args) {
  const std::string dir = args.Operands().front();
  if (dir.empty()) return self.UsageError("no DIR given");
  const bool subtree = !args.Has("no-subtree");
  TNotifyFilters filters{TNotifyFilter::nfFileNameChange};
  if (args.Has("filter")) {
    std::string error;
    if (!ParseKinds(args.Value("filter"), filters, error)) return self.UsageError(error);
  }

  TCliProgram cli(TCliProgram::TMode::UntilStopped, args, dir);
  TFileSystemWatcher& watcher = cli.Program().FileSystemWatcher1();
  watcher.SetWatchSubTree(subtree);
  watcher.SetNotifyFilters(filters);
  watcher.SetOnChange([](TFileOperation op, const std::string& name1, const std::string& name2) {
    std::printf("%s\t%s\t%s\n", FileOperationName(op), EscapeName(name1).c_str(),
                EscapeName(name2).c_str());
  });
  bool readyTold = false;
  watcher.SetOnArmed([&cli, &readyTold, &dir](bool watching) {
    if (readyTold || cli.Stopping()) return;
    readyTold = true;
    if (watching) {
      std::fputs("ready\n", stderr);
    } else {
      std::fprintf(stderr, "ready (not watching: cannot open %s)\n", EscapeName(dir).c_str());
    }
  });
  cli.Program().StartOrStopWatching();
  cli.RunUntilStopped();
  return 0;
}

}  // namespace

const TCliCommand kWatch{
    .name = "watch",
    .operands = "DIR",
    .summary = "print every change the watcher reports below DIR, until stopped",
    .options = {{.name = "no-subtree", .valueName = nullptr, .help = "watch DIR alone"},
                {.name = "filter", .valueName = "KIND[,KIND...]", .help = kKindHelp}},
    .maxOperands = 1,
    .run = Watch};

}  // namespace mv::cli
