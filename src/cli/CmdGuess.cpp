// SPDX-License-Identifier: GPL-3.0-or-later
// guess FILE...: the type each file's first bytes name, one line per file.
#include <cstdio>

#include "cli/Cli.h"
#include "utility/GuessFileExt.h"

namespace mv::cli {

namespace {

int Guess(const TCliCommand& /*self*/, const TParsedArgs& args) {
  for (const std::string& file : args.Operands()) {
    Print(stdout, EscapeName(file) + "\t" + EscapeName(GuessFileExt(file)) + "\n");
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

const TCliCommand kGuess{.name = "guess",
                         .operands = "FILE...",
                         .summary = "print the extension each file's first bytes name",
                         .options = {},
                         .run = Guess};

}  // namespace mv::cli
