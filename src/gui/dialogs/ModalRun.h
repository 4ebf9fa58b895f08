// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Internal: every modal dialog of this library runs through RunModal so that the test hook of
// DialogHooks.h sees it while it is up.

class QDialog;

namespace mv::detail {

// QDialog::exec() with the live-dialog hook scheduled inside the dialog's event loop.
int RunModal(QDialog& dialog);

}  // namespace mv::detail
