#include "QtDispatcher.h"

#include <QMetaObject>
#include <utility>

#include "Guarded.h"

namespace mv {

TQtDispatcher::TQtDispatcher() = default;

TQtDispatcher::~TQtDispatcher() = default;

void TQtDispatcher::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(
      &context_, [task = std::move(task)] { RunGuarded(task); }, Qt::QueuedConnection);
}

}  // namespace mv
