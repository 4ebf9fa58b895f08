// SPDX-License-Identifier: GPL-3.0-or-later
// guess FILE...: the type each file's first bytes name, one line per file.
#include <cstdio>

#include "cli/Cli.h"
#include "utility/GuessFileExt.h"

namespace mv::cli {

int Guess(const Args& args) {
  if (args.empty()) return Usage("guess needs at least one FILE");
  for (const std::string& file : args) {
    const std::string line = EscapeName(file) + "\t" + EscapeName(GuessFileExt(file)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace mv::cli
