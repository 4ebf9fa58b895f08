#include "Application.h"

#include <exception>

#include "ErrorBox.h"

namespace mv {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleEscapedException(std::current_exception());
    return false;
  }
}

}  // namespace mv
