// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Information for the user (the outcome of a copy).

#include <string>

#include "dialogs/BoxTexts.h"

namespace mv {

// A system message box: caption "提示", the information icon, one OK button. It disables no
// window of its own accord; its answer is ignored. text may be UTF-8 or ANSI (AnsiText); a
// capture receives the caption and the text in ANSI.
void ShowInfoMessage(const std::string& text);

}  // namespace mv
