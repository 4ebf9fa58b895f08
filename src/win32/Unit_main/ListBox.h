// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1: the window's list of downloaded files, a system list box (multi-select with
// extended selection, unsorted, rows 16 pixels high) that keeps the entries itself. This is the
// commands' TListBoxStrings over the list box's own messages. Entries change only through this
// object, which keeps a hash of each entry's folded text beside them for the duplicate test (the
// texts themselves stay in the list box alone).

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "utility/Dispatcher.h"
#include "utility/FoldedIndex.h"
#include "utility/ListItems.h"

namespace mv {

class TListBox final : public TListBoxStrings {
 public:
  // The list box styles of ListBox1. Owner-drawn (with its strings kept) so that rows of files
  // still being written can be drawn greyed.
  static constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY |
                                  LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS |
                                  LBS_OWNERDRAWFIXED;

  // dispatcher (may be null): from the second append of one turn of the dispatcher on (a batch
  // of watcher events), the list box's redrawing is off until a task posted there switches it
  // on again, so that a burst repaints and updates the scroll bar once instead of per entry.
  explicit TListBox(HWND listBox, IMainThreadDispatcher* dispatcher = nullptr);

  HWND Handle() const { return handle_; }

  int Count() const override;
  std::string Get(int index) const override;
  int Add(const std::string& text) override;
  void Delete(int index) override;
  // Any order; repeats and indices outside the list are ignored. With redrawing off around
  // the batch, so that the list box repaints once.
  void DeleteMany(const std::vector<int>& indices) override;
  int ItemIndex() const override;
  void SetItemIndex(int index) override;
  int SelCount() const override;
  bool Selected(int index) const override;
  int IndexOfNoCase(std::string_view text) const override;

 private:
  LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return SendMessageA(handle_, msg, wParam, lParam);
  }
  void DeferRedraw();
  void Reserve();
  void Reindex();

  HWND handle_;
  IMainThreadDispatcher* dispatcher_;
  // Appends since the end-of-turn task was queued; redrawing is off while redrawDeferred_.
  int appendsThisTurn_ = 0;
  bool redrawDeferred_ = false;
  // Queued tasks find the list gone through this.
  std::shared_ptr<TListBox*> self_;
  // One hash per entry, in the list box's order.
  TFoldedIndex folded_;
  // Entries the list box has been asked to make room for (LB_INITSTORAGE).
  std::size_t storage_ = 0;
};

}  // namespace mv
