// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListBox.h"

#include <QAccessible>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSize>
#include <QString>
#include <QStyleOptionViewItem>
#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "Unit_main/Guarded.h"
#include "Unit_main/ListBoxAccessible.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

// --- the model ----------------------------------------------------------------------------

int TListBoxModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant TListBoxModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
  switch (role) {
    case Qt::DisplayRole: {
      const std::string& item = items_[static_cast<std::size_t>(index.row())];
      return QString::fromLocal8Bit(item.data(), static_cast<qsizetype>(item.size()));
    }
    case Qt::SizeHintRole:
      // The width is the view's: rows span the viewport.
      return QSize(1, rowHeight_);
    default:
      return {};
  }
}

int TListBoxModel::Append(const std::string& text) {
  const int row = static_cast<int>(items_.size());
  if (row == INT_MAX) throw EOutOfResources(text::kCannotInsertLine);
  try {
    // Everything that may fail happens before the view hears of the new row.
    if (items_.size() == items_.capacity())
      items_.reserve(std::max<std::size_t>(64, 2 * items_.size()));
    std::string copy = text;
    folded_.Append(text);
    beginInsertRows(QModelIndex(), row, row);
    items_.push_back(std::move(copy));
    endInsertRows();
  } catch (const std::bad_alloc&) {
    throw EOutOfResources(text::kCannotInsertLine);
  }
  return row;
}

void TListBoxModel::RemoveRange(int first, int last) {
  beginRemoveRows(QModelIndex(), first, last);
  auto from = items_.begin() + first;
  auto to = items_.begin() + last + 1;
  items_.erase(from, to);
  folded_.Erase(static_cast<std::size_t>(first), static_cast<std::size_t>(last) + 1);
  endRemoveRows();
}

void TListBoxModel::RemoveWhereNot(const std::vector<bool>& keep) {
  beginResetModel();
  std::size_t out = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (keep[i]) {
      if (out != i) items_[out] = std::move(items_[i]);
      ++out;
    }
  }
  items_.resize(out);
  folded_.KeepWhere(keep);
  endResetModel();
}

int TListBoxModel::IndexOfNoCase(std::string_view text) const {
  return folded_.FindLast(text, [this](std::size_t i) -> const std::string& { return items_[i]; });
}

void TListBoxModel::SetRowHeight(int height) {
  if (height == rowHeight_) return;
  rowHeight_ = height;
  if (!items_.empty()) emit dataChanged(index(0), index(rowCount() - 1), {Qt::SizeHintRole});
}

// --- the view -----------------------------------------------------------------------------

TListBox::TListBox(QWidget* parent) : QAbstractItemView(parent), model_(new TListBoxModel(this)) {
  InstallListBoxAccessibility();
  setModel(model_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTextElideMode(Qt::ElideNone);
  // A change of the count moves the scroll range and repaints only the rows on screen that it
  // touched: appending below the visible rows repaints nothing but the scroll bar.
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          Guarded([this](const QModelIndex&, int first, int) { RowsChangedFrom(first); }));
  connect(model_, &QAbstractItemModel::rowsRemoved, this,
          Guarded([this](const QModelIndex&, int first, int) { RowsChangedFrom(first); }));
  connect(model_, &QAbstractItemModel::modelReset, this, Guarded([this] { CountChanged(); }));
}

TListBox::~TListBox() = default;

int TListBox::Count() const { return model_->rowCount(); }

std::string TListBox::Get(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(FormatD(text::kListIndexError, index));
  return model_->Items()[static_cast<std::size_t>(index)];
}

int TListBox::Add(const std::string& text) { return model_->Append(text); }

void TListBox::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  model_->RemoveRange(index, index);
}

void TListBox::DeleteMany(const std::vector<int>& indicesDescending) {
  // Tolerate any order and repeats; indices outside the list are ignored, as Delete does.
  std::vector<int> rows;
  rows.reserve(indicesDescending.size());
  for (int i : indicesDescending) {
    if (i >= 0 && i < Count()) rows.push_back(i);
  }
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  if (rows.empty()) return;

  // Runs of adjacent rows, highest first; each run is one removal.
  std::vector<std::pair<int, int>> runs;
  for (int row : rows) {
    if (!runs.empty() && runs.back().first == row + 1) {
      runs.back().first = row;
    } else {
      runs.emplace_back(row, row);
    }
  }
  // Every removal moves the rows behind it; past a few dozen scattered runs a single rebuild
  // of the list is cheaper.
  constexpr std::size_t kMaxRuns = 32;
  if (runs.size() > kMaxRuns) {
    DeleteByReset(rows);
    return;
  }
  for (const auto& [first, last] : runs) model_->RemoveRange(first, last);
}

void TListBox::DeleteByReset(const std::vector<int>& indicesDescending) {
  const int count = Count();
  std::vector<bool> keep(static_cast<std::size_t>(count), true);
  for (int row : indicesDescending) keep[static_cast<std::size_t>(row)] = false;

  // Where each surviving row lands.
  std::vector<int> newRow(static_cast<std::size_t>(count), -1);
  int next = 0;
  for (int row = 0; row < count; ++row) {
    if (keep[static_cast<std::size_t>(row)]) newRow[static_cast<std::size_t>(row)] = next++;
  }

  // The caret moves as single removals would move it: to the nearest surviving row above,
  // else the nearest below.
  int caret = -1;
  const int oldCaret = ItemIndex();
  if (oldCaret >= 0) {
    for (int row = oldCaret; row >= 0 && caret < 0; --row) caret = newRow[std::size_t(row)];
    for (int row = oldCaret + 1; row < count && caret < 0; ++row) caret = newRow[std::size_t(row)];
  }
  std::vector<int> selected;
  for (const QModelIndex& index : selectionModel()->selectedRows()) {
    const int moved = newRow[static_cast<std::size_t>(index.row())];
    if (moved >= 0) selected.push_back(moved);
  }
  std::sort(selected.begin(), selected.end());
  const int scroll = verticalScrollBar()->value();

  model_->RemoveWhereNot(keep);

  QItemSelection selection;
  for (std::size_t i = 0; i < selected.size();) {
    std::size_t j = i;
    while (j + 1 < selected.size() && selected[j + 1] == selected[j] + 1) ++j;
    selection.select(model_->index(selected[i]), model_->index(selected[j]));
    i = j + 1;
  }
  if (!selection.isEmpty()) selectionModel()->select(selection, QItemSelectionModel::Select);
  if (caret >= 0)
    selectionModel()->setCurrentIndex(model_->index(caret), QItemSelectionModel::NoUpdate);
  verticalScrollBar()->setValue(scroll);
}

int TListBox::ItemIndex() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() : -1;
}

void TListBox::SetItemIndex(int index) {
  if (ItemIndex() == index) return;
  if (index == -1) {
    // The caret leaves every entry; the selection stays.
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  } else if (index >= 0 && index < Count()) {
    selectionModel()->setCurrentIndex(model_->index(index), QItemSelectionModel::NoUpdate);
  }
  // Other indices are refused, as the list box refuses them.
}

int TListBox::SelCount() const { return static_cast<int>(selectionModel()->selectedRows().size()); }

bool TListBox::Selected(int index) const {
  if (index < 0 || index >= Count()) throw EListError(FormatD(text::kListIndexError, index));
  return selectionModel()->isSelected(model_->index(index));
}

int TListBox::IndexOfNoCase(std::string_view text) const { return model_->IndexOfNoCase(text); }

void TListBox::SetItemHeight(int height) {
  model_->SetRowHeight(std::max(1, height));
  CountChanged();
}

// --- geometry: row r lies at (r - TopIndex()) * ItemHeight() in the viewport ---------------------

int TListBox::FullRows() const { return std::max(1, viewport()->height() / ItemHeight()); }

int TListBox::VisibleRows() const { return viewport()->height() / ItemHeight() + 1; }

int TListBox::TopIndex() const { return verticalScrollBar()->value(); }

void TListBox::CountChanged() {
  updateGeometries();
  viewport()->update();
}

void TListBox::RowsChangedFrom(int first) {
  const int top = TopIndex();
  updateGeometries();
  if (TopIndex() != top || first < top) {
    // The scroll position moved or rows above the view came or went: everything shifts.
    viewport()->update();
    return;
  }
  const int y = (first - top) * ItemHeight();
  if (y < viewport()->height()) {
    viewport()->update(0, y, viewport()->width(), viewport()->height() - y);
  }
}

QRect TListBox::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != model_) return {};
  return QRect(0, (index.row() - TopIndex()) * ItemHeight(), viewport()->width(), ItemHeight());
}

void TListBox::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  updateGeometries();
  const int row = index.row();
  const int top = TopIndex();
  const int full = FullRows();
  int newTop = top;
  switch (hint) {
    case PositionAtTop:
      newTop = row;
      break;
    case PositionAtBottom:
      newTop = row - full + 1;
      break;
    case PositionAtCenter:
      newTop = row - full / 2;
      break;
    case EnsureVisible:
      if (row < top) {
        newTop = row;
      } else if (row >= top + full) {
        newTop = row - full + 1;
      }
      break;
  }
  verticalScrollBar()->setValue(newTop);
}

QModelIndex TListBox::indexAt(const QPoint& point) const {
  if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width()) return {};
  const long long row = TopIndex() + point.y() / ItemHeight();
  if (row >= Count()) return {};
  return model_->index(static_cast<int>(row));
}

QModelIndex TListBox::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
  const int count = Count();
  if (count == 0) return {};
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return model_->index(0);
  long long row = current.row();
  switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
      --row;
      break;
    case MoveDown:
    case MoveNext:
      ++row;
      break;
    case MovePageUp:
      row -= FullRows();
      break;
    case MovePageDown:
      row += FullRows();
      break;
    case MoveHome:
      row = 0;
      break;
    case MoveEnd:
      row = count - 1;
      break;
    case MoveLeft:
    case MoveRight:
      break;
  }
  return model_->index(static_cast<int>(std::clamp<long long>(row, 0, count - 1)));
}

int TListBox::horizontalOffset() const { return 0; }

int TListBox::verticalOffset() const { return TopIndex() * ItemHeight(); }

bool TListBox::isIndexHidden(const QModelIndex&) const { return false; }

void TListBox::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  // rect is in viewport coordinates; the rows it touches, within the list.
  const QRect r = rect.normalized();
  const int count = Count();
  const long long first =
      std::max<long long>(0, TopIndex() + std::floor(double(r.top()) / ItemHeight()));
  const long long last =
      std::min<long long>(count - 1, TopIndex() + std::floor(double(r.bottom()) / ItemHeight()));
  QItemSelection selection;
  if (count > 0 && first <= last && r.right() >= 0 && r.left() < viewport()->width()) {
    selection.select(model_->index(static_cast<int>(first)), model_->index(static_cast<int>(last)));
  }
  selectionModel()->select(selection, command);
}

QRegion TListBox::visualRegionForSelection(const QItemSelection& selection) const {
  // Only what is on screen matters, however large the selection.
  const int top = TopIndex();
  const int bottom = top + VisibleRows() - 1;
  QRegion region;
  for (const QItemSelectionRange& range : selection) {
    const int first = std::max(range.top(), top);
    const int last = std::min(range.bottom(), bottom);
    if (first > last) continue;
    region += QRect(0, (first - top) * ItemHeight(), viewport()->width(),
                    (last - first + 1) * ItemHeight());
  }
  return region;
}

void TListBox::updateGeometries() {
  QScrollBar* bar = verticalScrollBar();
  const int full = FullRows();
  bar->setSingleStep(1);
  bar->setPageStep(full);
  bar->setRange(0, std::max(0, Count() - full));
  QAbstractItemView::updateGeometries();
}

void TListBox::scrollContentsBy(int, int) { viewport()->update(); }

void TListBox::resizeEvent(QResizeEvent* event) {
  RunGuarded([&] {
    QAbstractItemView::resizeEvent(event);
    updateGeometries();
  });
}

void TListBox::paintEvent(QPaintEvent* event) {
  RunGuarded([&] {
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const bool active = isActiveWindow();
    const QModelIndex current = currentIndex();
    const int top = TopIndex();
    const int first = top + std::max(0, event->rect().top() / ItemHeight());
    const int last = std::min(Count() - 1, top + event->rect().bottom() / ItemHeight());
    for (int row = first; row <= last; ++row) {
      const QModelIndex index = model_->index(row);
      QStyleOptionViewItem rowOption = option;
      rowOption.rect = visualRect(index);
      rowOption.state |= QStyle::State_Enabled;
      if (active) rowOption.state |= QStyle::State_Active;
      if (selectionModel()->isSelected(index)) rowOption.state |= QStyle::State_Selected;
      if (index == current && hasFocus()) rowOption.state |= QStyle::State_HasFocus;
      rowOption.palette.setCurrentColorGroup(active ? QPalette::Active : QPalette::Inactive);
      itemDelegateForIndex(index)->paint(&painter, rowOption, index);
    }
  });
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  RunGuarded([&] {
    QAbstractItemView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick();
  });
}

void TListBox::keyPressEvent(QKeyEvent* event) {
  RunGuarded([&] {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && currentIndex().isValid() && OnEnter) {
      event->accept();
      OnEnter();
      return;
    }
    QAbstractItemView::keyPressEvent(event);
  });
}

void TListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QAbstractItemView::currentChanged(current, previous);
  // Qt tells screen readers which row has the focus for its own views only.
  if (QAccessible::isActive() && current.isValid() && hasFocus()) {
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(current.row());
    QAccessible::updateAccessibility(&event);
  }
}

}  // namespace mv
