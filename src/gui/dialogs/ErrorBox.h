// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's error box (texts, RunGuarded and the test capture: dialogs/BoxTexts.h).

#include <string>

#include "dialogs/BoxTexts.h"

namespace mv {

// ApplicationTitle() of the running executable.
std::string CurrentApplicationTitle();

// ShowErrorBox: an application-modal box on the active window's screen; any window holding the
// mouse grab loses it first.

}  // namespace mv
