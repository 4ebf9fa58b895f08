// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QString>
#include <cstdio>

#include "dialogs/ModalRun.h"

namespace mv {
void detail::KeepMinimumWidth(QMessageBox& box) {
  // QMessageBox fixes its own size from its layout when shown, overriding a minimum width set on
  // it; a spacer across the layout's full width is what that computation respects.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(
        new QSpacerItem(kMessageBoxMinimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
        grid->rowCount(), 0, 1, grid->columnCount());
  }
}

void ShowInfoMessage(const std::string& text) {
  if (detail::infoMessageCapture) {
    detail::infoMessageCapture(kInfoCaption, text);
    return;
  }
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    std::fprintf(stderr, "%s: %s\n", kInfoCaption, text.c_str());
    return;
  }
  QMessageBox box(QMessageBox::Information, QString::fromUtf8(kInfoCaption),
                  QString::fromLocal8Bit(text), QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  detail::KeepMinimumWidth(box);
  detail::RunModal(box);
}

}  // namespace mv
