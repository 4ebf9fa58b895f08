// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/WritingMark.h"

#include "commands/DownloadList.h"
#include "dialogs/AnsiText.h"

namespace mv {

TRowLook RowLook(const std::string& entry, bool selected, bool disabled, bool beingWritten) {
  TRowLook look{entry, GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW)};
  if (beingWritten) look.text += AnsiText(text::kBeingWrittenMark);
  if (selected) {
    look.textColor = GetSysColor(COLOR_HIGHLIGHTTEXT);
    look.backColor = GetSysColor(COLOR_HIGHLIGHT);
  } else if (beingWritten || disabled) {
    look.textColor = GetSysColor(COLOR_GRAYTEXT);
  }
  return look;
}

TWritingMark::TWritingMark(TListBox& list, TDownloadList& downloads)
    : list_(list), downloads_(downloads) {
  downloads_.OnWritingChanged = [this](const std::string&) {
    // Rows move as entries come and go; the rows in view are few and cheap to draw again.
    InvalidateRect(list_.Handle(), nullptr, FALSE);
  };
}

TWritingMark::~TWritingMark() { downloads_.OnWritingChanged = {}; }

bool TWritingMark::DrawItem(const DRAWITEMSTRUCT& item) const {
  if (item.CtlType != ODT_LISTBOX || item.hwndItem != list_.Handle()) return false;
  RECT rect = item.rcItem;
  const HDC dc = item.hDC;
  // The focus rectangle alone is drawn by inverting it; an empty list has only that.
  if (item.itemID == static_cast<UINT>(-1) || item.itemAction == ODA_FOCUS) {
    DrawFocusRect(dc, &rect);
    return true;
  }
  const std::string entry = list_.Get(static_cast<int>(item.itemID));
  const TRowLook look =
      RowLook(entry, (item.itemState & ODS_SELECTED) != 0, (item.itemState & ODS_DISABLED) != 0,
              downloads_.IsBeingWritten(entry));
  const COLORREF oldText = SetTextColor(dc, look.textColor);
  const COLORREF oldBack = SetBkColor(dc, look.backColor);
  ExtTextOutA(dc, rect.left + 1, rect.top, ETO_OPAQUE | ETO_CLIPPED, &rect, look.text.data(),
              static_cast<UINT>(look.text.size()), nullptr);
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
  if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &rect);
  return true;
}

}  // namespace mv
