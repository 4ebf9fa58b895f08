// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListBoxAccessible.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <memory>
#include <unordered_map>

#include "Unit_main/ListBox.h"

namespace mv {
namespace {

// One row. It holds its row number; the list drops every row interface when rows come or go,
// so a number never names another entry.
class TListRowAccessible final : public QAccessibleInterface {
 public:
  TListRowAccessible(TListBox* list, int row) : list_(list), row_(row) {}

  bool isValid() const override { return list_ != nullptr && row_ < list_->Count(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override {
    return list_ != nullptr ? list_->window()->windowHandle() : nullptr;
  }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(list_.data());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }

  QString text(QAccessible::Text t) const override {
    if (!isValid() || (t != QAccessible::Name && t != QAccessible::Value)) return {};
    return Index().data(Qt::DisplayRole).toString();
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!isValid()) return {};
    const QRect r = list_->visualRect(Index());
    return QRect(list_->viewport()->mapToGlobal(r.topLeft()), r.size());
  }

  QAccessible::Role role() const override { return QAccessible::ListItem; }

  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    const QModelIndex index = Index();
    s.selectable = true;
    s.focusable = true;
    s.multiSelectable = true;
    s.extSelectable = true;
    s.selected = list_->selectionModel()->isSelected(index);
    s.focused = list_->hasFocus() && list_->currentIndex() == index;
    if (!list_->viewport()->rect().intersects(list_->visualRect(index))) s.offscreen = true;
    return s;
  }

 private:
  QModelIndex Index() const { return list_->model()->index(row_, 0); }

  QPointer<TListBox> list_;
  int row_;
};

class TListBoxAccessible final : public QAccessibleWidget {
 public:
  explicit TListBoxAccessible(TListBox* list)
      : QAccessibleWidget(list, QAccessible::List), watcher_(std::make_unique<QObject>()) {
    QAbstractItemModel* model = list->model();
    const auto forget = [this] { ForgetRows(); };
    QObject::connect(model, &QAbstractItemModel::rowsInserted, watcher_.get(), forget);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, watcher_.get(), forget);
    QObject::connect(model, &QAbstractItemModel::rowsMoved, watcher_.get(), forget);
    QObject::connect(model, &QAbstractItemModel::modelReset, watcher_.get(), forget);
    QObject::connect(model, &QAbstractItemModel::layoutChanged, watcher_.get(), forget);
  }
  ~TListBoxAccessible() override { ForgetRows(); }

  int childCount() const override { return List()->Count(); }

  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    if (auto found = rows_.find(index); found != rows_.end()) {
      return QAccessible::accessibleInterface(found->second);
    }
    auto* row = new TListRowAccessible(List(), index);
    rows_[index] = QAccessible::registerAccessibleInterface(row);
    return row;
  }

  int indexOfChild(const QAccessibleInterface* iface) const override {
    if (iface == nullptr || iface->role() != QAccessible::ListItem) return -1;
    for (const auto& [row, id] : rows_) {
      if (QAccessible::accessibleInterface(id) == iface) return row;
    }
    return -1;
  }

  QAccessibleInterface* childAt(int x, int y) const override {
    TListBox* list = List();
    const QModelIndex index = list->indexAt(list->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? child(index.row()) : nullptr;
  }

  QAccessibleInterface* focusChild() const override {
    TListBox* list = List();
    return list->hasFocus() && list->currentIndex().isValid() ? child(list->currentIndex().row())
                                                              : nullptr;
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.multiSelectable = true;
    s.extSelectable = true;
    return s;
  }

 private:
  TListBox* List() const { return static_cast<TListBox*>(widget()); }

  void ForgetRows() {
    for (const auto& [row, id] : rows_) QAccessible::deleteAccessibleInterface(id);
    rows_.clear();
  }

  std::unique_ptr<QObject> watcher_;
  mutable std::unordered_map<int, QAccessible::Id> rows_;
};

QAccessibleInterface* ListBoxFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("mv::TListBox") && object != nullptr && object->isWidgetType()) {
    return new TListBoxAccessible(static_cast<TListBox*>(object));
  }
  return nullptr;
}

}  // namespace

void InstallListBoxAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(ListBoxFactory);
    return true;
  }();
  (void)installed;
}

}  // namespace mv
