// SPDX-License-Identifier: GPL-3.0-or-later
// The information box.

#include <QAbstractButton>
#include <QMessageBox>
#include <QtTest>
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "dialogs/MessageBox.h"

using mv::testsupport::ScopedHook;

class MessageBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void boxHasCaptionIconAndOneOkButton() {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = -1;
    QMessageBox::StandardButtons buttons;
    bool visible = false, active = false;
    int width = 0;
    ScopedHook hook([&](QDialog* d) {
      if (auto* box = qobject_cast<QMessageBox*>(d)) {
        width = box->width();
        visible = box->isVisible();
        active = box == QApplication::activeModalWidget();
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttonCount = static_cast<int>(box->buttons().size());
        buttons = box->standardButtons();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
      }
      if (d->isVisible()) d->reject();
    });
    mv::ShowInfoMessage("成功复制3个文件");
    QCOMPARE(hook.Count(), 1);
    QVERIFY(visible);
    QVERIFY(active);
    QCOMPARE(caption, QString::fromUtf8("提示"));
    QCOMPARE(text, QString::fromUtf8("成功复制3个文件"));
    QCOMPARE(icon, QMessageBox::Information);
    QCOMPARE(buttonCount, 1);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // Wide enough for a window manager to show the caption beside its buttons.
    QVERIFY2(width >= mv::kMessageBoxMinimumWidth, qPrintable(QString::number(width)));
  }

  void escapeClosesTheBoxToo() {
    ScopedHook hook([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    mv::ShowInfoMessage("复制完成");
    QCOMPARE(hook.Count(), 1);
    QVERIFY(hook.Seen()[0].isNull());
  }

  void captureReplacesTheBox() {
    std::vector<std::pair<std::string, std::string>> shown;
    mv::testing::SetInfoMessageCapture(
        [&](const std::string& c, const std::string& t) { shown.emplace_back(c, t); });
    ScopedHook hook(nullptr);
    mv::ShowInfoMessage("复制完成");
    mv::testing::SetInfoMessageCapture({});
    QCOMPARE(hook.Count(), 0);
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].first, std::string("提示"));
    QCOMPARE(shown[0].second, std::string("复制完成"));
  }
};

QTEST_MAIN(MessageBoxTest)
#include "MessageBoxTest.moc"
