// SPDX-License-Identifier: GPL-3.0-or-later
// rename [--mask M] FILE...: the window's "自动更名" on the given files, taken
// as the list's entries (so the last is handled first). One line per file on
// stdout:
//   renamed <old> <new> | kept <file> in-mask | kept <file> unknown-type |
//   skipped <file> open-for-writing | failed <file> [<new>]
// (fields separated by a tab, names escaped). A file that is missing or cannot
// be renamed is also reported on stderr and makes the exit status 1, as does
// a file skipped because another program is still writing it. An existing
// file is never replaced.
#include <cstdio>
#include <string>

#include "cli/Cli.h"
#include "cli/CliUi.h"
#include "utility/FileRules.h"

namespace mv::cli {

namespace {

int Rename(const TCliCommand& /*self*/, const TParsedArgs& args) {
  TCliProgram cli(TCliProgram::TMode::OneShot, args);
  bool failed = false;
  for (const std::string& file : args.Operands()) {
    if (FileIsPresent(file)) {
      cli.List().Add(file);
    } else {
      std::fprintf(stderr, "melvigil-cli: no such file: %s\n", EscapeName(file).c_str());
      PrintLine("failed\t" + EscapeName(file) + "\n");
      failed = true;
    }
  }
  cli.Program().RenameAll([&failed](const std::string& from, const std::string& to,
                                    TFileOutcome outcome, const std::string& reason) {
    const std::string f = EscapeName(from);
    switch (outcome) {
      case TFileOutcome::Done:
        PrintLine("renamed\t" + f + "\t" + EscapeName(to) + "\n");
        break;
      case TFileOutcome::SkippedInMask:
        PrintLine("kept\t" + f + "\tin-mask\n");
        break;
      case TFileOutcome::SkippedUnknownType:
        PrintLine("kept\t" + f + "\tunknown-type\n");
        break;
      case TFileOutcome::SkippedOpenForWriting:
        PrintLine("skipped\t" + f + "\topen-for-writing\n");
        failed = true;
        break;
      case TFileOutcome::Failed:
        TellFailed("rename", from, to, reason);
        failed = true;
        break;
    }
  });
  return failed ? 1 : 0;
}

}  // namespace

const TCliCommand kRename{
    .name = "rename",
    .operands = "FILE...",
    .summary = "rename files in place by adding the detected extension (\"自动更名\")",
    .options = {MaskOption()},
    .run = Rename};

}  // namespace mv::cli
