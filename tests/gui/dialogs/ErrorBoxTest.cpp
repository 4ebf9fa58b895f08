// SPDX-License-Identifier: GPL-3.0-or-later
// The error box: its text and caption rules, what it shows and what it leaves alone.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <stdexcept>
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "dialogs/ErrorBox.h"
#include "utility/ErrorText.h"
#include "utility/SysUtils.h"

using mv::testsupport::ScopedHook;

namespace {

struct Shown {
  std::string caption;
  std::string text;
};

// Captures every box for one scope.
class Capture {
 public:
  Capture() {
    mv::testing::SetErrorBoxCapture([this](const std::string& c, const std::string& t) {
      shown.push_back({c, t});
    });
  }
  ~Capture() { mv::testing::SetErrorBoxCapture({}); }
  std::vector<Shown> shown;
};

}  // namespace

class ErrorBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void textRule_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("chinese") << QByteArray("没有打开的 MCI 设备")
                             << QByteArray("没有打开的 MCI 设备.");
    QTest::newRow("chinese full stop") << QByteArray("错误。") << QByteArray("错误。.");
    QTest::newRow("period") << QByteArray("done.") << QByteArray("done.");
    QTest::newRow("exclamation") << QByteArray("stop!") << QByteArray("stop!");
    QTest::newRow("parenthesis") << QByteArray("列表索引越界 (5)")
                                 << QByteArray("列表索引越界 (5)");
    QTest::newRow("space") << QByteArray("trailing ") << QByteArray("trailing ");
    QTest::newRow("comma") << QByteArray("a,") << QByteArray("a,");
    QTest::newRow("slash") << QByteArray("path/") << QByteArray("path/.");
    QTest::newRow("letter") << QByteArray("failed") << QByteArray("failed.");
    QTest::newRow("digit") << QByteArray("code 7") << QByteArray("code 7.");
    QTest::newRow("question") << QByteArray("why?") << QByteArray("why?.");
    QTest::newRow("stray byte") << QByteArray("name \xFF") << QByteArray("name \xFF.");
    QTest::newRow("empty") << QByteArray() << QByteArray();
  }
  void textRule() {
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(mv::ErrorMessageText(message.toStdString())), shown);
  }

  void titleRule_data() {
    QTest::addColumn<QByteArray>("exe");
    QTest::addColumn<QByteArray>("title");
    QTest::newRow("capitals with extension")
        << QByteArray("/opt/x/MELVIGIL.EXE") << QByteArray("Melvigil");
    QTest::newRow("our binary") << QByteArray("/usr/bin/melvigil") << QByteArray("melvigil");
    QTest::newRow("no folder") << QByteArray("MelVigil") << QByteArray("Melvigil");
    QTest::newRow("cut at first dot") << QByteArray("/a/Tool.Beta.exe") << QByteArray("Tool");
    QTest::newRow("dot in folder only") << QByteArray("/a.b/PROG") << QByteArray("Prog");
    QTest::newRow("lower first kept") << QByteArray("/x/mELV") << QByteArray("melv");
    QTest::newRow("non-ascii untouched") << QByteArray(
                                                "/x/\xC3\x89"
                                                "COLE")
                                         << QByteArray(
                                                "\xC3\x89"
                                                "cole");
  }
  void titleRule() {
    QFETCH(QByteArray, exe);
    QFETCH(QByteArray, title);
    QCOMPARE(QByteArray::fromStdString(mv::ApplicationTitle(exe.toStdString())), title);
  }

  // This test's executable is called TestErrorBox.
  void runningExecutableGivesTheCaption() {
    QCOMPARE(QString::fromStdString(mv::CurrentApplicationTitle()), QStringLiteral("Testerrorbox"));
    Capture capture;
    mv::ShowErrorBox(mv::EMCIDeviceError("设备忙"));
    QCOMPARE(capture.shown.size(), std::size_t{1});
    QCOMPARE(capture.shown[0].caption, std::string("Testerrorbox"));
    QCOMPARE(capture.shown[0].text, std::string("设备忙."));
  }

  void abortShowsNothing() {
    Capture capture;
    mv::ShowErrorBox(mv::EAbort("quiet"));
    mv::HandleEscapedException(std::make_exception_ptr(mv::EAbort("quiet")));
    QVERIFY(capture.shown.empty());

    // Nor does a real box come up without the capture.
    ScopedHook hook([](QDialog* d) { d->reject(); });
    mv::testing::SetErrorBoxCapture({});
    mv::ShowErrorBox(mv::EAbort(""));
    QCOMPARE(hook.Count(), 0);
  }

  void escapedErrorsOfEveryKind() {
    Capture capture;
    mv::HandleEscapedException(std::make_exception_ptr(mv::EListError("列表索引越界 (-1)")));
    mv::HandleEscapedException(std::make_exception_ptr(std::runtime_error("plain")));
    mv::HandleEscapedException(std::make_exception_ptr(42));
    mv::HandleEscapedException(nullptr);
    QCOMPARE(capture.shown.size(), std::size_t{3});
    QCOMPARE(capture.shown[0].text, std::string("列表索引越界 (-1)"));
    QCOMPARE(capture.shown[1].text, std::string("plain."));
    // Something that is not an error object still gets a (Chinese) text, never an empty box.
    QVERIFY(!capture.shown[2].text.empty());
    QVERIFY(static_cast<unsigned char>(capture.shown[2].text.front()) >= 0x80);
  }

  void realBoxIsAModalCriticalWithOneButton() {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::WindowModality modality = Qt::NonModal;
    bool visible = false;
    int width = 0;
    ScopedHook hook([&](QDialog* d) {
      if (auto* box = qobject_cast<QMessageBox*>(d)) {
        visible = box->isVisible();
        width = box->width();
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        modality = box->windowModality();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
      }
      if (d->isVisible()) d->reject();
    });
    mv::ShowErrorBox(mv::EFOpenError("不能打开文件 /tmp/x"));
    QCOMPARE(hook.Count(), 1);
    QVERIFY(visible);
    QCOMPARE(caption, QStringLiteral("Testerrorbox"));
    QCOMPARE(text, QString::fromUtf8("不能打开文件 /tmp/x."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(modality, Qt::ApplicationModal);
    QVERIFY2(width >= mv::kMessageBoxMinimumWidth, qPrintable(QString::number(width)));
    QVERIFY(hook.Seen()[0].isNull());  // the box is gone once it returned
  }

  void mouseGrabIsReleased() {
    QWidget w;
    w.show();
    w.grabMouse();
    QCOMPARE(QWidget::mouseGrabber(), &w);
    Capture capture;
    mv::ShowErrorBox(mv::EOutOfResources("可用的计时器不足"));
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(capture.shown.size(), std::size_t{1});
  }

  // A failed handler ends its one command: what it did before the error stays done.
  void handlerStateStaysAndProgramGoesOn() {
    Capture capture;
    std::vector<int> list{1, 2};
    mv::RunGuarded([&] {
      list.push_back(3);
      throw mv::EStringListError("无法插入行");
    });
    QCOMPARE(list, (std::vector<int>{1, 2, 3}));
    QCOMPARE(capture.shown.size(), std::size_t{1});
    QCOMPARE(capture.shown[0].text, std::string("无法插入行."));
  }

  void timerKeepsTickingAfterAnError() {
    Capture capture;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      mv::RunGuarded([&] {
        ++ticks;
        if (ticks == 1) throw mv::EListError("列表索引越界 (0)");
      });
    });
    timer.start();
    QTRY_VERIFY(ticks >= 3);
    QVERIFY(timer.isActive());
    QCOMPARE(capture.shown.size(), std::size_t{1});
  }
};

QTEST_MAIN(ErrorBoxTest)
#include "ErrorBoxTest.moc"
