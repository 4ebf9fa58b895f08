// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Information for the user (the outcome of a copy).

#include "dialogs/BoxTexts.h"

namespace mv {

// ShowInfoMessage: a system message box that disables no window of its own accord. text may be
// UTF-8 or ANSI (AnsiText); a capture receives the caption and the text in ANSI.

}  // namespace mv
