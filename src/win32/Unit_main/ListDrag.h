// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dragging ListBox1's selected entries out as files (CF_HDROP) into Explorer or a player, as
// copies only: a drop can never move or delete the user's file. A press on a selected row
// followed by a move past the system's drag distance starts the drag; a press without a move
// is the list box's own click.

#include <windows.h>
// After windows.h, whose types they use.
#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

#include "Unit_main/ListBox.h"

namespace mv {

// paths (ANSI) as CF_HDROP data: a DROPFILES header, each name ended by a NUL, the list by a
// second one. Null when out of memory; the caller owns the block.
HGLOBAL MakeDropFiles(const std::vector<std::string>& paths);

class TListDrag {
 public:
  // list outlives this object.
  explicit TListDrag(TListBox& list);
  ~TListDrag();
  TListDrag(const TListDrag&) = delete;
  TListDrag& operator=(const TListDrag&) = delete;

  // Runs the drag with data and the effects allowed (DROPEFFECT_COPY); DoDragDrop by default,
  // tests look at the data here instead.
  std::function<void(IDataObject* data, IDropSource* source, DWORD allowed)> DoDrag;

 private:
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR self);
  void Start();

  TListBox& list_;
  bool oleReady_ = false;
  // A press on a selected row, held back from the list box until it turns out a click.
  bool pressed_ = false;
  POINT pressAt_{};
  WPARAM pressKeys_ = 0;
};

}  // namespace mv
