// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Information for the user (the outcome of a copy, for example).

#include "dialogs/BoxTexts.h"

class QMessageBox;

namespace mv {

// ShowInfoMessage: an application-modal box.

// The narrowest a message box gets, in device-independent pixels: a box as narrow as a short
// text would be leaves the window manager too little title bar for the caption beside its
// buttons, and it elides even "提示".
inline constexpr int kMessageBoxMinimumWidth = 280;

namespace detail {
// Gives a message box about to be shown at least kMessageBoxMinimumWidth.
void KeepMinimumWidth(QMessageBox& box);
}  // namespace detail

}  // namespace mv
