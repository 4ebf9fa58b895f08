// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "dialogs/MessageBox.h"
#include "dialogs/ModalRun.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

// Shown for a thrown object that is not a std::exception: there is no message to show.
constexpr const char* kUnknownErrorText = "程序发生了无法识别的错误.";

testing::ErrorBoxCapture& Capture() {
  static testing::ErrorBoxCapture capture;
  return capture;
}

void ShowBox(const std::string& caption, const std::string& text) {
  if (Capture()) {
    Capture()(caption, text);
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

void ReleaseMouseGrab() {
  // A drag or a pressed button would otherwise keep the grab behind the modal box.
  if (QCoreApplication::instance() != nullptr) {
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  }
}

}  // namespace

std::string ApplicationTitle(const std::string& exePath) {
  std::string::size_type slash = exePath.find_last_of('/');
  std::string title = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
  std::string::size_type dot = title.find('.');
  if (dot != std::string::npos) title.resize(dot);
  for (std::string::size_type i = 1; i < title.size(); ++i) {
    if (title[i] >= 'A' && title[i] <= 'Z') title[i] = static_cast<char>(title[i] - 'A' + 'a');
  }
  return title;
}

std::string CurrentApplicationTitle() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "melvigil";
  return ApplicationTitle(exe.string());
}

void ShowErrorBox(const std::exception& e) {
  ReleaseMouseGrab();
  if (dynamic_cast<const EAbort*>(&e) != nullptr) return;
  ShowBox(CurrentApplicationTitle(), ErrorMessageText(e.what()));
}

void HandleEscapedException(std::exception_ptr error) {
  if (!error) return;
  try {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      ShowErrorBox(e);
    } catch (...) {
      ReleaseMouseGrab();
      ShowBox(CurrentApplicationTitle(), kUnknownErrorText);
    }
  } catch (...) {
    // Showing the box failed (out of memory, say); the program must still go on.
    std::fputs("melvigil: an error could not be shown\n", stderr);
  }
}

void testing::SetErrorBoxCapture(ErrorBoxCapture capture) { Capture() = std::move(capture); }

}  // namespace mv
