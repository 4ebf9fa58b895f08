// SPDX-License-Identifier: GPL-3.0-or-later
// list DIR [--mask M] [--all] [--json]: the window's download list without a window.
// Watches DIR with its subdirectories for file-name changes and prints
// "+\t<entry>" when an entry is appended and "-\t<entry>" when the
// once-a-second sweep removes one, until SIGINT or SIGTERM; --json prints the same as JSON
// objects (ListJson.h).
#include <cstdio>
#include <optional>
#include <string>

#include "cli/Cli.h"
#include "cli/CliUi.h"
#include "cli/ListJson.h"

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
  if (!UsableDirectory(dir, "watch")) return 1;

  TCliProgram cli(TCliProgram::TMode::UntilStopped, args, dir);
  TProgram& program = cli.Program();
  std::optional<TJsonListing> json;
  if (args.Has("json")) {
    json.emplace(cli.MainThread(), program.Downloads());
    program.Downloads().OnAppended = [&json](const std::string& e) { json->Added(e); };
    program.Downloads().OnRemoved = [&json](const std::string& e) { json->Removed(e); };
    program.Downloads().OnWritingChanged = [&json](const std::string& e) {
      json->WritingChanged(e);
    };
  } else {
    program.Downloads().OnAppended = [](const std::string& e) { PrintEntry('+', e); };
    program.Downloads().OnRemoved = [](const std::string& e) { PrintEntry('-', e); };
  }
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
                {.name = "all", .valueName = nullptr, .help = "list every new file, music or not"},
                {.name = "json",
                 .valueName = nullptr,
                 .help = "one JSON object per line instead:\n"
                         "    {\"event\":\"added\",\"path\":P,\"size\":N,\"type\":\".mp3\","
                         "\"complete\":true}\n"
                         "    {\"event\":\"completed\",...as added}  its writer closed it\n"
                         "    {\"event\":\"removed\",\"path\":P}\n"
                         "    {\"event\":\"details\",\"path\":P,\"media\":\"audio\","
                         "\"title\":T,\"artist\":A,\"album\":B,\"duration_ms\":N}\n"
                         "  path is UTF-8 text; where the name's bytes are not UTF-8, those\n"
                         "  bytes show as U+FFFD and \"path_bytes\" holds the exact bytes in\n"
                         "  base64. type is what the first bytes name (null when they name\n"
                         "  none). complete is false while another program holds the file\n"
                         "  open for writing (type is then null); \"completed\" follows once\n"
                         "  it is closed. size, type and complete are null for a file that\n"
                         "  is gone or cannot be opened. \"details\" follows once the complete\n"
                         "  file has been read (media: audio, not-audio or unknown; null for\n"
                         "  what the file does not state), none for a file gone by then"}},
    .maxOperands = 1,
    .run = List};

}  // namespace mv::cli
