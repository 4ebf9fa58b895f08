// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/QtDispatcher.h"

#include <QMetaObject>
#include <utility>

#include "Unit_main/Guarded.h"

namespace mv {

TQtDispatcher::TQtDispatcher() = default;

TQtDispatcher::~TQtDispatcher() = default;

void TQtDispatcher::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(
      &context_, [task = std::move(task)] { RunGuarded(task); }, Qt::QueuedConnection);
}

}  // namespace mv
