// SPDX-License-Identifier: GPL-3.0-or-later
// What ListBox1 has of its own: rows, scrolling, mouse and keys, the caret's signal, the display
// of its entries and screen readers. The rules it shares with every list store are in
// ListBoxContractTest.cpp.

#include <QAccessible>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "Unit_main/ListBox.h"

using mv::TListBox;

namespace {

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

  // The entries are bytes; only the display decodes them.
  void theDisplayDecodesTheEntries() {
    TListBox list;
    list.Add("/tmp/n\xFFme\x80.mp3");
    list.Add("/tmp/下载/歌.mp3");
    QCOMPARE(list.model()->index(1, 0).data().toString(), QStringLiteral("/tmp/下载/歌.mp3"));
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
};

QTEST_MAIN(ListBoxTest)
#include "ListBoxTest.moc"
