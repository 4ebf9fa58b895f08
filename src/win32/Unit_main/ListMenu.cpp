// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListMenu.h"

#include <windowsx.h>
// After windows.h: the subclassing helpers.
#include <commctrl.h>

#include <cstring>
#include <set>
#include <utility>

#include "Unit_main/ListBox.h"
#include "Unit_main/ListTips.h"
#include "dialogs/AnsiText.h"
#include "dialogs/ErrorBox.h"
#include "utility/ShellOpen.h"

namespace mv {

namespace {

constexpr UINT_PTR kMenuSubclassId = 0x4C4D;  // one subclass of ours per list box

std::wstring Wide(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
  out.resize(std::wcslen(out.c_str()));
  return out;
}

}  // namespace

TWin32ListMenu::TWin32ListMenu(TListBox& list, std::function<void()> play)
    : list_(list), handle_(list.Handle()), play_(std::move(play)) {
  Track = [this](HMENU menu, POINT at) {
    return static_cast<UINT>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                              at.x, at.y, handle_, nullptr));
  };
  // The shell's execute operation, as every start of another program here.
  Launch = ShellOpen;
  SetWindowSubclass(handle_, ListProc, kMenuSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

TWin32ListMenu::~TWin32ListMenu() {
  if (IsWindow(handle_)) RemoveWindowSubclass(handle_, ListProc, kMenuSubclassId);
}

LRESULT CALLBACK TWin32ListMenu::ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR self) {
  auto* menu = reinterpret_cast<TWin32ListMenu*>(self);
  switch (msg) {
    case WM_CONTEXTMENU:
      RunGuarded([&] { menu->ContextMenu(lParam); });
      return 0;
    case WM_RBUTTONDOWN:
      RunGuarded([&] { menu->RightButtonDown(lParam); });
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, ListProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wParam, lParam);
}

void TWin32ListMenu::RightButtonDown(LPARAM lParam) {
  const int row = ListRowAt(handle_, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  if (row < 0 || list_.Selected(row)) return;
  SendMessageA(handle_, LB_SETSEL, FALSE, -1);
  SendMessageA(handle_, LB_SETSEL, TRUE, row);
  list_.SetItemIndex(row);
}

void TWin32ListMenu::ContextMenu(LPARAM lParam) {
  POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  if (at.x == -1 && at.y == -1) {
    // From the keyboard: at the caret's row, or the list's corner.
    RECT row{};
    const int caret = list_.ItemIndex();
    if (caret < 0 ||
        SendMessageA(handle_, LB_GETITEMRECT, caret, reinterpret_cast<LPARAM>(&row)) == LB_ERR) {
      row = RECT{};
    }
    at = POINT{row.left, row.bottom};
    ClientToScreen(handle_, &at);
  }
  // The menu for the list as it stands; an item's command is its action plus one.
  HMENU menu = CreatePopupMenu();
  for (const TEntryMenuItem& item : EntryMenu(list_)) {
    AppendMenuW(menu, MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED),
                static_cast<UINT_PTR>(item.action) + 1, Wide(item.caption).c_str());
  }
  const UINT chosen = Track ? Track(menu, at) : 0;
  DestroyMenu(menu);
  if (chosen == 0) return;
  RunEntryAction(static_cast<TEntryAction>(chosen - 1), list_, *this);
}

void TWin32ListMenu::PlayCurrent() {
  if (play_) play_();
}

bool TWin32ListMenu::ShowInFileManager(const std::vector<std::string>& paths) {
  std::set<std::string> folders;
  bool started = false;
  for (const std::string& path : paths) {
    if (folders.size() >= static_cast<std::size_t>(kMaxFoldersOpened)) break;
    if (!folders.insert(ShellWorkingDirectory(path)).second) continue;
    // A Windows name holds no double quote, so quoting keeps commas and spaces in it.
    if (Launch("explorer.exe", "/select,\"" + path + "\"")) {
      started = true;
    } else if (!started) {
      return false;
    }
  }
  return started;
}

bool TWin32ListMenu::OpenFolder(const std::string& folder) { return ShellOpen(folder, ""); }

void TWin32ListMenu::SetClipboard(const std::vector<std::string>& paths) {
  const std::string text = JoinLines(paths, "\r\n");
  if (!OpenClipboard(handle_)) return;
  EmptyClipboard();
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    if (void* bytes = GlobalLock(memory)) {
      std::memcpy(bytes, text.c_str(), text.size() + 1);
      GlobalUnlock(memory);
      if (SetClipboardData(CF_TEXT, memory) == nullptr) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

void TWin32ListMenu::ShowNotice(const std::string& text) { ShowInfoMessage(text); }

std::string TWin32ListMenu::OwnText(const char* text) { return AnsiText(text); }

}  // namespace mv
