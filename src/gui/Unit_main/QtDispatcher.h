// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's main-thread dispatcher: tasks posted from any thread run, in posting order, from
// Qt's event loop on the thread that created the dispatcher.

#include <QObject>
#include <functional>

#include "utility/Dispatcher.h"

namespace mv {

// Create on the main thread. Tasks still queued when the dispatcher is destroyed are dropped
// (destroyed without running). Not copyable, as its receiver is not.
class TQtDispatcher final : public IMainThreadDispatcher {
 public:
  // Safe from any thread; never runs the task inline, even when called on the main thread. An
  // error escaping the task goes to the error box.
  void Post(std::function<void()> task) override;

 private:
  // The receiver of the queued tasks: deleting it discards the tasks not yet delivered.
  class TReceiver final : public QObject {
   protected:
    bool event(QEvent* event) override;
  };
  TReceiver context_;
};

}  // namespace mv
