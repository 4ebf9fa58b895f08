// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/SaveUi.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <thread>

#include "dialogs/AnsiText.h"
#include "dialogs/SelectDirDlg.h"
#include "forms/FormControls.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

constexpr const char* kProgressClass = "TProgressForm";
constexpr int idProgressText = 101;
constexpr int idProgressBar = 102;
// How often the display reads the worker's progress (ms).
constexpr DWORD kUpdateMs = 100;

// The cancel button, Esc and the close box all ask the copy to stop; the window itself goes
// when the copy has ended.
// Nothing here throws (a cancel is one atomic store), so no guard is needed.
LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* progress = reinterpret_cast<TDirectProgress*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (progress != nullptr &&
      ((msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || msg == WM_CLOSE)) {
    progress->Cancel();
    EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Files done of all in words and on a bar, and a cancel button, over the main window.
class TProgressWindow {
 public:
  TProgressWindow(HWND owner, int dpi, HFONT font, TDirectProgress& progress, int total)
      : progress_(progress), total_(total) {
    static const bool registered = [] {
      WNDCLASSA c{};
      c.lpfnWndProc = ProgressProc;
      c.hInstance = GetModuleHandleA(nullptr);
      c.hCursor = LoadCursor(nullptr, IDC_ARROW);
      c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      c.lpszClassName = kProgressClass;
      return RegisterClassA(&c) != 0;
    }();
    if (!registered) return;
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT outer{0, 0, Scaled(360, dpi), Scaled(112, dpi)};
    AdjustWindowRectEx(&outer, style, FALSE, WS_EX_DLGMODALFRAME);
    const int w = outer.right - outer.left;
    const int h = outer.bottom - outer.top;
    RECT over{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner != nullptr) GetWindowRect(owner, &over);
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    window_ = CreateWindowExA(
        WS_EX_DLGMODALFRAME, kProgressClass, AnsiText(kProgressCaption).c_str(), style,
        over.left + (over.right - over.left - w) / 2, over.top + (over.bottom - over.top - h) / 2,
        w, h, owner, nullptr, instance, nullptr);
    if (window_ == nullptr) return;
    auto make = [&](const char* cls, const char* text, DWORD controlStyle, int id, TBounds r) {
      r = Scaled(r, dpi);
      const HWND control =
          CreateWindowExA(0, cls, AnsiText(text).c_str(), WS_CHILD | WS_VISIBLE | controlStyle,
                          r.left, r.top, r.width, r.height, window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
      if (control != nullptr && font != nullptr)
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      return control;
    };
    text_ = make("STATIC", "", SS_NOPREFIX | SS_LEFTNOWORDWRAP, idProgressText, {12, 12, 336, 20});
    bar_ = make(PROGRESS_CLASSA, "", 0, idProgressBar, {12, 40, 336, 20});
    make("BUTTON", kProgressCancel, WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL, {272, 76, 76, 26});
    Update();
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&progress_));
    ShowWindow(window_, SW_SHOW);
  }
  ~TProgressWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  TProgressWindow(const TProgressWindow&) = delete;
  TProgressWindow& operator=(const TProgressWindow&) = delete;

  HWND Handle() const { return window_; }

  void Update() {
    if (window_ == nullptr) return;
    const TProgressShown shown = ProgressShown(progress_, total_);
    SetText(shown.text);
    if (shown.range == 0) return;
    SendMessageA(bar_, PBM_SETRANGE32, 0, shown.range);
    SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(shown.position), 0);
  }

 private:
  void SetText(const std::string& utf8) {
    const std::string text = AnsiText(utf8);
    if (text != shown_) SetWindowTextA(text_, text.c_str());
    shown_ = text;
  }

  TDirectProgress& progress_;
  int total_;
  HWND window_ = nullptr;
  HWND text_ = nullptr;
  HWND bar_ = nullptr;
  std::string shown_;
};

}  // namespace

TWin32SaveUi::TWin32SaveUi(HWND owner, TSaveDialog& saveDialog, int dpi, HFONT font)
    : owner_(owner), saveDialog_(saveDialog), dpi_(dpi), font_(font) {}

bool TWin32SaveUi::ExecuteSaveDialog(std::string& fileName) {
  saveDialog_.FileName = fileName;
  if (!saveDialog_.Execute(owner_)) return false;
  fileName = saveDialog_.FileName;
  return true;
}

bool TWin32SaveUi::ChooseDirectory(std::string& dir) {
  return mv::ChooseDirectory(false, dir, owner_);
}

void TWin32SaveUi::RunWithProgress(int total, const std::function<void(TProgress&)>& work) {
  auto progress = std::make_shared<TDirectProgress>();
  // Set by the worker when it has finished: the window thread waits on it and on its messages
  // at once, so no hand-over is lost to another message loop in between.
  const HANDLE finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (finished == nullptr) throw EOutOfResources(AnsiText("无法启动复制"));
  std::exception_ptr error;
  std::thread worker;
  try {
    worker = std::thread([&work, &error, finished, progress, before = BeforeWork] {
      try {
        if (before) before();
        work(*progress);
      } catch (...) {
        error = std::current_exception();
      }
      SetEvent(finished);
    });
  } catch (const std::system_error&) {
    CloseHandle(finished);
    throw EOutOfResources(AnsiText("无法启动复制"));
  }

  running_ = progress;
  // The main window keeps painting and answering, but takes no input until the copy is over.
  const bool ownerEnabled = owner_ != nullptr && IsWindowEnabled(owner_);
  if (ownerEnabled) EnableWindow(owner_, FALSE);
  std::unique_ptr<TProgressWindow> display;
  bool quit = false;
  WPARAM quitCode = 0;
  // However the loop below ends, the worker is waited for before anything it uses goes.
  struct TCleanup {
    std::function<void()> run;
    ~TCleanup() { run(); }
  } cleanup{[&] {
    if (worker.joinable()) {
      progress->Cancel();
      worker.join();
    }
    // The owner first, so that it, not some other program, becomes active again.
    if (ownerEnabled) EnableWindow(owner_, TRUE);
    progressWindow_.store(nullptr);
    display.reset();
    CloseHandle(finished);
    running_.reset();
    // A quit that arrived meanwhile is the outer loop's.
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
  }};

  const ULONGLONG start = GetTickCount64();
  while (WaitForSingleObject(finished, 0) != WAIT_OBJECT_0) {
    MsgWaitForMultipleObjectsEx(1, &finished, kUpdateMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quitCode = msg.wParam;
        progress->Cancel();
        continue;
      }
      const HWND shown = display ? display->Handle() : nullptr;
      if (shown != nullptr && IsDialogMessageA(shown, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!display && GetTickCount64() - start >= static_cast<ULONGLONG>(std::max(ShowDelayMs, 0))) {
      display = std::make_unique<TProgressWindow>(owner_, dpi_, font_, *progress, total);
      progressWindow_.store(display->Handle());
    }
    if (display) display->Update();
  }
  worker.join();
  cleanup.run();
  cleanup.run = [] {};
  if (OnFinished) RunGuarded(OnFinished);
  if (error) std::rethrow_exception(error);
}

}  // namespace mv
