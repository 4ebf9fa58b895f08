// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/WritingMark.h"

#include <QPalette>
#include <QStyleOptionViewItem>

#include "Unit_main/ListBox.h"
#include "commands/DownloadList.h"

namespace mv {

TWritingMarkDelegate::TWritingMarkDelegate(TListBox& list, const TDownloadList& downloads)
    : QStyledItemDelegate(&list), list_(list), downloads_(downloads) {}

void TWritingMarkDelegate::initStyleOption(QStyleOptionViewItem* option,
                                           const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  const auto& items = list_.Items();
  const int row = index.row();
  if (row < 0 || row >= static_cast<int>(items.size())) return;
  if (!downloads_.IsBeingWritten(items[static_cast<std::size_t>(row)])) return;
  option->text += QString::fromUtf8(text::kBeingWrittenMark);
  // The disabled text colour of the style, in every state but selected, where the highlight's
  // own text colour keeps the row readable.
  const QColor grey = option->palette.color(QPalette::Disabled, QPalette::Text);
  option->palette.setColor(QPalette::Active, QPalette::Text, grey);
  option->palette.setColor(QPalette::Inactive, QPalette::Text, grey);
}

void ShowWritingState(TListBox& list, TDownloadList& downloads) {
  list.setItemDelegate(new TWritingMarkDelegate(list, downloads));
  downloads.OnWritingChanged = [&list](const std::string& entry) {
    const int row = list.IndexOfNoCase(entry);
    if (row >= 0) list.viewport()->update(list.visualRect(list.ListModel()->index(row)));
  };
}

}  // namespace mv
