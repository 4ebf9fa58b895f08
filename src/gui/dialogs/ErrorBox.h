// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's error box: every error that escapes an event handler ends that one command
// and is shown here; the program then goes on with whatever state the handler left.

#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "utility/ErrorText.h"

namespace mv {

// The caption of the error box: the executable's file name without its folder, cut at its first
// ".", first character kept and every later ASCII letter lower-cased ("/x/MELVIGIL.EXE" ->
// "Melvigil").
std::string ApplicationTitle(const std::string& exePath);

// ApplicationTitle() of the running executable.
std::string CurrentApplicationTitle();

// Shows the error's message (worded by ErrorMessageText) in a modal box with the error icon and the
// application title as its caption. An EAbort shows nothing. Any window holding the mouse grab
// loses it first.
void ShowErrorBox(const std::exception& e);

// For the event loop's catch-all: rethrows the error and shows it as ShowErrorBox does. Objects
// that are not std::exception get a fixed last-chance text.
void HandleEscapedException(std::exception_ptr error);

// Runs `handler`; whatever escapes it goes to the error box and the caller carries on.
template <class Handler>
void RunGuarded(Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (...) {
    HandleEscapedException(std::current_exception());
  }
}

namespace testing {
// When set, the error box is not shown; the capture receives what it would have shown.
// Pass an empty function to show real boxes again.
using ErrorBoxCapture = std::function<void(const std::string& caption, const std::string& text)>;
void SetErrorBoxCapture(ErrorBoxCapture capture);
}  // namespace testing

}  // namespace mv
