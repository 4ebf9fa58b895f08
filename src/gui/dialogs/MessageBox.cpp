// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <utility>

#include "dialogs/ModalRun.h"

namespace mv {
namespace {
testing::InfoMessageCapture& Capture() {
  static testing::InfoMessageCapture capture;
  return capture;
}
}  // namespace

void ShowInfoMessage(const std::string& text) {
  if (Capture()) {
    Capture()(kInfoCaption, text);
    return;
  }
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    std::fprintf(stderr, "%s: %s\n", kInfoCaption, text.c_str());
    return;
  }
  QMessageBox box(QMessageBox::Information, QString::fromUtf8(kInfoCaption),
                  QString::fromLocal8Bit(text), QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  detail::RunModal(box);
}

void testing::SetInfoMessageCapture(InfoMessageCapture capture) { Capture() = std::move(capture); }

}  // namespace mv
