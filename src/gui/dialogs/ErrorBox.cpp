// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "dialogs/MessageBox.h"
#include "dialogs/ModalRun.h"

namespace mv {
namespace {

void ShowBox(const std::optional<std::string>& shown) {
  // A drag or a pressed button would otherwise keep the grab behind the modal box.
  if (QCoreApplication::instance() != nullptr) {
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  }
  if (!shown) return;
  const std::string caption = CurrentApplicationTitle();
  const std::string& text = *shown;
  if (detail::errorBoxCapture) {
    detail::errorBoxCapture(caption, text);
    return;
  }
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    // No window system to show it on; the message must still reach someone.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return;
  }
  // No parent: the box belongs to the application, not to a window that a handler might close
  // while it is up. exec() makes it application-modal.
  QMessageBox box(QMessageBox::Critical, QString::fromLocal8Bit(caption),
                  QString::fromLocal8Bit(text), QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  // On the monitor the user is looking at, which is where the failed command was started.
  if (QWidget* active = QApplication::activeWindow(); active != nullptr && active->screen()) {
    box.setScreen(active->screen());
  }
  detail::KeepMinimumWidth(box);
  detail::RunModal(box);
}

}  // namespace

std::string CurrentApplicationTitle() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "melvigil";
  return ApplicationTitle(exe.string());
}

void ShowErrorBox(const std::exception& e) { ShowBox(ErrorBoxText(e)); }

void HandleEscapedException(std::exception_ptr error) noexcept {
  if (!error) return;
  try {
    ShowBox(ErrorBoxText(error));
  } catch (...) {
    // Showing the box failed (out of memory, say); the program must still go on.
    std::fputs("melvigil: an error could not be shown\n", stderr);
  }
}

}  // namespace mv
