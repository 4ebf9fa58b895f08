// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1's rows of files still being written (a download in progress) are drawn in grey text
// with a mark after the path, so that nobody plays or copies half a file. Only the drawing
// changes: the entry stays the path, which the commands and the list's rules rely on. The list
// box is owner-drawn for this; every row is drawn here, as the system list box would draw it
// otherwise.

#include <windows.h>

#include <string>

#include "Unit_main/ListBox.h"

namespace mv {

class TDownloadList;

// How a row is drawn: its text and colours.
struct TRowLook {
  std::string text;  // ANSI
  COLORREF textColor;
  COLORREF backColor;
};

// The look of a row holding entry (ANSI). Selected rows keep the highlight's colours, so that
// they stay readable; the mark follows the path whatever the state.
TRowLook RowLook(const std::string& entry, bool selected, bool disabled, bool beingWritten);

class TWritingMark {
 public:
  // Repaints list when a row's state changes; list and downloads outlive this object.
  TWritingMark(TListBox& list, TDownloadList& downloads);
  ~TWritingMark();
  TWritingMark(const TWritingMark&) = delete;
  TWritingMark& operator=(const TWritingMark&) = delete;

  // WM_DRAWITEM sent to the list box's parent: false when item is not one of the list's rows.
  bool DrawItem(const DRAWITEMSTRUCT& item) const;

 private:
  TListBox& list_;
  TDownloadList& downloads_;
};

}  // namespace mv
