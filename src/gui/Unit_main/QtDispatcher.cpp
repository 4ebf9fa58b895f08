// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/QtDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <memory>
#include <utility>

#include "Unit_main/Guarded.h"
#include "utility/HandOver.h"

namespace mv {

namespace {

// The task travels inside the event, which is complete before it is posted: Qt's queue orders
// the posting thread's writes before the delivery under its own locks, which ThreadSanitizer
// cannot see, so the hand-over is named here.
class TTaskEvent final : public QEvent {
 public:
  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  explicit TTaskEvent(std::function<void()> task) : QEvent(Type()), task_(std::move(task)) {}
  // An event discarded with its receiver is destroyed on the receiver's thread, unrun.
  ~TTaskEvent() override { TakeOver(this); }
  void Run() {
    TakeOver(this);
    RunGuarded(task_);
  }

 private:
  std::function<void()> task_;
};

}  // namespace

void TQtDispatcher::Post(std::function<void()> task) {
  auto* event = new TTaskEvent(std::move(task));
  HandOver(event);
  QCoreApplication::postEvent(&context_, event);
}

bool TQtDispatcher::TReceiver::event(QEvent* event) {
  if (event->type() != TTaskEvent::Type()) return QObject::event(event);
  static_cast<TTaskEvent*>(event)->Run();
  return true;
}

}  // namespace mv
