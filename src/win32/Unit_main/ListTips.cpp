// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListTips.h"

#include <commctrl.h>

#include "dialogs/AnsiText.h"
#include "dialogs/ErrorBox.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

constexpr UINT_PTR kTipsSubclassId = 0x7469;  // 'ti'
// The tip wraps its lines no wider than this (96-dpi pixels); without a width it would not
// break at '\n' at all.
constexpr int kMaxTipWidth = 480;

TOOLINFOA Tool(HWND list) {
  TOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = list;
  tool.uId = TListTips::kToolId;
  return tool;
}

}  // namespace

TListTips::TListTips(TListBox& list, IMainThreadDispatcher& dispatcher, HFONT font, int dpi,
                     std::unique_ptr<IDetailsReader> reader)
    : list_(list),
      self_(std::make_shared<TListTips*>(this)),
      provider_(std::make_unique<TDetailsProvider>(dispatcher, std::move(reader))) {
  const HWND owner = GetAncestor(list_.Handle(), GA_ROOT);
  tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                         WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleA(nullptr),
                         nullptr);
  if (tip_ == nullptr) throw EOutOfResources(AnsiText("无法创建窗口"));
  // Placed and shown by us: the tip follows rows, not the list box as a whole.
  TOOLINFOA tool = Tool(list_.Handle());
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  char empty[] = "";
  tool.lpszText = empty;
  SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tip_, TTM_SETMAXTIPWIDTH, 0, MulDiv(kMaxTipWidth, dpi, 96));
  if (font != nullptr) SendMessageA(tip_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SetWindowSubclass(list_.Handle(), ListProc, kTipsSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

TListTips::~TListTips() {
  if (IsWindow(list_.Handle())) RemoveWindowSubclass(list_.Handle(), ListProc, kTipsSubclassId);
  if (IsWindow(tip_)) DestroyWindow(tip_);
}

int ListRowAt(HWND list, POINT point) {
  RECT client{};
  GetClientRect(list, &client);
  if (!PtInRect(&client, point)) return -1;
  const LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
  if (height <= 0 || height == LB_ERR) return -1;
  const LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
  const LRESULT row = top + point.y / height;
  return row < SendMessageA(list, LB_GETCOUNT, 0, 0) ? static_cast<int>(row) : -1;
}

void TListTips::Track(DWORD flags) {
  TRACKMOUSEEVENT track{sizeof track, flags, list_.Handle(), HOVER_DEFAULT};
  if (TrackMouseEvent(&track) && (flags & TME_HOVER) != 0) hoverArmed_ = true;
}

void TListTips::Hover(POINT point) {
  const int row = ListRowAt(list_.Handle(), point);
  if (row < 0) return Hide();
  if (row == row_) return;
  row_ = row;
  path_ = list_.Get(row);
  // Below the row, where the tip hides neither the row nor the pointer.
  RECT rect{};
  SendMessageA(list_.Handle(), LB_GETITEMRECT, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(&rect));
  at_ = {point.x, rect.bottom + 2};
  ClientToScreen(list_.Handle(), &at_);
  std::weak_ptr<TListTips*> weak = self_;
  Show(provider_->Request(path_, [weak, path = path_](const TMediaDetails& details) {
    if (const auto self = weak.lock()) (*self)->Arrived(path, details);
  }));
}

void TListTips::Hide() {
  if (row_ < 0) return;
  row_ = -1;
  path_.clear();
  TOOLINFOA tool = Tool(list_.Handle());
  SendMessageA(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

void TListTips::Arrived(const std::string& path, const TMediaDetails& details) {
  // Rows move when entries above them go: the row must still hold the entry asked about.
  if (row_ < 0 || path != path_ || row_ >= list_.Count() || list_.Get(row_) != path) return;
  Show(details);
}

void TListTips::Show(const TMediaDetails& details) {
  std::string text = AnsiText(DetailsText(details));
  TOOLINFOA tool = Tool(list_.Handle());
  tool.lpszText = text.data();
  SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(at_.x, at_.y));
  SendMessageA(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  // A longer text needs a larger tip.
  SendMessageA(tip_, TTM_UPDATE, 0, 0);
}

LRESULT CALLBACK TListTips::ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data) {
  auto* self = reinterpret_cast<TListTips*>(data);
  RunGuarded([&] {
    const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (msg) {
      case WM_MOUSEMOVE:
        // The pointer left the row: the tip goes, and resting again shows the new row's.
        if (self->row_ >= 0 && ListRowAt(hwnd, point) != self->row_) self->Hide();
        if (self->row_ < 0 && !self->hoverArmed_) self->Track(TME_HOVER | TME_LEAVE);
        break;
      case WM_MOUSEHOVER:
        self->hoverArmed_ = false;
        self->Hover(point);
        // Leaving still has to hide the tip.
        self->Track(TME_LEAVE);
        break;
      case WM_MOUSELEAVE:
        self->hoverArmed_ = false;
        self->Hide();
        break;
      // What moves rows under the pointer or starts an action takes the tip away.
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_MOUSEWHEEL:
      case WM_VSCROLL:
      case WM_KEYDOWN:
      case WM_KILLFOCUS:
        self->Hide();
        break;
      case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, ListProc, id);
        break;
      default:
        break;
    }
  });
  return DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace mv
