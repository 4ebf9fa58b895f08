// SPDX-License-Identifier: GPL-3.0-or-later
// ListBox1 as the commands see it: index and selection rules, the exact error texts, byte-exact
// entries, and batch removal that leaves the same list, selection and caret as single removals.

#include <QAccessible>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <random>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "Unit_main/ListBox.h"
#include "utility/SysUtils.h"

using mv::TListBox;

namespace {

template <class E>
std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("wrong class: ") + e.what();
  }
  return "nothing raised";
}

void Fill(TListBox& list, int count) {
  for (int i = 0; i < count; ++i) list.Add("/music/file" + std::to_string(i) + ".mp3");
}

void SelectRow(TListBox& list, int row) {
  list.selectionModel()->select(list.model()->index(row, 0), QItemSelectionModel::Select);
}

std::vector<int> SelectedRows(const TListBox& list) {
  std::vector<int> rows;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Selected(i)) rows.push_back(i);
  }
  return rows;
}

}  // namespace

class ListBoxTest : public QObject {
  Q_OBJECT

 private slots:
  // A screen reader reads the rows: one child per entry, named by it, with selection and
  // focus, and the children follow the list as entries come and go.
  void screenReadersSeeTheRows() {
    TListBox list;
    list.resize(300, 100);
    Fill(list, 3);
    list.show();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&list);
    QVERIFY(iface != nullptr);
    QCOMPARE(iface->role(), QAccessible::List);
    QCOMPARE(iface->childCount(), 3);
    SelectRow(list, 1);
    list.setFocus();
    list.SetItemIndex(2);
    for (int row = 0; row < 3; ++row) {
      QAccessibleInterface* child = iface->child(row);
      QVERIFY(child != nullptr);
      QCOMPARE(child->role(), QAccessible::ListItem);
      QCOMPARE(child->text(QAccessible::Name), QString::fromStdString(list.Get(row)));
      QCOMPARE(child->parent(), iface);
      QCOMPARE(iface->indexOfChild(child), row);
      QCOMPARE(bool(child->state().selected), list.Selected(row));
      QCOMPARE(iface->childAt(child->rect().center().x(), child->rect().center().y()), child);
    }
    QCOMPARE(iface->focusChild(), iface->child(2));
    QVERIFY(iface->child(3) == nullptr);

    list.Delete(0);
    QCOMPARE(iface->childCount(), 2);
    QCOMPARE(iface->child(0)->text(QAccessible::Name), QString::fromStdString(list.Get(0)));
    list.DeleteMany({1, 0});
    QCOMPARE(iface->childCount(), 0);
  }

  void addAppendsUnsortedAndReturnsIndex() {
    TListBox list;
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.Add("/b/zz.mp3"), 0);
    QCOMPARE(list.Add("/a/aa.mp3"), 1);
    QCOMPARE(list.Add("/b/zz.mp3"), 2);  // the list itself takes duplicates
    QCOMPARE(list.Count(), 3);
    QCOMPARE(list.Get(0), std::string("/b/zz.mp3"));
    QCOMPARE(list.Get(1), std::string("/a/aa.mp3"));
    QCOMPARE(list.Get(2), std::string("/b/zz.mp3"));
  }

  void getOutOfRangeRaisesStringListError() {
    TListBox list;
    QCOMPARE(MessageOf<mv::EStringListError>([&] { list.Get(0); }),
             std::string("列表索引越界 (0)"));
    list.Add("x");
    QCOMPARE(MessageOf<mv::EStringListError>([&] { list.Get(-1); }),
             std::string("列表索引越界 (-1)"));
    QCOMPARE(MessageOf<mv::EStringListError>([&] { list.Get(1); }),
             std::string("列表索引越界 (1)"));
  }

  void selectedOutOfRangeRaisesListError() {
    TListBox list;
    Fill(list, 2);
    QCOMPARE(MessageOf<mv::EListError>([&] { list.Selected(2); }), std::string("列表索引越界 (2)"));
    QCOMPARE(MessageOf<mv::EListError>([&] { list.Selected(-5); }),
             std::string("列表索引越界 (-5)"));
  }

  void deleteOutsideTheListDoesNothing() {
    TListBox list;
    Fill(list, 3);
    list.Delete(-1);
    list.Delete(3);
    QCOMPARE(list.Count(), 3);
    list.Delete(1);
    QCOMPARE(list.Count(), 2);
    QCOMPARE(list.Get(1), std::string("/music/file2.mp3"));
  }

  void caretIsIndependentOfSelection() {
    TListBox list;
    QCOMPARE(list.ItemIndex(), -1);
    Fill(list, 5);
    list.SetItemIndex(3);
    QCOMPARE(list.ItemIndex(), 3);
    // Moving the caret selects nothing.
    QCOMPARE(list.SelCount(), 0);
    QVERIFY(!list.Selected(3));
    SelectRow(list, 0);
    SelectRow(list, 4);
    QCOMPARE(list.SelCount(), 2);
    QCOMPARE(list.ItemIndex(), 3);
    // Caret -1 leaves the selection alone.
    list.SetItemIndex(-1);
    QCOMPARE(list.ItemIndex(), -1);
    QCOMPARE(list.SelCount(), 2);
    // Indices the list does not have are refused.
    list.SetItemIndex(2);
    list.SetItemIndex(5);
    QCOMPARE(list.ItemIndex(), 2);
  }

  void setItemIndexOnlyActsOnChange() {
    TListBox list;
    Fill(list, 3);
    QSignalSpy spy(list.selectionModel(), &QItemSelectionModel::currentChanged);
    list.SetItemIndex(-1);
    QCOMPARE(spy.count(), 0);
    list.SetItemIndex(1);
    list.SetItemIndex(1);
    QCOMPARE(spy.count(), 1);
  }

  void containsIgnoresAsciiCaseOnly() {
    TListBox list;
    list.Add("/Music/Song.MP3");
    list.Add("/x/\xC3\x89t\xC3\xA9.mp3");  // "Été"
    QVERIFY(list.ContainsNoCase("/music/song.mp3"));
    QVERIFY(list.ContainsNoCase("/MUSIC/SONG.MP3"));
    QVERIFY(!list.ContainsNoCase("/music/song.mp"));
    QVERIFY(list.ContainsNoCase("/X/\xC3\x89T\xC3\xA9.MP3"));
    // Bytes from 0x80 up are not folded: É and é differ.
    QVERIFY(!list.ContainsNoCase("/x/\xC3\xA9t\xC3\xA9.mp3"));
  }

  void containsFollowsRemovals() {
    TListBox list;
    list.Add("/a/X.mp3");
    list.Add("/b/y.mp3");
    list.Add("/A/x.MP3");
    list.Delete(0);
    QVERIFY(list.ContainsNoCase("/a/x.mp3"));  // the second spelling is still there
    list.DeleteMany({1});
    QVERIFY(!list.ContainsNoCase("/a/x.mp3"));
    QVERIFY(list.ContainsNoCase("/B/Y.MP3"));
  }

  void entriesAreKeptByteExact() {
    TListBox list;
    const std::string odd = std::string("/tmp/n\xFFme\x80.mp3");
    const std::string chinese = "/tmp/下载/歌.mp3";
    list.Add(odd);
    list.Add(chinese);
    QCOMPARE(list.Get(0), odd);
    QVERIFY(list.ContainsNoCase("/TMP/N\xFFME\x80.MP3"));
    // Only the display is decoded.
    const QString shown = list.model()->index(1, 0).data().toString();
    QCOMPARE(shown, QStringLiteral("/tmp/下载/歌.mp3"));
    const QString oddShown = list.model()->index(0, 0).data().toString();
    QVERIFY(oddShown.startsWith(QStringLiteral("/tmp/n")));
    QVERIFY(oddShown.endsWith(QStringLiteral(".mp3")));
  }

  void rowsAreSixteenPixelsHigh() {
    TListBox list;
    list.resize(300, 200);
    Fill(list, 10);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.ItemHeight(), 16);
    QCOMPARE(list.visualRect(list.model()->index(0, 0)).height(), 16);
    QCOMPARE(list.visualRect(list.model()->index(3, 0)).top(),
             list.visualRect(list.model()->index(0, 0)).top() + 3 * 16);
    // Rows span the view, however short the text.
    QCOMPARE(list.visualRect(list.model()->index(0, 0)).width(), list.viewport()->width());
  }

  void multiSelectionExtends() {
    TListBox list;
    list.resize(300, 200);
    Fill(list, 6);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    auto centre = [&](int row) { return list.visualRect(list.model()->index(row, 0)).center(); };
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, centre(1));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(3));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, centre(5));
    QCOMPARE(SelectedRows(list), (std::vector<int>{1, 2, 3, 5}));
    QCOMPARE(list.SelCount(), 4);
    QCOMPARE(list.ItemIndex(), 5);
  }

  void keyboardMovesTheCaretAndExtendsTheSelection() {
    TListBox list;
    list.resize(300, 10 * 16 + 2 * list.frameWidth());
    Fill(list, 50);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setFocus();
    list.SetItemIndex(0);
    QTest::keyClick(list.viewport(), Qt::Key_Down);
    QCOMPARE(list.ItemIndex(), 1);
    QTest::keyClick(list.viewport(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(list.viewport(), Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(list.ItemIndex(), 3);
    QCOMPARE(SelectedRows(list), (std::vector<int>{1, 2, 3}));
    // A page is the rows that fit entirely.
    QTest::keyClick(list.viewport(), Qt::Key_PageDown);
    QCOMPARE(list.ItemIndex(), 13);
    QTest::keyClick(list.viewport(), Qt::Key_End);
    QCOMPARE(list.ItemIndex(), 49);
    // The caret's row was scrolled into view, at the bottom.
    QCOMPARE(list.TopIndex(), 40);
    QCOMPARE(list.indexAt(QPoint(5, 9 * 16 + 3)).row(), 49);
    QTest::keyClick(list.viewport(), Qt::Key_Up);
    QTest::keyClick(list.viewport(), Qt::Key_Home);
    QCOMPARE(list.ItemIndex(), 0);
    QCOMPARE(list.TopIndex(), 0);
  }

  void rowsFollowTheScrollPosition() {
    TListBox list;
    list.resize(300, 10 * 16 + 2 * list.frameWidth());
    Fill(list, 100);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.verticalScrollBar()->maximum(), 90);
    list.verticalScrollBar()->setValue(25);
    QCOMPARE(list.TopIndex(), 25);
    QCOMPARE(list.visualRect(list.model()->index(25, 0)).top(), 0);
    QCOMPARE(list.visualRect(list.model()->index(27, 0)).top(), 32);
    QCOMPARE(list.indexAt(QPoint(5, 33)).row(), 27);
    list.scrollTo(list.model()->index(99, 0));
    QCOMPARE(list.TopIndex(), 90);
    QCOMPARE(list.indexAt(QPoint(5, 9 * 16 + 1)).row(), 99);
    // Removing from the end pulls the view back so that it stays full.
    list.DeleteMany({99, 98, 97});
    QCOMPARE(list.verticalScrollBar()->maximum(), 87);
    QCOMPARE(list.TopIndex(), 87);
    QCOMPARE(list.indexAt(QPoint(5, 9 * 16 + 1)).row(), 96);
  }

  void belowTheEntriesIsNoEntry() {
    TListBox list;
    list.resize(300, 10 * 16 + 2 * list.frameWidth());
    Fill(list, 5);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.indexAt(QPoint(5, 4 * 16 + 1)).row(), 4);
    QVERIFY(!list.indexAt(QPoint(5, 5 * 16 + 1)).isValid());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5 * 16 + 1));
    QCOMPARE(list.SelCount(), 0);
  }

  void doubleClickReportsOnce() {
    TListBox list;
    list.resize(300, 200);
    Fill(list, 3);
    int clicks = 0;
    list.OnDblClick = [&] { ++clicks; };
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QPoint at = list.visualRect(list.model()->index(2, 0)).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(clicks, 1);
    QCOMPARE(list.ItemIndex(), 2);
  }

  void deleteManyMatchesSingleDeletes_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("step");  // every step-th row of [first, last] goes
    QTest::addColumn<int>("caret");
    QTest::newRow("one run, caret inside") << 20 << 5 << 12 << 1 << 7;
    QTest::newRow("one run from the top") << 20 << 0 << 12 << 1 << 3;
    QTest::newRow("few runs") << 40 << 0 << 39 << 5 << 10;
    QTest::newRow("many scattered runs") << 400 << 0 << 399 << 3 << 99;
    QTest::newRow("many runs, caret on first removed") << 400 << 0 << 399 << 2 << 0;
    QTest::newRow("everything") << 100 << 0 << 99 << 1 << 50;
  }
  void deleteManyMatchesSingleDeletes() {
    QFETCH(int, count);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, step);
    QFETCH(int, caret);
    TListBox batch;
    TListBox single;
    std::mt19937 random;
    for (TListBox* list : {&batch, &single}) {
      Fill(*list, count);
      random.seed(42);
      for (int row = 0; row < count; ++row) {
        if (random() % 3 == 0) SelectRow(*list, row);
      }
      list->SetItemIndex(caret);
    }
    std::vector<int> gone;
    for (int row = last; row >= first; --row) {
      if ((row - first) % step == 0) gone.push_back(row);
    }
    batch.DeleteMany(gone);
    for (int row : gone) single.Delete(row);

    QCOMPARE(batch.Items(), single.Items());
    QCOMPARE(SelectedRows(batch), SelectedRows(single));
    QCOMPARE(batch.SelCount(), single.SelCount());
    QCOMPARE(batch.ItemIndex(), single.ItemIndex());
    for (int row : gone) {
      QVERIFY(!batch.ContainsNoCase("/music/file" + std::to_string(row) + ".mp3"));
    }
  }

  void deleteManyToleratesRepeatsAndStrays() {
    TListBox list;
    Fill(list, 5);
    list.DeleteMany({4, 9, 4, -1, 0, 2});
    QCOMPARE(list.Items(), (std::vector<std::string>{"/music/file1.mp3", "/music/file3.mp3"}));
  }
};

QTEST_MAIN(ListBoxTest)
#include "ListBoxTest.moc"
