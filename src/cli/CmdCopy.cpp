// SPDX-License-Identifier: GPL-3.0-or-later
// copy --to DIR [--mask M] FILE...: the window's "另存为" with several entries
// selected: each FILE, first to last, is copied into DIR under its name part,
// with the detected extension appended when its own is not in the mask; an
// existing target is replaced, a failed copy leaves it as it was. One line per
// file on stdout, "copied <src> <target>" or "failed <src> <target>"
// (tab-separated, names escaped), then the window's message "成功复制N个文件".
// Any failure is also told on stderr with its reason and makes the exit status 1.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "Unit_main/MainForm.h"
#include "cli/Cli.h"
#include "commands/SaveCommands.h"
#include "utility/SysUtils.h"

namespace mv::cli {

namespace {

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int Copy(const Args& args) {
  std::string mask = kDefaultMask;
  std::string dir;
  bool haveDir = false;
  std::vector<std::string> files;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--mask") {
      if (++i == args.size()) return Usage("--mask needs a value");
      mask = args[i];
    } else if (options && a == "--to") {
      if (++i == args.size()) return Usage("--to needs a DIR");
      dir = args[i];
      haveDir = true;
    } else if (options && a.size() > 1 && a[0] == '-') {
      return Usage("copy: unknown option '" + a + "'");
    } else {
      files.push_back(a);
    }
  }
  if (!haveDir || dir.empty()) return Usage("copy needs --to DIR");
  if (files.empty()) return Usage("copy needs at least one FILE");
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "melvigil-cli: not a directory: %s\n", EscapeName(dir).c_str());
    return 1;
  }

  bool failed = false;
  TDirectProgress progress;
  const int count = CopyEntriesToDirectory(
      files, dir, mask, &progress,
      [&failed](const std::string& from, const std::string& to, TFileOutcome outcome,
                const std::string& reason) {
        const std::string line = EscapeName(from) + "\t" + EscapeName(to) + "\n";
        if (outcome == TFileOutcome::Done) {
          PrintLine("copied\t" + line);
          return;
        }
        std::fprintf(stderr, "melvigil-cli: cannot copy %s to %s: %s\n", EscapeName(from).c_str(),
                     EscapeName(to).c_str(), reason.c_str());
        PrintLine("failed\t" + line);
        failed = true;
      });
  PrintLine(FormatD(kCopiedCount, count) + "\n");
  return failed ? 1 : 0;
}

}  // namespace mv::cli
