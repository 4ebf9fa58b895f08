// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a subcommand that runs until stopped learns that it should end: SIGINT or SIGTERM on
// Linux; Ctrl+C, Ctrl+Break or the console closing on Windows.

namespace mv::cli {

// Call on the main thread before any other thread starts: on Linux the signals are then
// blocked in every thread, so that only WaitForStop receives them.
void CatchStopSignals();

// Waits for a stop request; a request is consumed by the wait that sees it.
void WaitForStop();

}  // namespace mv::cli
