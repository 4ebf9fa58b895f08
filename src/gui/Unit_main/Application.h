// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object. Its notify() is the last line of the error routing: an error that
// escapes an event handler not already guarded goes to the error box instead of unwinding further
// into the event loop.

#include <QApplication>

namespace mv {

class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace mv
