// SPDX-License-Identifier: GPL-3.0-or-later
// One instance per user and display: who is first, and the second start's call to raise.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <future>

#include "Unit_main/SingleInstance.h"

class SingleInstanceTest : public QObject {
  Q_OBJECT

 private slots:
  void secondStartRaisesTheFirst() {
    QTemporaryDir dir;
    mv::TSingleInstance first(dir.path(), QStringLiteral("xcb-:5"));
    QVERIFY(first.Claim());
    QSignalSpy raised(&first, &mv::TSingleInstance::RaiseRequested);

    mv::TSingleInstance second(dir.path(), QStringLiteral("xcb-:5"));
    QVERIFY(!second.Claim());
    // The call blocks until the first answers, which needs this thread's event loop.
    auto answered = std::async(std::launch::async, [&] { return second.RaiseFirst(10000); });
    QTRY_COMPARE_WITH_TIMEOUT(raised.count(), 1, 10000);
    QVERIFY(answered.get());
  }

  void otherDisplaysAndLaterStartsAreFirst() {
    QTemporaryDir dir;
    {
      mv::TSingleInstance first(dir.path(), QStringLiteral("xcb-:5"));
      QVERIFY(first.Claim());
      mv::TSingleInstance elsewhere(dir.path(), QStringLiteral("xcb-:6"));
      QVERIFY(elsewhere.Claim());
    }
    mv::TSingleInstance later(dir.path(), QStringLiteral("xcb-:5"));
    QVERIFY(later.Claim());
  }

  // Lock taken by a start that has not listened yet (or hangs): the second gives up in time.
  void silentFirstIsNotWaitedForForever() {
    QTemporaryDir dir;
    QLockFile held(dir.path() + QStringLiteral("/melvigil-xcb-_5.lock"));
    QVERIFY(held.tryLock(0));
    mv::TSingleInstance second(dir.path(), QStringLiteral("xcb-:5"));
    QVERIFY(!second.Claim());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!second.RaiseFirst(300));
    QVERIFY(timer.elapsed() < 5000);
  }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
