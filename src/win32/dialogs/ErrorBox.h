// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's error box: every error that escapes an event handler (a window procedure,
// the timer, a notice) ends that one command and is shown here; the program then goes on (texts,
// RunGuarded and the test capture: dialogs/BoxTexts.h).

#include <exception>
#include <string>

#include "dialogs/BoxTexts.h"

namespace mv {

std::string CurrentApplicationTitle();

// Shows ErrorBoxText(e) in the ANSI code page in a modal box with the error icon and the
// application title as its caption, on the monitor of the active window; the thread's windows
// are disabled meanwhile. An EAbort shows nothing. A window that holds the mouse capture gets
// WM_CANCELMODE first.
void ShowErrorBox(const std::exception& e);

}  // namespace mv
