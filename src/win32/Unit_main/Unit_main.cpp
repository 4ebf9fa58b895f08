// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Unit_main.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "dialogs/AnsiText.h"
#include "dialogs/ErrorBox.h"
#include "forms/FormControls.h"
#include "utility/ShellOpen.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

constexpr const char* kFormClass = "TForm_main";
constexpr const char* kPanelClass = "TPanel";
// Panel1's lowered outer bevel, kept in the window's extra bytes.
constexpr int kBevelLowered = 1;

}  // namespace

void TForm_main::InitWindowClasses() {
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
  const TFormDesc& form = Form_mainDesc().form;
  // The layout is in pixels of a 96-dpi screen; fonts follow the screen's dots per inch, so the
  // layout grows with them (the position on the screen stays).
  dpi_ = ScreenDpi();
  RECT outer{0, 0, Scaled(form.bounds.width, dpi_), Scaled(form.bounds.height, dpi_)};
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  AdjustWindowRectEx(&outer, style, FALSE, WS_EX_CONTROLPARENT);
  handle_ =
      CreateWindowExA(WS_EX_CONTROLPARENT, kFormClass, AnsiText(form.caption).c_str(), style,
                      form.bounds.left, form.bounds.top, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleA(nullptr), this);
  if (handle_ == nullptr) throw EOutOfResources(AnsiText("无法创建窗口"));
  OpenPage = [](const std::string& page) { ShellOpen(page, ""); };
  font_ = FontFor(form.font);
  CreateControls();
  CreateComponents();
  AlignControls();
  FormCreate();
}

TForm_main::~TForm_main() {
  // Components first, in an order where nothing is left to post into a window that is going:
  // no more ticks, no more watcher events, no sweep, the player's device closed.
  if (timer1_) timer1_->SetOnTimer({});
  timer1_.reset();
  writingMark_.reset();
  program_.reset();
  listTips_.reset();
  listDrag_.reset();
  if (handle_ != nullptr && IsWindow(handle_)) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
  if (Hints != nullptr && IsWindow(Hints)) DestroyWindow(Hints);
  for (HFONT font : fonts_)
    if (font != nullptr) DeleteObject(font);
}

HFONT TForm_main::FontFor(const TFontDesc& desc) {
  if (desc.family.empty() && desc.pixelHeight == 0 && !desc.underline) return font_;
  const TFontDesc& base = Form_mainDesc().form.font;
  LOGFONTW font{};
  font.lfHeight = -Scaled(desc.pixelHeight == 0 ? base.pixelHeight : desc.pixelHeight, dpi_);
  font.lfWeight = FW_NORMAL;
  font.lfUnderline = desc.underline;
  font.lfCharSet = DEFAULT_CHARSET;
  // The face is a name, not text: it is the same in every code page, so it goes in wide.
  const std::string& family = desc.family.empty() ? base.family : desc.family;
  MultiByteToWideChar(CP_UTF8, 0, family.c_str(), -1, font.lfFaceName, LF_FACESIZE - 1);
  fonts_.push_back(CreateFontIndirectW(&font));
  return fonts_.back();
}

void TForm_main::CreateControls() {
  const TMainFormDesc& desc = Form_mainDesc();
  TControlFactory factory;
  factory.dpi = dpi_;
  factory.fontFor = [this](const TControlDesc& control) { return FontFor(control.font); };
  factory.panelClass = kPanelClass;
  const std::map<std::string, HWND> windows = CreateFormControls(desc.form, handle_, factory);
  static constexpr std::pair<const char*, HWND TForm_main::*> kControls[] = {
      {"CoolBar1", &TForm_main::CoolBar1},   {"Panel2", &TForm_main::Panel2},
      {"Label3", &TForm_main::Label3},       {"Label4", &TForm_main::Label4},
      {"Label1", &TForm_main::Label1},       {"Edit1", &TForm_main::Edit1},
      {"Label2", &TForm_main::Label2},       {"Edit2", &TForm_main::Edit2},
      {"CheckBox1", &TForm_main::CheckBox1}, {"BitBtn1", &TForm_main::BitBtn1},
      {"BitBtn2", &TForm_main::BitBtn2},     {"BitBtn5", &TForm_main::BitBtn5},
      {"BitBtn4", &TForm_main::BitBtn4},     {"BitBtn3", &TForm_main::BitBtn3},
      {"Panel1", &TForm_main::Panel1},
  };
  auto named = [&](const char* name) {
    const auto it = windows.find(name);
    return it == windows.end() ? nullptr : it->second;
  };
  for (const auto& [name, control] : kControls) this->*control = named(name);
  listBox1_ = std::make_unique<TListBox>(named("ListBox1"), &dispatcher_);
  // Before the tooltip: the last subclass sees a message first, and the tip must see the press
  // that may start a drag.
  listDrag_ = std::make_unique<TListDrag>(*listBox1_);
  listTips_ = std::make_unique<TListTips>(*listBox1_, dispatcher_, font_, dpi_);

  // The hints: one tooltip per control that has one.
  Hints = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_,
                          nullptr, GetModuleHandleA(nullptr), nullptr);
  for (const TControlDesc& control : desc.form.controls) {
    const auto it = windows.find(control.name);
    if (it == windows.end()) continue;
    look_[it->second] = {control.color, control.cursor, control.onClick, control.onDblClick};
    if (control.role == TControlRole::Panel) {
      // Panels hand their children's notifications to the form.
      SetWindowLongPtrA(it->second, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      if (control.bevelOuter == TBevel::Lowered) SetWindowLongPtrA(it->second, 0, kBevelLowered);
    }
    if (!desc.form.showHint || control.hint.empty()) continue;
    std::string text = AnsiText(control.hint);
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(it->second);
    tool.uId = reinterpret_cast<UINT_PTR>(it->second);
    tool.lpszText = text.data();
    SendMessageA(Hints, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void TForm_main::CreateComponents() {
  const TMainFormDesc& desc = Form_mainDesc();
  saveDialog1_.Filter = desc.SaveDialog1.filter;
  ui_ = std::make_unique<TWin32SaveUi>(handle_, saveDialog1_, dpi_, font_);
  // A close asked for while a copy runs stops the copy after its current file; the window
  // closes once the copy has ended, so no copy is cut off half-written.
  ui_->OnFinished = [this] {
    if (!closeAfterCopy_) return;
    closeAfterCopy_ = false;
    PostMessageA(handle_, WM_CLOSE, 0, 0);
  };
  TProgramControls controls;
  controls.maskText = [this] { return WindowText(Edit1); };
  controls.directoryText = [this] { return WindowText(Edit2); };
  controls.listAllFiles = [this] {
    return SendMessageA(CheckBox1, BM_GETCHECK, 0, 0) == BST_CHECKED;
  };
  program_ = std::make_unique<TProgram>(dispatcher_, *listBox1_, std::move(controls), *ui_);
  writingMark_ = std::make_unique<TWritingMark>(*listBox1_, program_->Downloads());
  // The list's own menu; 播放 is the play command.
  listMenu_ = std::make_unique<TWin32ListMenu>(*listBox1_, [this] { ListBox1DblClick(); });
  program_->Timer1().SetEnabled(false);
  // Watcher events reach the form's handler, as the description wires them.
  program_->FileSystemWatcher1().SetOnChange(
      [this](TFileOperation op, const std::string& name1, const std::string& name2) {
        RunGuarded([&] { FileSystemWatcher1Change(op, name1, name2); });
      });

  timer1_ = std::make_unique<TTimer>();
  timer1_->SetEnabled(desc.Timer1.enabled);
  timer1_->SetInterval(desc.Timer1.interval);
  // Last: the timer ticks from here on, whether or not watching is on.
  timer1_->SetOnTimer([this](TTimer&) { Timer1Timer(); });
}

void TForm_main::AlignControls() {
  // CoolBar1 keeps to the top edge, Panel1 fills the rest, ListBox1 fills Panel1 inside its
  // bevel; the controls inside Panel2 keep their places.
  RECT client{};
  GetClientRect(handle_, &client);
  const int w = client.right;
  const int barHeight = Scaled(Form_mainDesc().form.Control("CoolBar1").bounds.height, dpi_);
  const int below = std::max(0, static_cast<int>(client.bottom) - barHeight);
  MoveWindow(CoolBar1, 0, 0, w, barHeight, TRUE);
  MoveWindow(Panel1, 0, barHeight, w, below, TRUE);
  if (listBox1_)
    MoveWindow(listBox1_->Handle(), 1, 1, std::max(0, w - 2), std::max(0, below - 2), TRUE);
}

bool TForm_main::Command(HWND control, int code) {
  const auto look = look_.find(control);
  if (look == look_.end()) return false;
  // While a copy runs the window takes no input; clicks sent as messages start nothing either.
  if (ui_ && ui_->Busy()) return true;
  if (code == LBN_DBLCLK && look->second.onDblClick == TCommand::PlayCurrent) {
    ListBox1DblClick();
    return true;
  }
  static constexpr std::pair<TCommand, void (TForm_main::*)()> kClicks[] = {
      {TCommand::OpenHomePage, &TForm_main::Label4Click},
      {TCommand::StartOrStopWatching, &TForm_main::BitBtn1Click},
      {TCommand::PlayCurrent, &TForm_main::BitBtn2Click},
      {TCommand::StopPlaying, &TForm_main::BitBtn5Click},
      {TCommand::RenameAll, &TForm_main::BitBtn4Click},
      {TCommand::SaveSelected, &TForm_main::BitBtn3Click},
  };
  // STN_CLICKED and BN_CLICKED share their code.
  for (const auto& [command, handler] : kClicks) {
    if (code == BN_CLICKED && look->second.onClick == command) {
      (this->*handler)();
      return true;
    }
  }
  return false;
}

LRESULT TForm_main::Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // Panels hand on only their children's notifications; the rest is the form's own.
  switch (msg) {
    case WM_COMMAND:
      if (Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
      break;
    case WM_CTLCOLORSTATIC: {
      const HDC dc = reinterpret_cast<HDC>(wParam);
      const HWND control = reinterpret_cast<HWND>(lParam);
      if (control == Edit1 || control == Edit2) break;
      SetBkMode(dc, TRANSPARENT);
      const auto look = look_.find(control);
      SetTextColor(dc, ColorRef(look == look_.end() ? TColor{} : look->second.color));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR: {
      const auto look = look_.find(reinterpret_cast<HWND>(wParam));
      if (look != look_.end() && look->second.cursor == TCursor::HandPoint) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_DRAWITEM:
      if (writingMark_ && writingMark_->DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam)))
        return TRUE;
      break;
    case WM_SIZE:
      AlignControls();
      break;
    case WM_CLOSE:
      if (ui_ && ui_->Busy()) {
        closeAfterCopy_ = true;
        ui_->CancelRunning();
      } else {
        DestroyWindow(hwnd);
      }
      return 0;
    case WM_DESTROY:
      if (QuitOnDestroy) PostQuitMessage(0);
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
  if (msg == WM_PAINT && GetWindowLongPtrA(hwnd, 0) == kBevelLowered) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd, &paint);
    RECT r{};
    GetClientRect(hwnd, &r);
    DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    EndPaint(hwnd, &paint);
    return 0;
  }
  // What the children tell their panel is the form's to handle; a panel's user data is the form.
  if (msg == WM_COMMAND || msg == WM_CTLCOLORSTATIC || msg == WM_SETCURSOR || msg == WM_DRAWITEM)
    return FormProc(hwnd, msg, wParam, lParam);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// --- handlers -----------------------------------------------------------------------------

void TForm_main::FormCreate() { program_->FormCreate(); }

void TForm_main::Label4Click() {
  if (OpenPage) OpenPage(kFreeSoftwarePage);
}

void TForm_main::BitBtn1Click() {
  program_->StartOrStopWatching();
  SetWindowTextA(BitBtn1, AnsiText(program_->WatchCaption()).c_str());
}

void TForm_main::FileSystemWatcher1Change(TFileOperation FileOperation,
                                          const std::string& FileName1,
                                          const std::string& FileName2) {
  program_->Downloads().FileChanged(FileOperation, FileName1, FileName2);
}

void TForm_main::Timer1Timer() { program_->Downloads().Sweep(); }

void TForm_main::BitBtn2Click() { program_->PlayCurrent(); }

void TForm_main::ListBox1DblClick() { program_->PlayCurrent(); }

void TForm_main::BitBtn5Click() { program_->StopPlaying(); }

void TForm_main::BitBtn3Click() { program_->SaveSelected(); }

void TForm_main::BitBtn4Click() { program_->RenameAll(); }

}  // namespace mv
