#pragma once
// ListBox1: the window's list of downloaded files. A list view over a model that keeps the
// entries as narrow byte strings (only their display is decoded), multi-select, unsorted, rows
// 16 pixels high. It is the commands' TListBoxStrings; with 100,000 entries an event costs no
// more than with an empty list (the duplicate test goes through a hash of the folded names).

#include <QAbstractListModel>
#include <QListView>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ListItems.h"

namespace mv {

class TListBoxModel final : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  const std::vector<std::string>& Items() const { return items_; }
  int Append(const std::string& text);
  // Rows [first, last], both inside the list.
  void RemoveRange(int first, int last);
  // Keeps the rows whose flag in keep is true; one reset, for many scattered removals.
  void RemoveWhereNot(const std::vector<bool>& keep);
  bool ContainsNoCase(std::string_view text) const;
  int RowHeight() const { return rowHeight_; }
  void SetRowHeight(int height);

 private:
  void Forget(const std::string& text);

  std::vector<std::string> items_;
  // AsciiLower(entry) -> how many entries fold to it.
  std::unordered_map<std::string, int> folded_;
  int rowHeight_ = 16;
};

class TListBox : public QListView, public TListBoxStrings {
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
  bool ContainsNoCase(std::string_view text) const override;

  int ItemHeight() const { return model_->RowHeight(); }
  void SetItemHeight(int height);
  const std::vector<std::string>& Items() const { return model_->Items(); }
  TListBoxModel* ListModel() const { return model_; }

  // A double click anywhere in the list, as the list box reports it.
  std::function<void()> OnDblClick;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // Removal by a reset, with the selection and the caret carried over to the surviving rows.
  void DeleteByReset(const std::vector<int>& indicesDescending);

  TListBoxModel* model_;
};

}  // namespace mv
