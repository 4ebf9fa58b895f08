// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListBox.h"

#include <algorithm>
#include <functional>

#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

TListBox::TListBox(HWND listBox, IMainThreadDispatcher* dispatcher)
    : handle_(listBox), dispatcher_(dispatcher), self_(std::make_shared<TListBox*>(this)) {}

void TListBox::DeferRedraw() {
  if (dispatcher_ == nullptr) return;
  // The first append of a turn is drawn as the list box draws it (a row and the scroll bar);
  // from the second on, drawing waits for the end of the turn and happens once.
  if (appendsThisTurn_++ == 0) {
    std::weak_ptr<TListBox*> weak = self_;
    dispatcher_->Post([weak] {
      const auto self = weak.lock();
      if (!self) return;
      TListBox& list = **self;
      list.appendsThisTurn_ = 0;
      if (!list.redrawDeferred_) return;
      list.redrawDeferred_ = false;
      list.Send(WM_SETREDRAW, TRUE);
      InvalidateRect(list.handle_, nullptr, TRUE);
    });
  } else if (!redrawDeferred_) {
    redrawDeferred_ = true;
    Send(WM_SETREDRAW, FALSE);
  }
}

int TListBox::Count() const { return static_cast<int>(Send(LB_GETCOUNT)); }

std::string TListBox::Get(int index) const {
  const LRESULT length = Send(LB_GETTEXTLEN, static_cast<WPARAM>(index));
  if (length == LB_ERR) throw EStringListError(FormatD(text::kListIndexError, index));
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT got =
      Send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return text;
}

int TListBox::Add(const std::string& text) {
  DeferRedraw();
  const LRESULT index = Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index < 0) throw EOutOfResources(text::kCannotInsertLine);
  // The list box keeps its texts in UTF-16 through the ANSI code page, where bytes from 0x80 up
  // that form no character there (a lone lead byte in a double-byte code page) do not come
  // back as given: the duplicate test then knows the entry by the text the list box keeps.
  const bool mayChange =
      std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
  ++folded_[AsciiLower(mayChange ? Get(static_cast<int>(index)) : text)];
  return static_cast<int>(index);
}

void TListBox::Forget(const std::string& text) {
  auto it = folded_.find(AsciiLower(text));
  if (it != folded_.end() && --it->second <= 0) folded_.erase(it);
}

void TListBox::Delete(int index) {
  const LRESULT length = Send(LB_GETTEXTLEN, static_cast<WPARAM>(index));
  if (length != LB_ERR) Forget(Get(index));
  Send(LB_DELETESTRING, static_cast<WPARAM>(index));
}

void TListBox::DeleteMany(const std::vector<int>& indices) {
  // From the highest index down, each once, so that no deletion moves an entry still to go,
  // whatever order and repeats the caller gives.
  const int count = Count();
  std::vector<int> order;
  order.reserve(indices.size());
  for (int index : indices) {
    if (index >= 0 && index < count) order.push_back(index);
  }
  std::sort(order.begin(), order.end(), std::greater<>());
  order.erase(std::unique(order.begin(), order.end()), order.end());
  if (order.size() < 2 || redrawDeferred_) {
    for (int index : order) Delete(index);
    return;
  }
  Send(WM_SETREDRAW, FALSE);
  for (int index : order) Delete(index);
  Send(WM_SETREDRAW, TRUE);
  InvalidateRect(handle_, nullptr, TRUE);
}

int TListBox::ItemIndex() const { return static_cast<int>(Send(LB_GETCARETINDEX)); }

void TListBox::SetItemIndex(int index) {
  if (ItemIndex() != index) Send(LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
}

int TListBox::SelCount() const { return static_cast<int>(Send(LB_GETSELCOUNT)); }

bool TListBox::Selected(int index) const {
  const LRESULT selected = Send(LB_GETSEL, static_cast<WPARAM>(index));
  if (selected == LB_ERR) throw EListError(FormatD(text::kListIndexError, index));
  return selected != 0;
}

bool TListBox::ContainsNoCase(std::string_view text) const {
  return folded_.find(AsciiLower(text)) != folded_.end();
}

}  // namespace mv
