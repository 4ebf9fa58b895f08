// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1: the window's list of downloaded files. A view over a model that keeps the entries
// as narrow byte strings (only their display is decoded), multi-select, unsorted, rows of one
// fixed height. It is the commands' TListBoxStrings. With 100,000 entries an event costs no more
// than with a short list: the duplicate test goes through a hash of the folded names, and the
// view places rows by arithmetic (row * height), so appending or removing never lays out the
// whole list again, as QListView does.

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "utility/FoldedIndex.h"
#include "utility/ListItems.h"

namespace mv {

class TListBoxModel final : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Rows leave by dragging as files (file: URLs), copied only (ListMenu.cpp).
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override;

  const std::vector<std::string>& Items() const { return items_; }
  int Append(const std::string& text);
  // Rows [first, last], both inside the list.
  void RemoveRange(int first, int last);
  // Keeps the rows whose flag in keep is true; one reset, for many scattered removals.
  void RemoveWhereNot(const std::vector<bool>& keep);
  int IndexOfNoCase(std::string_view text) const;
  int RowHeight() const { return rowHeight_; }
  void SetRowHeight(int height);

 private:
  std::vector<std::string> items_;
  TFoldedIndex folded_;
  int rowHeight_ = 16;
};

class TListBox : public QAbstractItemView, public TListBoxStrings {
  Q_OBJECT

 public:
  explicit TListBox(QWidget* parent = nullptr);
  ~TListBox() override;

  // TListBoxStrings
  int Count() const override;
  std::string Get(int index) const override;
  int Add(const std::string& text) override;
  void Delete(int index) override;
  void DeleteMany(const std::vector<int>& indicesDescending) override;
  int ItemIndex() const override;
  void SetItemIndex(int index) override;
  int SelCount() const override;
  bool Selected(int index) const override;
  int IndexOfNoCase(std::string_view text) const override;

  int ItemHeight() const { return model_->RowHeight(); }
  void SetItemHeight(int height);
  const std::vector<std::string>& Items() const { return model_->Items(); }
  TListBoxModel* ListModel() const { return model_; }

  // A double click anywhere in the list, as the list box reports it.
  std::function<void()> OnDblClick;
  // Enter or Return pressed while the list has a current entry.
  std::function<void()> OnEnter;

  // The row shown at the top.
  int TopIndex() const;

  // QAbstractItemView
  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;

 protected:
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex& index) const override;
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  // Rows that fit in the viewport entirely (at least 1), and those touched by it.
  int FullRows() const;
  int VisibleRows() const;
  void CountChanged();
  // Rows from first on were inserted or removed.
  void RowsChangedFrom(int first);

  // Removal by a reset, with the selection and the caret carried over to the surviving rows.
  void DeleteByReset(const std::vector<int>& indicesDescending);

  TListBoxModel* model_;
};

}  // namespace mv
