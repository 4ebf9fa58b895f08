// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt side of the core's seams: the main-thread dispatcher and the routing of escaped errors
// to the error box (captured here instead of shown).

#include <QEvent>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "Unit_main/Application.h"
#include "Unit_main/Guarded.h"
#include "Unit_main/QtDispatcher.h"
#include "dialogs/ErrorBox.h"
#include "utility/SysUtils.h"

namespace {

using mv::testing::TErrorLog;

// An object whose own event handling fails, as a control's event override might.
class TFailingObject : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw mv::EListError("列表索引越界 (7)");
    return QObject::event(e);
  }
};

}  // namespace

class SeamsTest : public QObject {
  Q_OBJECT

 private slots:
  void postedTasksRunLaterInOrderOnTheMainThread() {
    mv::TQtDispatcher dispatcher;
    std::vector<int> order;
    bool ranInline = false;
    dispatcher.Post([&] { order.push_back(1); });
    ranInline = !order.empty();
    std::atomic<bool> threadsDone{false};
    std::vector<Qt::HANDLE> threadsSeen;
    std::thread poster([&] {
      for (int i = 2; i <= 100; ++i) {
        dispatcher.Post([&, i] {
          order.push_back(i);
          threadsSeen.push_back(QThread::currentThreadId());
        });
      }
      threadsDone = true;
    });
    poster.join();
    QVERIFY(!ranInline);
    QTRY_COMPARE(order.size(), std::size_t{100});
    for (int i = 0; i < 100; ++i) QCOMPARE(order[static_cast<std::size_t>(i)], i + 1);
    for (Qt::HANDLE id : threadsSeen) QCOMPARE(id, QThread::currentThreadId());
  }

  void tasksQueuedWhenTheDispatcherGoesAreDropped() {
    int ran = 0;
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    {
      mv::TQtDispatcher dispatcher;
      dispatcher.Post([&ran, token] { ++ran; });
      token.reset();
    }
    // The dropped task and what it held are gone, and it never runs.
    QVERIFY(watch.expired());
    QCoreApplication::processEvents();
    QCOMPARE(ran, 0);
  }

  void errorInPostedTaskGoesToErrorBox() {
    TErrorLog log;
    mv::TQtDispatcher dispatcher;
    bool after = false;
    dispatcher.Post([] { throw mv::EMCIDeviceError("无法打开设备"); });
    dispatcher.Post([&] { after = true; });
    QTRY_VERIFY(after);
    QCOMPARE(log.texts, (std::vector<std::string>{"无法打开设备."}));
  }

  void guardedSlotReportsAndTheSenderGoesOn() {
    TErrorLog log;
    QPushButton button;
    int reached = 0;
    QObject::connect(&button, &QPushButton::clicked, &button,
                     mv::Guarded([] { throw mv::EFOpenError("不能打开文件 /x"); }));
    QObject::connect(&button, &QPushButton::clicked, &button, mv::Guarded([&](bool checked) {
      QVERIFY(!checked);
      ++reached;
    }));
    button.click();
    // The second slot still ran: the error did not unwind through the signal.
    QCOMPARE(reached, 1);
    QCOMPARE(log.texts, (std::vector<std::string>{"不能打开文件 /x."}));
  }

  void abortIsSilent() {
    TErrorLog log;
    mv::RunGuarded([] { throw mv::EAbort("quiet"); });
    QVERIFY(log.texts.empty());
  }

  void notifyIsTheLastLine() {
    TErrorLog log;
    TFailingObject object;
    QEvent event(QEvent::User);
    const bool handled = QCoreApplication::sendEvent(&object, &event);
    QVERIFY(!handled);
    QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    QCOMPARE(log.texts, (std::vector<std::string>{"列表索引越界 (7)", "列表索引越界 (7)"}));
  }
};

int main(int argc, char** argv) {
  mv::TApplication app(argc, argv);
  SeamsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "SeamsTest.moc"
