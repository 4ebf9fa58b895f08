// SPDX-License-Identifier: GPL-3.0-or-later
// ListBox1's tooltip: what is known at once, the details once they arrive, and nothing shown
// again once the pointer has left the row.

#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "Unit_main/Application.h"
#include "Unit_main/ListBox.h"
#include "Unit_main/ListDetails.h"
#include "Unit_main/QtDispatcher.h"

namespace {

// Every file is a tagged song whose probe waits until the gate opens.
class TGatedReader final : public mv::IDetailsReader {
 public:
  std::unique_ptr<TOpenFile> Probe(const std::string& path, mv::TMediaDetails& details,
                                   mv::TFileStamp& stamp) override {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [&] { return open_; });
    details.file = mv::TFileState::Present;
    details.size = path.size();
    details.type = ".mp3";
    stamp.size = path.size();
    return std::make_unique<TOpenFile>();
  }
  void Discover(TOpenFile&, mv::TMediaDetails& details) override {
    details.media = mv::TMediaKind::Audio;
    details.title = "Tone <b>";
    details.artist = "Melvigil";
    details.durationMs = 61000;
    std::lock_guard lock(mutex_);
    ++discovered_;
  }
  void SetOpen(bool open) {
    std::lock_guard lock(mutex_);
    open_ = open;
    opened_.notify_all();
  }
  int Discovered() {
    std::lock_guard lock(mutex_);
    return discovered_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
  int discovered_ = 0;
};

}  // namespace

class ListDetailsTest : public QObject {
  Q_OBJECT

 private slots:
  void tooltipShowsDetailsOnceTheyArriveWhileHovered() {
    mv::TQtDispatcher dispatcher;
    mv::TListBox list;
    list.resize(400, 200);
    list.show();
    // Activation hides any tooltip: let it happen before hovering.
    QVERIFY(QTest::qWaitForWindowActive(&list));
    list.Add("/music/a.mp3");
    list.Add("/music/b.mp3");
    auto owned = std::make_unique<TGatedReader>();
    TGatedReader& reader = *owned;
    mv::TListDetails details(list, dispatcher, std::move(owned));
    const auto hover = [&](int row) {
      const QPoint pos = list.visualRect(list.ListModel()->index(row)).center();
      QHelpEvent event(QEvent::ToolTip, pos, list.viewport()->mapToGlobal(pos));
      QCoreApplication::sendEvent(list.viewport(), &event);
    };

    hover(0);
    QVERIFY(QToolTip::isVisible());
    QVERIFY(QToolTip::text().contains("正在读取"));
    QVERIFY(!QToolTip::text().contains("标题"));
    reader.SetOpen(true);
    QTRY_VERIFY(QToolTip::text().contains("标题：Tone &lt;b&gt;"));
    for (const char* line : {"艺术家：Melvigil", "时长：1:01", "大小：12 字节", "类型：.mp3"})
      QVERIFY2(QToolTip::text().contains(QString::fromUtf8(line)), line);

    // The pointer leaves before the second row's details come: they are not shown.
    reader.SetOpen(false);
    hover(1);
    QVERIFY(QToolTip::text().contains("正在读取"));
    QToolTip::hideText();
    QTRY_VERIFY(!QToolTip::isVisible());
    // Answered after the tooltip's own request, which the dispatcher delivers first.
    bool answered = false;
    details.Provider().Request(
        "/music/b.mp3", [&](const mv::TMediaDetails& d) { answered = answered || d.complete; });
    reader.SetOpen(true);
    QTRY_VERIFY(answered);
    QCOMPARE(reader.Discovered(), 2);
    QVERIFY(!QToolTip::isVisible());

    // Hovered again, the details show at once from what was read.
    hover(1);
    QVERIFY(QToolTip::text().contains("标题：Tone"));
  }
};

int main(int argc, char** argv) {
  mv::TApplication app(argc, argv);
  ListDetailsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ListDetailsTest.moc"
