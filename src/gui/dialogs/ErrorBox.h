// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's error box (texts, RunGuarded and the test capture: dialogs/BoxTexts.h).

#include <exception>
#include <string>

#include "dialogs/BoxTexts.h"

namespace mv {

// ApplicationTitle() of the running executable.
std::string CurrentApplicationTitle();

// Shows ErrorBoxText(e) in a modal box with the error icon and the application title as its
// caption; an EAbort shows nothing. Any window holding the mouse grab loses it first.
void ShowErrorBox(const std::exception& e);

}  // namespace mv
