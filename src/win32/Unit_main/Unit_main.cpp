// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Unit_main.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "commands/DownloadList.h"
#include "commands/PlayCommands.h"
#include "commands/SaveCommands.h"
#include "commands/WatchControl.h"
#include "dialogs/AnsiText.h"
#include "dialogs/ErrorBox.h"
#include "dialogs/MessageBox.h"
#include "media/MPlayer.h"
#include "utility/ShellOpen.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

// The stored description's values, at 96 dots per inch.
constexpr int kLeft = 192;
constexpr int kTop = 114;
constexpr int kClientWidth = 688;
constexpr int kClientHeight = 446;
constexpr int kCoolBarHeight = 139;
constexpr COLORREF kPurple = RGB(0x80, 0x00, 0x80);
constexpr COLORREF kBlue = RGB(0x00, 0x00, 0xFF);
constexpr const char* kFormClass = "TForm_main";
constexpr const char* kPanelClass = "TPanel";
// Panel1's lowered outer bevel, kept in the window's extra bytes.
constexpr int kBevelLowered = 1;

HFONT SongFont(int pixels, bool underline) {
  LOGFONTW font{};
  font.lfHeight = -pixels;
  font.lfWeight = FW_NORMAL;
  font.lfUnderline = underline;
  font.lfCharSet = DEFAULT_CHARSET;
  // The face is a name, not text: it is the same in every code page.
  lstrcpynW(font.lfFaceName, L"\u5B8B\u4F53", LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

std::string WindowText(HWND control) {
  const int length = GetWindowTextLengthA(control);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

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
  const int height = r.bottom - r.top;
  SetWindowPos(label, nullptr, 0, 0, std::max<int>(size.cx, r.right - r.left),
               std::max<int>(size.cy, height), SWP_NOMOVE | SWP_NOZORDER);
}

}  // namespace

void InitWindowClasses() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_COOL_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA form{};
    form.lpfnWndProc = TForm_main::FormProc;
    form.hInstance = GetModuleHandleA(nullptr);
    form.hCursor = LoadCursor(nullptr, IDC_ARROW);
    form.hIcon = LoadIcon(GetModuleHandleA(nullptr), MAKEINTRESOURCE(1));
    if (form.hIcon == nullptr) form.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    RegisterClassA(&form);
    WNDCLASSA panel = form;
    panel.lpfnWndProc = TForm_main::PanelProc;
    panel.hIcon = nullptr;
    panel.cbWndExtra = sizeof(LONG_PTR);
    panel.lpszClassName = kPanelClass;
    RegisterClassA(&panel);
    return true;
  }();
  (void)done;
}

TForm_main::TForm_main() {
  InitWindowClasses();
  RECT outer{0, 0, kClientWidth, kClientHeight};
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  AdjustWindowRectEx(&outer, style, FALSE, WS_EX_CONTROLPARENT);
  handle_ = CreateWindowExA(WS_EX_CONTROLPARENT, kFormClass, "Melvigil", style, kLeft, kTop,
                            outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                            GetModuleHandleA(nullptr), this);
  if (handle_ == nullptr) throw EOutOfResources(AnsiText("无法创建窗口"));
  OpenPage = [](const std::string& page) { ShellOpen(page, ""); };
  font_ = SongFont(16, false);
  label3Font_ = SongFont(19, false);
  label4Font_ = SongFont(16, true);
  CreateControls();
  CreateComponents();
  AlignControls();
  FormCreate();
}

TForm_main::~TForm_main() {
  // Components first, in an order where nothing is left to post into a window that is going:
  // no more ticks, no more watcher events, no sweep, the player's device closed.
  if (timer1_) timer1_->SetOnTimer({});
  fileSystemWatcher1_.reset();
  downloads_.reset();
  mediaPlayer1_.reset();
  if (handle_ != nullptr && IsWindow(handle_)) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
  if (Hints != nullptr && IsWindow(Hints)) DestroyWindow(Hints);
  for (HFONT font : {font_, label3Font_, label4Font_})
    if (font != nullptr) DeleteObject(font);
}

void TForm_main::CreateControls() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  auto make = [&](DWORD exStyle, const char* cls, const char* text, DWORD style, HWND parent, int x,
                  int y, int w, int h, HFONT font) {
    const HWND control =
        CreateWindowExA(exStyle, cls, AnsiText(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y,
                        w, h, parent, nullptr, instance, nullptr);
    if (control == nullptr) throw EOutOfResources(AnsiText("无法创建窗口"));
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return control;
  };

  CoolBar1 =
      CreateWindowExA(WS_EX_CONTROLPARENT, REBARCLASSNAMEA, "",
                      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | CCS_NODIVIDER |
                          CCS_NORESIZE | RBS_VARHEIGHT | RBS_BANDBORDERS,
                      0, 0, kClientWidth, kCoolBarHeight, handle_, nullptr, instance, nullptr);
  if (CoolBar1 == nullptr) throw EOutOfResources(AnsiText("无法创建窗口"));
  Panel2 = make(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CLIPSIBLINGS, CoolBar1, -9, -3, 671, 134,
                font_);

  // Labels first: they take no focus, and the controls after them follow their tab numbers.
  const DWORD label = SS_NOPREFIX | SS_LEFTNOWORDWRAP;
  Label3 = make(0, "STATIC", "做软件，找Orvel！", label, Panel2, 22, 9, 152, 19, label3Font_);
  Label4 = make(0, "STATIC", "下载更多的免费软件", label | SS_NOTIFY, Panel2, 413, 8, 144, 16,
                label4Font_);
  Label1 = make(0, "STATIC", "监视音乐", label, Panel2, 9, 51, 64, 16, font_);
  Label2 = make(0, "STATIC", "监视磁盘", label, Panel2, 271, 51, 64, 16, font_);
  // Labels size themselves to their caption, so that a substituted font never cuts it.
  for (HWND l : {Label3, Label4, Label1, Label2}) FitToText(l);
  const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
  BitBtn2 = make(0, "BUTTON", "播放音乐", button, Panel2, 200, 83, 87, 38, font_);
  BitBtn3 = make(0, "BUTTON", "另存为", button, Panel2, 555, 83, 87, 38, font_);
  BitBtn1 = make(0, "BUTTON", kCaptionStartWatching, button, Panel2, 82, 83, 87, 38, font_);
  Edit1 = make(WS_EX_CLIENTEDGE, "EDIT", "*.wav;*.mp3;*.wma", WS_TABSTOP | ES_AUTOHSCROLL, Panel2,
               94, 47, 159, 24, font_);
  Edit2 = make(WS_EX_CLIENTEDGE, "EDIT", "c:\\", WS_TABSTOP | ES_AUTOHSCROLL, Panel2, 345, 47, 108,
               24, font_);
  CheckBox1 = make(0, "BUTTON", "监视所有创建文件", WS_TABSTOP | BS_AUTOCHECKBOX, Panel2, 473, 46,
                   173, 32, font_);
  // Tab 6 is the media player, which has no window here.
  BitBtn4 = make(0, "BUTTON", "自动更名", button, Panel2, 436, 83, 87, 38, font_);
  BitBtn5 = make(0, "BUTTON", "停止播放", button, Panel2, 318, 83, 87, 38, font_);

  REBARBANDINFOA band{};
  band.cbSize = REBARBANDINFOA_V6_SIZE;
  band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_STYLE;
  band.fStyle = RBBS_CHILDEDGE;
  band.hwndChild = Panel2;
  band.cxMinChild = 0;
  band.cyMinChild = 134;
  band.cx = 684;
  SendMessageA(CoolBar1, RB_INSERTBANDA, WPARAM(-1), reinterpret_cast<LPARAM>(&band));

  Panel1 = make(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CLIPSIBLINGS, handle_, 0, kCoolBarHeight,
                kClientWidth, kClientHeight - kCoolBarHeight, font_);
  SetWindowLongPtrA(Panel1, 0, kBevelLowered);
  const HWND list = make(0, "LISTBOX", "", TListBox::kStyle, Panel1, 1, 1, kClientWidth - 2,
                         kClientHeight - kCoolBarHeight - 2, font_);
  SendMessageA(list, LB_SETITEMHEIGHT, 0, 16);
  listBox1_ = std::make_unique<TListBox>(list);

  // The hints: one tooltip per button.
  Hints = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_,
                          nullptr, instance, nullptr);
  const std::pair<HWND, const char*> hints[] = {
      {BitBtn1, "开始监视是否有音乐下载"},
      {BitBtn2, "播放你选择的音乐"},
      {BitBtn5, "停止播放"},
      {BitBtn4, "如果音乐扩展名被隐藏，可以改回来"},
      {BitBtn3, "把音乐另存为"},
  };
  for (const auto& [control, hint] : hints) {
    std::string text = AnsiText(hint);
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Panel2;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text.data();
    SendMessageA(Hints, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void TForm_main::CreateComponents() {
  fileSystemWatcher1_ = std::make_unique<TFileSystemWatcher>(dispatcher_);
  fileSystemWatcher1_->SetActived(false);
  fileSystemWatcher1_->SetWatchedDir(DefaultWatchedDir());
  fileSystemWatcher1_->SetWatchSubTree(true);
  fileSystemWatcher1_->SetNotifyFilters({TNotifyFilter::nfFileNameChange});

  timer1_ = std::make_unique<TTimer>();
  saveDialog1_.Filter = "音乐|*.*";
  mediaPlayer1_ = std::make_unique<TMediaPlayer>(dispatcher_);
  saveUi_ = std::make_unique<TWin32SaveUi>(handle_, saveDialog1_);
  downloads_ = std::make_unique<TDownloadList>(
      *listBox1_, dispatcher_, [this] { return MaskText(); },
      [this] { return SendMessageA(CheckBox1, BM_GETCHECK, 0, 0) == BST_CHECKED; });

  fileSystemWatcher1_->SetOnChange(
      [this](TFileOperation op, const std::string& name1, const std::string& name2) {
        FileSystemWatcher1Change(op, name1, name2);
      });
  fileSystemWatcher1_->SetOnNotice([](const std::string& text) { ShowInfoMessage(text); });
  // Last: the timer ticks from here on, whether or not watching is on.
  timer1_->SetOnTimer([this](TTimer&) { Timer1Timer(); });
}

void TForm_main::AlignControls() {
  // CoolBar1 keeps to the top edge, Panel1 fills the rest, ListBox1 fills Panel1 inside its
  // bevel; the controls inside Panel2 keep their places.
  RECT client{};
  GetClientRect(handle_, &client);
  const int w = client.right;
  const int below = std::max(0, static_cast<int>(client.bottom) - kCoolBarHeight);
  MoveWindow(CoolBar1, 0, 0, w, kCoolBarHeight, TRUE);
  MoveWindow(Panel1, 0, kCoolBarHeight, w, below, TRUE);
  if (listBox1_)
    MoveWindow(listBox1_->Handle(), 1, 1, std::max(0, w - 2), std::max(0, below - 2), TRUE);
}

std::string TForm_main::MaskText() const { return WindowText(Edit1); }

std::string TForm_main::DirectoryText() const { return WindowText(Edit2); }

bool TForm_main::Command(HWND control, int code) {
  if (control == nullptr) return false;
  if (code == BN_CLICKED) {
    if (control == BitBtn1)
      BitBtn1Click();
    else if (control == BitBtn2)
      BitBtn2Click();
    else if (control == BitBtn5)
      BitBtn5Click();
    else if (control == BitBtn4)
      BitBtn4Click();
    else if (control == BitBtn3)
      BitBtn3Click();
    else if (control == Label4)
      Label4Click();  // STN_CLICKED has the same code
    else
      return false;
    return true;
  }
  if (code == LBN_DBLCLK && listBox1_ && control == listBox1_->Handle()) {
    ListBox1DblClick();
    return true;
  }
  return false;
}

LRESULT TForm_main::Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      if (Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
      break;
    case WM_CTLCOLORSTATIC: {
      const HDC dc = reinterpret_cast<HDC>(wParam);
      const HWND control = reinterpret_cast<HWND>(lParam);
      if (control == Edit1 || control == Edit2) break;
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, control == Label3   ? kPurple
                       : control == Label4 ? kBlue
                                           : GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == Label4) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_SIZE:
      if (hwnd == handle_) AlignControls();
      break;
    case WM_CLOSE:
      if (hwnd == handle_) {
        DestroyWindow(hwnd);
        return 0;
      }
      break;
    case WM_DESTROY:
      if (hwnd == handle_ && QuitOnDestroy) PostQuitMessage(0);
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK TForm_main::FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    if (auto* self = static_cast<TForm_main*>(create->lpCreateParams)) self->handle_ = hwnd;
  }
  auto* self = reinterpret_cast<TForm_main*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->Panel1 == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  bool handled = false;
  RunGuarded([&] {
    result = self->Handle(hwnd, msg, wParam, lParam);
    handled = true;
  });
  // After an error the message is the system's to finish.
  return handled ? result : DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK TForm_main::PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TForm_main*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  LRESULT result = 0;
  bool handled = false;
  RunGuarded([&] {
    if (msg == WM_PAINT && GetWindowLongPtrA(hwnd, 0) == kBevelLowered) {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(hwnd, &paint);
      RECT r{};
      GetClientRect(hwnd, &r);
      DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
      EndPaint(hwnd, &paint);
      result = 0;
    } else if (self != nullptr &&
               (msg == WM_COMMAND || msg == WM_CTLCOLORSTATIC || msg == WM_SETCURSOR)) {
      result = self->Handle(hwnd, msg, wParam, lParam);
    } else {
      result = DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    handled = true;
  });
  return handled ? result : DefWindowProcA(hwnd, msg, wParam, lParam);
}

// --- handlers -----------------------------------------------------------------------------

void TForm_main::FormCreate() { listBox1_->SetItemIndex(-1); }

void TForm_main::Label4Click() {
  if (OpenPage) OpenPage(kFreeSoftwarePage);
}

void TForm_main::BitBtn1Click() {
  std::string caption;
  mv::StartOrStopWatching(*fileSystemWatcher1_, DirectoryText(), caption);
  SetWindowTextA(BitBtn1, AnsiText(caption).c_str());
}

void TForm_main::FileSystemWatcher1Change(TFileOperation FileOperation,
                                          const std::string& FileName1,
                                          const std::string& FileName2) {
  downloads_->FileChanged(FileOperation, FileName1, FileName2);
}

void TForm_main::Timer1Timer() { downloads_->Sweep(); }

void TForm_main::BitBtn2Click() { mv::PlayCurrent(*listBox1_, *mediaPlayer1_); }

void TForm_main::ListBox1DblClick() { mv::PlayCurrent(*listBox1_, *mediaPlayer1_); }

void TForm_main::BitBtn5Click() { mv::StopPlaying(*mediaPlayer1_); }

void TForm_main::BitBtn3Click() { mv::SaveSelected(*listBox1_, MaskText(), *saveUi_); }

void TForm_main::BitBtn4Click() {
  mv::RenameAll(*listBox1_, [this] { return MaskText(); });
}

}  // namespace mv
