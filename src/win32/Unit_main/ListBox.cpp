// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListBox.h"

#include <algorithm>
#include <functional>

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

void TListBox::Reserve() {
  // The list box grows its array of entries by a few at a time, each growth a copy of all of
  // it: room asked for ahead, doubling, keeps a long burst of appends linear.
  if (folded_.Size() < storage_) return;
  const std::size_t more = std::max<std::size_t>(folded_.Size(), 256);
  constexpr std::size_t kBytesPerEntry = 128;
  Send(LB_INITSTORAGE, more, static_cast<LPARAM>(more * kBytesPerEntry));
  // Asked once per doubling, whatever the answer: a list box short of memory says so at the
  // next LB_ADDSTRING.
  storage_ = folded_.Size() + more;
}

void TListBox::Reindex() {
  folded_.Clear();
  for (int i = 0, count = Count(); i < count; ++i) folded_.Append(Get(i));
}

int TListBox::Add(const std::string& text) {
  DeferRedraw();
  Reserve();
  const LRESULT index = Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index < 0) throw EOutOfResources(text::kCannotInsertLine);
  if (static_cast<std::size_t>(index) != folded_.Size()) {
    Reindex();
    return static_cast<int>(index);
  }
  // The list box keeps its texts in UTF-16 through the ANSI code page, where bytes from 0x80 up
  // that form no character there (a lone lead byte in a double-byte code page) do not come
  // back as given: the duplicate test then knows the entry by the text the list box keeps.
  const bool mayChange =
      std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
  if (mayChange) {
    folded_.Append(Get(static_cast<int>(index)));
  } else {
    folded_.Append(text);
  }
  return static_cast<int>(index);
}

void TListBox::Delete(int index) {
  if (Send(LB_DELETESTRING, static_cast<WPARAM>(index)) == LB_ERR) return;
  folded_.Erase(static_cast<std::size_t>(index), static_cast<std::size_t>(index) + 1);
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
  const bool redraw = order.size() >= 2 && !redrawDeferred_;
  if (redraw) Send(WM_SETREDRAW, FALSE);
  // The index drops its hashes in one pass, not one shift of all behind per entry.
  std::vector<bool> keep(static_cast<std::size_t>(count), true);
  for (int index : order) {
    if (Send(LB_DELETESTRING, static_cast<WPARAM>(index)) != LB_ERR)
      keep[static_cast<std::size_t>(index)] = false;
  }
  if (folded_.Size() == keep.size()) {
    folded_.KeepWhere(keep);
  } else {
    Reindex();
  }
  if (redraw) {
    Send(WM_SETREDRAW, TRUE);
    InvalidateRect(handle_, nullptr, TRUE);
  }
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

int TListBox::IndexOfNoCase(std::string_view text) const {
  return folded_.FindLast(text, [this](std::size_t i) { return Get(static_cast<int>(i)); });
}

}  // namespace mv
