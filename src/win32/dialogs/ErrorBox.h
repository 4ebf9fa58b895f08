// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's error box: every error that escapes an event handler (a window procedure,
// the timer, a notice) ends that one command and is shown here; the program then goes on.

#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace mv {

// The executable's file name without its folder ("\", "/" or ":"), cut at its first ".", first
// character kept and every later ASCII letter lower-cased ("C:\x\MELVIGIL.EXE" -> "Melvigil").
std::string ApplicationTitle(const std::string& exePath);
std::string CurrentApplicationTitle();

// Shows the error's message (period rule applied, in the ANSI code page) in a modal box with
// the error icon and the application title as its caption, on the monitor of the active
// window; the thread's windows are disabled meanwhile. An EAbort shows nothing. A window that
// holds the mouse capture gets WM_CANCELMODE first.
void ShowErrorBox(const std::exception& e);
// For the catch-alls: rethrows and shows as ShowErrorBox; objects that are not std::exception
// get a fixed last-chance text. Never throws.
void HandleEscapedException(std::exception_ptr error) noexcept;

// Runs handler; whatever escapes it goes to the error box and the caller carries on.
template <class Handler>
void RunGuarded(Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (...) {
    HandleEscapedException(std::current_exception());
  }
}

namespace testing {
// When set, no box is shown; the capture receives the caption and the text it would show.
using ErrorBoxCapture = std::function<void(const std::string& caption, const std::string& text)>;
void SetErrorBoxCapture(ErrorBoxCapture capture);
}  // namespace testing

}  // namespace mv
