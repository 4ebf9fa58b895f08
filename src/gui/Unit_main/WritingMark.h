// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1's rows of files still being written (a download in progress) are drawn greyed with
// a mark after the path, so that nobody plays or copies half a file. Only the drawing changes:
// the entry stays the path, which the commands and the list's rules rely on.

#include <QStyledItemDelegate>

#include "commands/DownloadList.h"

namespace mv {

class TListBox;

class TWritingMarkDelegate final : public QStyledItemDelegate {
 public:
  // list: the view whose rows are drawn, and the delegate's parent; downloads is asked for the
  // rows painted only.
  TWritingMarkDelegate(TListBox& list, const TDownloadList& downloads);

  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  const TListBox& list_;
  const TDownloadList& downloads_;
};

// Draws list's rows as downloads tells and repaints a row when its state changes. downloads
// must not be asked after it has gone: it is, with the window, destroyed before list is
// painted again.
void ShowWritingState(TListBox& list, TDownloadList& downloads);

}  // namespace mv
