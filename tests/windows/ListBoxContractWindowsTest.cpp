// SPDX-License-Identifier: GPL-3.0-or-later
// ListBox1 on Windows keeps the rules every list store keeps (tests/core/utility/
// ListStoreContract.h): a system list box of the window's style, through its LB_ messages. Run
// twice: as a lone list, and with the window's dispatcher, whose end-of-turn task never runs
// here, so that redrawing stays off as in the middle of a burst of watcher events.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "Unit_main/ListBox.h"
#include "Unit_main/Win32Dispatcher.h"
#include "utility/ListStoreContract.h"

namespace mv::test {
namespace {

// One hidden parent for every list; each list box window goes with its TListBox.
HWND Parent() {
  static const HWND parent =
      CreateWindowExA(0, "STATIC", "lists", WS_OVERLAPPEDWINDOW, 0, 0, 700, 480, nullptr, nullptr,
                      GetModuleHandleA(nullptr), nullptr);
  return parent;
}

struct TListWindowCloser {
  void operator()(TListBox* list) const {
    const HWND handle = list->Handle();
    delete list;
    DestroyWindow(handle);
  }
};

template <bool kWithDispatcher>
struct TWin32ListBoxTraits {
  using TStore = TListBox;
  static std::unique_ptr<TStore, TListWindowCloser> Make() {
    static TWin32Dispatcher dispatcher;
    const HWND handle = CreateWindowExA(0, "LISTBOX", "", TListBox::kStyle, 1, 1, 686, 305,
                                        Parent(), nullptr, GetModuleHandleA(nullptr), nullptr);
    if (handle == nullptr) throw EOutOfResources("CreateWindowEx LISTBOX");
    SendMessageA(handle, LB_SETITEMHEIGHT, 0, 16);
    return std::unique_ptr<TStore, TListWindowCloser>(
        new TListBox(handle, kWithDispatcher ? &dispatcher : nullptr));
  }
  // A selection that leaves the caret where it is (LB_SETSEL would move it there).
  static void Select(TStore& store, int index) {
    SendMessageA(store.Handle(), LB_SELITEMRANGE, TRUE, MAKELPARAM(index, index));
  }
  static constexpr bool kCaretAlwaysOnAnEntry = true;
};

}  // namespace

using TLoneList = TWin32ListBoxTraits<false>;
using TWindowList = TWin32ListBoxTraits<true>;
INSTANTIATE_TYPED_TEST_SUITE_P(Win32ListBox, ListStoreContract, TLoneList);
INSTANTIATE_TYPED_TEST_SUITE_P(Win32ListBoxInBurst, ListStoreContract, TWindowList);

}  // namespace mv::test
