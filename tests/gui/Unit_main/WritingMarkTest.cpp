// SPDX-License-Identifier: GPL-3.0-or-later
// A file still being written is drawn greyed and marked in ListBox1, its row repainted when the
// writer lets go, and its entry stays the path.

#include <QEvent>
#include <QFile>
#include <QPaintEvent>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "GuiTestSupport.h"
#include "Unit_main/ListBox.h"
#include "Unit_main/WritingMark.h"
#include "commands/DownloadList.h"
#include "utility/ChildHolder.h"
#include "utility/Dispatcher.h"

namespace {

// Counts the paints of the viewport that cover a given rectangle.
class TPaintCounter : public QObject {
 public:
  QRect watched;
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint &&
        static_cast<QPaintEvent*>(event)->rect().intersects(watched)) {
      ++paints;
    }
    return false;
  }
};

}  // namespace

class WritingMarkTest : public QObject {
  Q_OBJECT

 private slots:
  void aRowBeingWrittenIsMarkedUntilItsWriterCloses() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string song = dir.filePath("song.mp3").toStdString();
    const std::string done = dir.filePath("done.mp3").toStdString();
    for (const std::string& name : {song, done}) {
      QFile file(QString::fromStdString(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("ID3");
    }
    mv::TListBox list;
    list.resize(400, 120);
    mv::TQueueDispatcher dispatcher;
    mv::TDownloadList downloads(
        list, dispatcher, [] { return std::string("*.mp3"); }, [] { return false; });
    mv::ShowWritingState(list, downloads);
    auto writer = std::make_unique<mv::test::TWritingChild>(song);
    downloads.FileChanged(mv::TFileOperation::foAdded, song, "");
    downloads.FileChanged(mv::TFileOperation::foAdded, done, "");

    auto* delegate = dynamic_cast<mv::TWritingMarkDelegate*>(list.itemDelegate());
    QVERIFY(delegate != nullptr);
    auto optionOf = [&](int row) {
      QStyleOptionViewItem option;
      option.palette = list.palette();
      delegate->initStyleOption(&option, list.ListModel()->index(row));
      return option;
    };
    const QString mark = QString::fromUtf8(mv::text::kBeingWrittenMark);
    QCOMPARE(optionOf(0).text, QString::fromStdString(song) + mark);
    QCOMPARE(optionOf(1).text, QString::fromStdString(done));
    QVERIFY(optionOf(0).palette.color(QPalette::Text) != optionOf(1).palette.color(QPalette::Text));
    // The entry and what the model gives others stay the path.
    QCOMPARE(list.Get(0), song);
    QCOMPARE(list.ListModel()->data(list.ListModel()->index(0), Qt::DisplayRole).toString(),
             QString::fromStdString(song));

    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    TPaintCounter counter;
    counter.watched = list.visualRect(list.ListModel()->index(0));
    list.viewport()->installEventFilter(&counter);
    QCoreApplication::processEvents();
    const int paintsBefore = counter.paints;

    writer.reset();
    const unsigned long sweeps = downloads.SweepsDone();
    downloads.Sweep();
    QVERIFY(dispatcher.RunUntil([&] { return downloads.SweepsDone() > sweeps; }, 10000));
    QCOMPARE(optionOf(0).text, QString::fromStdString(song));
    QCOMPARE(optionOf(0).palette.color(QPalette::Text), optionOf(1).palette.color(QPalette::Text));
    QTRY_VERIFY_WITH_TIMEOUT(counter.paints > paintsBefore, 5000);
    list.viewport()->removeEventFilter(&counter);
  }
};

QTEST_MAIN(WritingMarkTest)
#include "WritingMarkTest.moc"
