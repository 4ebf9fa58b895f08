// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test access to the live modal dialogs of this library (message boxes, the save dialog, the
// directory chooser and its confirmation box), so GUI tests can look at a dialog while it is up
// and close it without ever blocking.

#include <functional>

class QDialog;

namespace mv::testing {

// Called once for every modal dialog of this library, from inside the dialog's own event loop,
// right after it has been shown. The hook may inspect the dialog and operate it (click its
// buttons, accept or reject it). A hook that leaves the dialog open leaves it to the user.
// Pass an empty function to remove the hook.
using LiveDialogHook = std::function<void(QDialog* dialog)>;
void SetLiveDialogHook(LiveDialogHook hook);

}  // namespace mv::testing
