// SPDX-License-Identifier: GPL-3.0-or-later
// copy --to DIR [--mask M] FILE...: the window's "另存为" with several entries
// selected: each FILE, first to last, is copied into DIR under its name part,
// with the detected extension appended when its own is not in the mask; an
// existing target is replaced, a failed copy leaves it as it was. One line per
// file on stdout, "copied <src> <target>" or "failed <src> <target>"
// (tab-separated, names escaped), then the window's message "成功复制N个文件".
// Any failure is also told on stderr with its reason and makes the exit status 1.
#include <string>

#include "cli/Cli.h"
#include "cli/CliUi.h"

namespace mv::cli {

namespace {

int Copy(const TCliCommand& /*self*/, const TParsedArgs& args) {
  const std::string dir = args.Value("to");
  if (!UsableDirectory(dir, "copy into")) return 1;

  TCliProgram cli(TCliProgram::TMode::OneShot, args);
  for (const std::string& file : args.Operands()) {
    cli.List().SetSelected(cli.List().Add(file), true);
  }
  bool failed = false;
  cli.Program().SaveSelectedInto(dir, [&failed](const std::string& from, const std::string& to,
                                                TFileOutcome outcome, const std::string& reason) {
    if (outcome == TFileOutcome::Done) {
      PrintLine("copied\t" + EscapeName(from) + "\t" + EscapeName(to) + "\n");
      return;
    }
    TellFailed("copy", from, to, reason);
    failed = true;
  });
  return failed ? 1 : 0;
}

}  // namespace

const TCliCommand kCopy{
    .name = "copy",
    .operands = "FILE...",
    .summary = "copy files into a directory, adding the detected extension (\"另存为\")",
    .options =
        {{.name = "to", .valueName = "DIR", .help = "the directory to copy into", .required = true},
         MaskOption()},
    .run = Copy};

}  // namespace mv::cli
