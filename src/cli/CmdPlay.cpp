// SPDX-License-Identifier: GPL-3.0-or-later
// play [--sink NAME] FILE...: plays each file to its end as the window's play button does
// (Close, FileName, Open, Play), printing "<name>\t<length in ms>" once it is open. A file that
// cannot be played is reported as the error box would word it, and the next file follows.
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/Cli.h"
#include "cli/CliUi.h"
#include "utility/ErrorText.h"
#include "utility/SysUtils.h"

namespace mv::cli {

namespace {

// Playback that makes no progress for this long counts as failed rather than hanging the tool.
constexpr auto kStallLimit = std::chrono::seconds(10);

void ReportFailure(const std::string& file, const std::string& message) {
  std::fprintf(stderr, "melvigil-cli: %s: %s\n", EscapeName(file).c_str(),
               ErrorMessageText(message).c_str());
}

// Plays one file to its end; false when it could not be played.
bool PlayToEnd(TMediaPlayer& player, TFlushingDispatcher& dispatcher, const std::string& file) {
  bool ended = false;
  TMPNotifyValues value = nvSuccessful;
  player.OnNotify = [&](TMediaPlayer& p) {
    // A notice of an earlier command (the close of the previous file) is not this file's end.
    if (p.NotifyValue() == nvAborted || p.NotifyValue() == nvSuperseded) return;
    ended = true;
    value = p.NotifyValue();
  };
  try {
    player.Close();
    player.SetFileName(file);
    player.Open();
    PrintLine(EscapeName(file) + "\t" + std::to_string(player.Length()) + "\n");
    player.Play();
  } catch (const EMCIDeviceError& e) {
    ReportFailure(file, e.what());
    return false;
  }

  std::int32_t lastPosition = -1;
  auto lastProgress = std::chrono::steady_clock::now();
  while (!dispatcher.RunUntil([&] { return ended; }, 500)) {
    const std::int32_t position = player.Position();
    const auto now = std::chrono::steady_clock::now();
    if (position != lastPosition) {
      lastPosition = position;
      lastProgress = now;
    } else if (now - lastProgress > kStallLimit) {
      player.Close();
      ReportFailure(file, text::kUnknownErrorCode);
      return false;
    }
  }
  if (value != nvSuccessful) {
    ReportFailure(file, text::kUnknownErrorCode);
    return false;
  }
  return true;
}

int Play(const TCliCommand& /*self*/, const TParsedArgs& args) {
  TCliProgram cli(TCliProgram::TMode::OneShot, args, {},
                  CreateMediaDevice({args.Value("sink"), {}}));
  TMediaPlayer& player = cli.Program().MediaPlayer1();
  bool allPlayed = true;
  for (const std::string& file : args.Operands()) {
    allPlayed = PlayToEnd(player, cli.MainThread(), file) && allPlayed;
    player.OnNotify = nullptr;  // it refers to that call's locals
  }
  player.Close();
  return allPlayed ? 0 : 1;
}

}  // namespace

const TCliCommand kPlay{
    .name = "play",
    .operands = "FILE...",
    .summary = "play each file to its end as the play button does",
    .options = {{.name = "sink",
                 .valueName = "NAME",
                 .help = "the GStreamer audio sink element (default: the system's)"}},
    .run = Play};

}  // namespace mv::cli
