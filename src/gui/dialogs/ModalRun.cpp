// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/ModalRun.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <utility>

#include "dialogs/DialogHooks.h"

namespace mv {
namespace {
testing::LiveDialogHook& Hook() {
  static testing::LiveDialogHook hook;
  return hook;
}
}  // namespace

void testing::SetLiveDialogHook(LiveDialogHook hook) { Hook() = std::move(hook); }

int detail::RunModal(QDialog& dialog) {
  if (Hook()) {
    // A zero timer fires only once exec() has shown the dialog and entered its loop. The copy
    // keeps the hook alive even if it replaces itself.
    QPointer<QDialog> live(&dialog);
    testing::LiveDialogHook hook = Hook();
    QTimer::singleShot(0, &dialog, [live, hook] {
      if (live) hook(live.data());
    });
  }
  return dialog.exec();
}

}  // namespace mv
