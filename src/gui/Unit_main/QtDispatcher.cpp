// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/QtDispatcher.h"

#include <QMetaObject>
#include <memory>
#include <utility>

#include "Unit_main/Guarded.h"
#include "utility/HandOver.h"

namespace mv {

TQtDispatcher::TQtDispatcher() = default;

TQtDispatcher::~TQtDispatcher() = default;

void TQtDispatcher::Post(std::function<void()> task) {
  // Qt's event queue orders the posting thread's writes before the task, under its own locks.
  auto queued = std::make_shared<std::function<void()>>(std::move(task));
  HandOver(queued.get());
  QMetaObject::invokeMethod(
      &context_,
      [queued] {
        TakeOver(queued.get());
        RunGuarded(*queued);
      },
      Qt::QueuedConnection);
}

}  // namespace mv
