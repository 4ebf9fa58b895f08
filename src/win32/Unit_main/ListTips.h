// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1's tooltip on Windows: the details of the entry under the pointer. Once the pointer
// rests on a row, the tip shows what is known of that entry at once and is redrawn when the
// provider hands over more while the pointer is still on that row. Entries are read only when
// hovered, on the provider's worker: the window thread never waits for a file.

#include <windows.h>

#include <memory>
#include <string>

#include "Unit_main/ListBox.h"
#include "media/Details.h"
#include "utility/Dispatcher.h"

namespace mv {

// The row of the list box's entry at point (client coordinates), -1 when no entry is there.
// Not LB_ITEMFROMPOINT: its 16-bit index cannot name the rows of a long list.
int ListRowAt(HWND listBox, POINT point);

class TListTips {
 public:
  // list and dispatcher (which runs on this thread) outlive this object; font (may be null) is
  // the tip's; reader: null takes the platform's.
  TListTips(TListBox& list, IMainThreadDispatcher& dispatcher, HFONT font, int dpi,
            std::unique_ptr<IDetailsReader> reader = nullptr);
  ~TListTips();
  TListTips(const TListTips&) = delete;
  TListTips& operator=(const TListTips&) = delete;

  // The tooltip control; its one tool is the list box with id kToolId.
  HWND Tip() const { return tip_; }
  static constexpr UINT_PTR kToolId = 1;
  TDetailsProvider& Provider() { return *provider_; }

 private:
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR self);
  void Track(DWORD flags);
  void Hover(POINT point);
  void Hide();
  void Arrived(const std::string& path, const TMediaDetails& details);
  void Show(const TMediaDetails& details);

  TListBox& list_;
  HWND tip_ = nullptr;
  // A rest of the pointer is waited for (TrackMouseEvent's hover).
  bool hoverArmed_ = false;
  // The row and entry whose tip is up (row -1: none), and where the tip stands on the screen.
  int row_ = -1;
  std::string path_;
  POINT at_{};
  // Queued answers find the tips gone through this.
  std::shared_ptr<TListTips*> self_;
  // Last: gone first, so that no answer arrives for a half-destroyed object.
  std::unique_ptr<TDetailsProvider> provider_;
};

}  // namespace mv
