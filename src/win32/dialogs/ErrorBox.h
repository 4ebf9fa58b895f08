// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's error box: every error that escapes an event handler (a window procedure,
// the timer, a notice) ends that one command and is shown here; the program then goes on (texts,
// RunGuarded and the test capture: dialogs/BoxTexts.h).

#include <string>

#include "dialogs/BoxTexts.h"

namespace mv {

std::string CurrentApplicationTitle();

// ShowErrorBox: in the ANSI code page, on the monitor of the active window; the thread's windows
// are disabled meanwhile. A window that holds the mouse capture gets WM_CANCELMODE first.

}  // namespace mv
