// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/FormControls.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "Unit_main/ListBox.h"
#include "dialogs/AnsiText.h"
#include "utility/SysUtils.h"

namespace mv {
void CentreOnScreen(HWND window, int width, int height, UINT flags) {
  SetWindowPos(window, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2,
               GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, width, height, flags | SWP_NOZORDER);
}

std::string WindowText(HWND control) {
  const int length = GetWindowTextLengthA(control);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

namespace {

// A label is at least as large as its caption needs, so a screen with larger fonts cuts none.
void FitToText(HWND label) {
  const std::string caption = WindowText(label);
  const HDC dc = GetDC(label);
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  const BOOL measured =
      GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  if (!measured) return;
  RECT r{};
  GetWindowRect(label, &r);
  SetWindowPos(label, nullptr, 0, 0, std::max<int>(size.cx, r.right - r.left),
               std::max<int>(size.cy, r.bottom - r.top), SWP_NOMOVE | SWP_NOZORDER);
}

// The z-order of each parent's children is its tab order: the tab stops by their numbers,
// each preceded by the labels whose mnemonic moves to it, then the rest.
void ArrangeTabOrder(const TFormDesc& form, const std::map<std::string, HWND>& windows) {
  std::vector<HWND> order;
  auto add = [&](const std::string& name) {
    const auto it = windows.find(name);
    if (it != windows.end() && std::find(order.begin(), order.end(), it->second) == order.end())
      order.push_back(it->second);
  };
  for (const TControlDesc* stop : form.TabChain()) {
    for (const TControlDesc& label : form.controls)
      if (label.focusControl == stop->name) add(label.name);
    add(stop->name);
  }
  for (const TControlDesc& control : form.controls) add(control.name);
  HWND after = HWND_TOP;
  for (HWND window : order) {
    SetWindowPos(window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = window;
  }
}

struct TWindowKind {
  const char* cls = "STATIC";
  DWORD style = 0;
  DWORD exStyle = 0;
};

TWindowKind KindOf(const TControlDesc& control, const TControlFactory& factory) {
  switch (control.role) {
    case TControlRole::CoolBar:
      return {REBARCLASSNAMEA,
              WS_CLIPCHILDREN | WS_CLIPSIBLINGS | CCS_NODIVIDER | CCS_NORESIZE | RBS_VARHEIGHT |
                  RBS_BANDBORDERS,
              WS_EX_CONTROLPARENT};
    case TControlRole::Panel:
      if (factory.panelClass == nullptr) throw Exception("no panel class for " + control.name);
      return {factory.panelClass, WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
    case TControlRole::Edit:
      return {"EDIT", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case TControlRole::CheckBox:
      return {"BUTTON", BS_AUTOCHECKBOX};
    case TControlRole::Button:
      return {"BUTTON", DWORD(control.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)};
    case TControlRole::ListBox: {
      DWORD style = TListBox::kStyle;
      if (!control.multiSelect) style &= ~DWORD(LBS_EXTENDEDSEL);
      return {"LISTBOX", style};
    }
    case TControlRole::DirectoryListBox:
      // Whole items only: the list box trims its height to a multiple of its rows.
      return {"LISTBOX", WS_VSCROLL | WS_BORDER | LBS_NOTIFY};
    case TControlRole::FileListBox:
      return {"LISTBOX", WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT};
    case TControlRole::DriveComboBox:
      return {"COMBOBOX", WS_VSCROLL | CBS_DROPDOWNLIST};
    case TControlRole::PathLabel:
      return {"STATIC", SS_PATHELLIPSIS | SS_NOPREFIX};
    default:
      // Labels: a mnemonic only where one moves the focus; a click needs SS_NOTIFY.
      return {"STATIC", DWORD(SS_LEFTNOWORDWRAP | (control.focusControl.empty() ? SS_NOPREFIX : 0) |
                              (control.onClick != TCommand::None ? SS_NOTIFY : 0))};
  }
}

}  // namespace

int ScreenDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}

TBounds Scaled(const TBounds& b, int dpi) {
  return {Scaled(b.left, dpi), Scaled(b.top, dpi), Scaled(b.width, dpi), Scaled(b.height, dpi)};
}

COLORREF ColorRef(const TColor& color) {
  switch (color.kind) {
    case TColor::TKind::Rgb:
      return RGB(color.red, color.green, color.blue);
    case TColor::TKind::ButtonFace:
      return GetSysColor(COLOR_BTNFACE);
    case TColor::TKind::GrayText:
      return GetSysColor(COLOR_GRAYTEXT);
    default:
      return GetSysColor(COLOR_WINDOWTEXT);
  }
}

std::map<std::string, HWND> CreateFormControls(const TFormDesc& form, HWND host,
                                               const TControlFactory& factory) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  const int dpi = factory.dpi;
  std::map<std::string, HWND> windows{{form.name, host}};
  for (const TControlDesc& control : form.controls) {
    // The media player has no window of its own: it plays through its device.
    if (control.role == TControlRole::MediaPlayer) continue;
    const auto parent = windows.find(control.parent);
    if (parent == windows.end()) throw Exception("no parent " + control.parent);
    const TWindowKind kind = KindOf(control, factory);
    const DWORD style = kind.style | WS_CHILD | (control.visible ? WS_VISIBLE : 0) |
                        (control.tabOrder >= 0 ? WS_TABSTOP : 0);
    const TBounds r = Scaled(control.bounds, dpi);
    // A drop-down list is made with the height of its open list; closed, it is as high as its
    // font needs.
    const int height = control.role == TControlRole::DriveComboBox ? r.height * 10 : r.height;
    const int id = factory.idFor ? factory.idFor(control) : 0;
    const HWND window =
        CreateWindowExA(kind.exStyle, kind.cls, AnsiText(control.caption).c_str(), style, r.left,
                        r.top, r.width, height, parent->second,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (window == nullptr) throw EOutOfResources(AnsiText("无法创建窗口"));
    windows[control.name] = window;
    if (const HFONT font = factory.fontFor ? factory.fontFor(control) : nullptr)
      SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // After the font, which would reset it.
    if (control.itemHeight > 0) {
      SendMessageA(window, LB_SETITEMHEIGHT, 0, Scaled(control.itemHeight, dpi));
      // Again, so that a list of whole items trims itself to its new rows.
      SetWindowPos(window, nullptr, 0, 0, r.width, r.height, SWP_NOMOVE | SWP_NOZORDER);
    }
    if (control.role == TControlRole::Label) FitToText(window);
    if (control.bandMinHeight > 0) {
      REBARBANDINFOA band{};
      band.cbSize = REBARBANDINFOA_V6_SIZE;
      band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_STYLE;
      band.fStyle = RBBS_CHILDEDGE;
      band.hwndChild = window;
      band.cyMinChild = static_cast<UINT>(Scaled(control.bandMinHeight, dpi));
      band.cx = static_cast<UINT>(Scaled(control.bandWidth, dpi));
      SendMessageA(parent->second, RB_INSERTBANDA, WPARAM(-1), reinterpret_cast<LPARAM>(&band));
    }
  }
  ArrangeTabOrder(form, windows);
  windows.erase(form.name);
  return windows;
}

}  // namespace mv
