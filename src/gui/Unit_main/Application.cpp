// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Application.h"

#include <exception>

#include "dialogs/ErrorBox.h"

namespace mv {

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleEscapedException(std::current_exception());
    return false;
  }
}

}  // namespace mv
