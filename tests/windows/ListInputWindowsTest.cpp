// SPDX-License-Identifier: GPL-3.0-or-later
// ListBox1's menu and drag-out reached through the system's own input path: a second thread
// plays the user, handing key presses and mouse events one at a time to SendInput and waiting
// for what they cause, while the window's thread runs its messages; so they arrive as a user's
// do (focus, the default window procedure, the menu's and OLE's modal loops, a drop target found
// under the pointer). Runs under Wine in the stage's private X server.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types they use.
#include <ole2.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Unit_main/ListBox.h"
#include "Unit_main/Unit_main.h"
#include "WinClipboardText.h"
#include "WinTempDir.h"
#include "dialogs/ErrorBox.h"

namespace mv {
namespace {

using Clock = std::chrono::steady_clock;

bool Until(const std::function<bool()>& pred, int timeoutMs, bool pump) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    MSG msg;
    while (pump && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (pred()) return true;
    if (Clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, pump ? QS_ALLINPUT : 0);
  }
}
// On the window's thread: runs its messages meanwhile.
bool Pump(const std::function<bool()>& pred, int timeoutMs) { return Until(pred, timeoutMs, true); }
// On the input thread, which has no window.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000) {
  return Until(pred, timeoutMs, false);
}

// The window's thread injects what the input thread hands it: under Wine a pointer moved by
// another thread leaves the window thread's X events to report the pointer where it was before
// (Wine ignores only those older than its own thread's last move), which put a press on
// another window. Handed over by a sent message, which every modal loop (the menu's, OLE's
// drag) takes; the events still travel the system's whole input path.
HWND injector = nullptr;

LRESULT CALLBACK InjectorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_APP) return DefWindowProcA(window, message, wParam, lParam);
  return SendInput(1, reinterpret_cast<INPUT*>(lParam), sizeof(INPUT));
}

void Send(INPUT input) {
  DWORD_PTR sent = 0;
  SendMessageTimeoutA(injector, WM_APP, 0, reinterpret_cast<LPARAM>(&input), SMTO_NORMAL, 5000,
                      &sent);
}

void Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (vk == VK_APPS ? KEYEVENTF_EXTENDEDKEY : 0);
  Send(in);
}
// The keys down in order, then up in reverse: Shift+F10 is {VK_SHIFT, VK_F10}.
void Press(std::initializer_list<WORD> keys) {
  for (WORD vk : keys) Key(vk, false);
  for (auto vk = std::rbegin(keys); vk != std::rend(keys); ++vk) Key(*vk, true);
}

// A hand is slower than a program: the next mouse event goes only once the window's thread has
// taken the last one from its queue, which a mouse hook on that thread sees in whatever loop
// takes it (ours, the list's, OLE's drag loop); the test then also knows where each one went.
struct TMouseTaken {
  std::atomic<UINT> message{0};
  std::atomic<LONG> x{0}, y{0};
  std::atomic<bool> taken{false};
};
TMouseTaken mouseTaken;

LRESULT CALLBACK MouseTakenHook(int code, WPARAM message, LPARAM data) {
  const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(data);
  if (code == HC_ACTION && message == mouseTaken.message && mouse->pt.x == mouseTaken.x &&
      mouse->pt.y == mouseTaken.y)
    mouseTaken.taken = true;
  return CallNextHookEx(nullptr, code, message, data);
}

// Sends one mouse event at a screen point and waits until the window's thread has taken its
// message.
bool Mouse(DWORD flags, UINT message, POINT at) {
  mouseTaken.taken = false;
  mouseTaken.message = message;
  mouseTaken.x = at.x;
  mouseTaken.y = at.y;
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  if (flags & MOUSEEVENTF_MOVE) {
    // Normalised to 0..65535 over the screen, rounded up so that the system's scaling back
    // lands on the pixel.
    const auto normal = [](LONG v, int size) { return (v * 65536 + size - 1) / size; };
    in.mi.dx = normal(at.x, GetSystemMetrics(SM_CXSCREEN));
    in.mi.dy = normal(at.y, GetSystemMetrics(SM_CYSCREEN));
    in.mi.dwFlags |= MOUSEEVENTF_ABSOLUTE;
  }
  Send(in);
  return WaitFor([] { return mouseTaken.taken.load(); });
}
bool MoveTo(POINT at) { return Mouse(MOUSEEVENTF_MOVE, WM_MOUSEMOVE, at); }

// The menu a thread shows: a visible window of the popup menu class, or null.
HWND OpenMenuOf(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(
      thread,
      [](HWND window, LPARAM out) {
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (std::string(name) != "#32768" || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(out) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// What an open menu shows: its captions and the item the keyboard is on (-1: none).
struct TMenuSeen {
  HWND window = nullptr;
  RECT bounds{};
  std::vector<std::string> captions;
  int highlighted = -1;
};

TMenuSeen Look(HWND popup) {
  TMenuSeen seen;
  seen.window = popup;
  GetWindowRect(popup, &seen.bounds);
  DWORD_PTR result = 0;
  SendMessageTimeoutA(popup, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
  const auto menu = reinterpret_cast<HMENU>(result);
  for (int i = 0; menu != nullptr && i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    seen.captions.push_back(test::Utf8(text));
    if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE) seen.highlighted = i;
  }
  return seen;
}

// A drop target as a file manager's window is one: it takes files (CF_HDROP) and answers copy.
class TFileDropTarget final : public IDropTarget {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
      *out = static_cast<IDropTarget*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    entered = true;
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    allowed = *effect;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (SUCCEEDED(data->GetData(&format, &medium))) {
      auto drop = static_cast<HDROP>(medium.hGlobal);
      for (UINT i = 0; i < DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0); ++i) {
        char name[MAX_PATH * 2] = {};
        DragQueryFileA(drop, i, name, sizeof name);
        files.push_back(name);
      }
      ReleaseStgMedium(&medium);
    }
    *effect = allowed & DROPEFFECT_COPY;
    dropped = true;
    return S_OK;
  }

  std::atomic<bool> entered{false};
  std::atomic<bool> dropped{false};
  DWORD allowed = 0;
  std::vector<std::string> files;

 private:
  std::atomic<ULONG> refs_{1};
};

void SetClipboardText(HWND owner, const std::string& text) {
  ASSERT_TRUE(OpenClipboard(owner));
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  SetClipboardData(CF_TEXT, memory);
  CloseClipboard();
}

class ListInput : public ::testing::Test {
 protected:
  ListInput() {
    OleInitialize(nullptr);
    testing::SetErrorBoxCapture(
        [this](const std::string&, const std::string& text) { notices.push_back(text); });
    testing::SetInfoMessageCapture(
        [this](const std::string&, const std::string& text) { notices.push_back(text); });
    form = std::make_unique<TForm_main>();
    form->OpenPage = [](const std::string&) {};
    ShowWindow(form->Handle(), SW_SHOW);
    SetForegroundWindow(form->Handle());
    for (const char* name : {"one.mp3", "two.mp3", "three.mp3"}) {
      test::WriteFile(dir / name, name);
      form->ListBox1().Add(dir / name);
    }
    WNDCLASSA injectorClass{};
    injectorClass.lpfnWndProc = InjectorProc;
    injectorClass.hInstance = GetModuleHandleA(nullptr);
    injectorClass.lpszClassName = "ListInputInjector";
    RegisterClassA(&injectorClass);
    injector = CreateWindowExA(0, "ListInputInjector", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    hook = SetWindowsHookExA(WH_MOUSE, MouseTakenHook, nullptr, windowThread);
    Pump([] { return false; }, 50);
  }
  ~ListInput() override {
    UnhookWindowsHookEx(hook);
    DestroyWindow(injector);
    form.reset();
    testing::SetErrorBoxCapture({});
    testing::SetInfoMessageCapture({});
    OleUninitialize();
  }

  HWND List() { return form->ListBox1().Handle(); }
  void Select(std::initializer_list<int> rows, int caret) {
    SendMessageA(List(), LB_SETSEL, FALSE, -1);
    for (int row : rows) SendMessageA(List(), LB_SETSEL, TRUE, row);
    SendMessageA(List(), LB_SETCARETINDEX, static_cast<WPARAM>(caret), FALSE);
  }
  // The row's bounds on the screen.
  RECT Row(int row) {
    RECT r{};
    SendMessageA(List(), LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(List(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  // Runs script on a thread of its own while this thread runs the window's messages, as a
  // user's input arrives while the program waits in its loop or in a modal one. The script's
  // own waits are bounded, so it always ends.
  void Drive(const std::function<void()>& script) {
    std::atomic<bool> done{false};
    std::thread input([&] {
      script();
      done = true;
    });
    Pump([&] { return done.load(); }, 120000);
    input.join();
  }
  // Keys that leave whatever the script left open: a menu or a drag would otherwise keep this
  // thread in its modal loop.
  void CloseLeftovers() {
    for (int i = 0; i < 3 && OpenMenuOf(windowThread) != nullptr; ++i) Press({VK_ESCAPE});
  }

  test::TTempDir dir;
  std::unique_ptr<TForm_main> form;
  std::vector<std::string> notices;
  const DWORD windowThread = GetCurrentThreadId();
  HHOOK hook = nullptr;
};

TEST_F(ListInput, MenuKeyAndShiftF10OpenTheMenuAtTheCaretRowAndItsItemsAnswerTheKeyboard) {
  Select({0, 2}, 2);
  SetFocus(List());
  ASSERT_EQ(GetFocus(), List());
  SetClipboardText(form->Handle(), "before");
  const RECT caret = Row(2);

  struct TCase {
    const char* name;
    std::initializer_list<WORD> keys;
  };
  const TCase opens[] = {{"Menu key", {VK_APPS}}, {"Shift+F10", {VK_SHIFT, VK_F10}}};
  for (const TCase& c : opens) {
    TMenuSeen seen;
    bool closed = false;
    Drive([&] {
      Press(c.keys);
      HWND popup = nullptr;
      if (!WaitFor([&] { return (popup = OpenMenuOf(windowThread)) != nullptr; })) return;
      seen = Look(popup);
      // Esc leaves the menu and takes no action.
      Press({VK_ESCAPE});
      closed = WaitFor([&] { return OpenMenuOf(windowThread) == nullptr; });
      CloseLeftovers();
    });
    ASSERT_NE(seen.window, nullptr) << c.name << ": no menu opened";
    EXPECT_EQ(seen.captions, (std::vector<std::string>{"播放", "打开所在文件夹", "复制路径",
                                                       "从列表中移除", "移到回收站"}))
        << c.name;
    // Below the caret row's left end, where a menu from the keyboard belongs.
    EXPECT_EQ(seen.bounds.left, caret.left) << c.name;
    EXPECT_EQ(seen.bounds.top, caret.bottom) << c.name;
    EXPECT_TRUE(closed) << c.name;
    EXPECT_EQ(form->ListBox1().Count(), 3) << c.name;
    EXPECT_EQ(test::ClipboardText(form->Handle()), "before") << c.name;
    EXPECT_TRUE(notices.empty()) << c.name;
  }

  // The right button on a row outside the selection: the menu opens at the pointer, for that
  // row alone.
  const RECT other = Row(1);
  const POINT click{other.left + 10, (other.top + other.bottom) / 2};
  TMenuSeen seen;
  Drive([&] {
    if (!MoveTo(click) || !Mouse(MOUSEEVENTF_RIGHTDOWN, WM_RBUTTONDOWN, click) ||
        !Mouse(MOUSEEVENTF_RIGHTUP, WM_RBUTTONUP, click))
      return;
    HWND popup = nullptr;
    if (!WaitFor([&] { return (popup = OpenMenuOf(windowThread)) != nullptr; })) return;
    seen = Look(popup);
    Press({VK_ESCAPE});
    WaitFor([&] { return OpenMenuOf(windowThread) == nullptr; });
    CloseLeftovers();
  });
  ASSERT_NE(seen.window, nullptr) << "right button: no menu opened";
  EXPECT_EQ(seen.bounds.left, click.x);
  EXPECT_EQ(seen.bounds.top, click.y);
  EXPECT_EQ(form->ListBox1().SelCount(), 1);
  EXPECT_TRUE(form->ListBox1().Selected(1));
  EXPECT_EQ(test::ClipboardText(form->Handle()), "before");
  Select({0, 2}, 2);
  SetFocus(List());

  // 复制路径 chosen with the arrow keys and Enter puts the selected paths on the clipboard.
  std::vector<int> path;
  bool closed = false;
  Drive([&] {
    Press({VK_SHIFT, VK_F10});
    HWND popup = nullptr;
    if (!WaitFor([&] { return (popup = OpenMenuOf(windowThread)) != nullptr; })) return;
    for (int step = 0; step < 8; ++step) {
      const int at = Look(popup).highlighted;
      path.push_back(at);
      if (at == 2) break;
      Press({VK_DOWN});
      WaitFor([&] { return Look(popup).highlighted != at; }, 2000);
    }
    Press({VK_RETURN});
    closed = WaitFor([&] { return OpenMenuOf(windowThread) == nullptr; });
    CloseLeftovers();
  });
  ASSERT_FALSE(path.empty()) << "no menu opened";
  EXPECT_EQ(path.back(), 2);
  EXPECT_TRUE(closed);
  EXPECT_EQ(test::ClipboardText(form->Handle()), (dir / "one.mp3") + "\r\n" + (dir / "three.mp3"));
  EXPECT_EQ(form->ListBox1().Count(), 3);
  EXPECT_TRUE(notices.empty());
}

TEST_F(ListInput, DraggingTheSelectionOutDropsItsFilesAsCopiesAndNothingElse) {
  struct TCase {
    const char* name;
    int pressRow;  // rows 0 and 2 are selected
    bool moves;    // onto the target, else released where pressed
    bool escape;   // Esc before the release
    bool drops;
  };
  const TCase cases[] = {
      {"released on the target", 2, true, false, true},
      {"Esc before the release", 2, true, true, false},
      {"pressed outside the selection", 1, true, false, false},
      {"clicked on the selection", 2, false, false, false},
  };
  RECT main{};
  GetWindowRect(form->Handle(), &main);
  const POINT onto{main.right + 120, main.top + 100};
  // The target beside the main window, on this thread as a file manager's would be on its own:
  // OLE calls it from the drag's loop. One for all cases: Wine takes two seconds to revoke one.
  HWND window = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "drop here",
                                WS_POPUP | WS_VISIBLE | SS_NOTIFY, main.right + 20, main.top, 200,
                                200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  TFileDropTarget target;
  ASSERT_EQ(RegisterDragDrop(window, &target), S_OK);
  for (const TCase& c : cases) {
    target.entered = target.dropped = false;
    target.allowed = 0;
    target.files.clear();
    Select({0, 2}, 2);
    const bool drags = form->ListBox1().Selected(c.pressRow);
    const RECT row = Row(c.pressRow);
    // Each case presses elsewhere on the row: a second press in the same spot within the
    // double-click time is a double click, which plays the entry.
    const int nth = static_cast<int>(&c - cases);
    const POINT from{row.left + 10 + nth * 4 * GetSystemMetrics(SM_CXDOUBLECLK),
                     (row.top + row.bottom) / 2};

    std::string failed;
    Drive([&] {
      const auto capture = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(windowThread, &info);
        return info.hwndCapture;
      };
      if (!MoveTo(from) || !Mouse(MOUSEEVENTF_LEFTDOWN, WM_LBUTTONDOWN, from))
        failed = "the press never reached the window; ";
      // The list captures the mouse: to hold a press on the selection back until it turns out
      // a drag, or for its own selecting.
      if (!WaitFor([&] { return capture() == List(); })) failed += "press not taken by the list; ";
      // Past the drag distance in small steps, as a hand moves, then onto the target.
      for (int x = 1; c.moves && x <= 4; ++x)
        MoveTo(POINT{from.x + x * GetSystemMetrics(SM_CXDRAG), from.y});
      for (int i = 1; c.moves && i <= 8; ++i)
        MoveTo(POINT{from.x + (onto.x - from.x) * i / 8, from.y + (onto.y - from.y) * i / 8});
      // The drag's loop asks the target only after it took the move.
      if (drags && c.moves && !WaitFor([&] { return target.entered.load(); }))
        failed += "the drag never reached the target; ";
      if (c.escape) {
        Press({VK_ESCAPE});
        if (!WaitFor([&] { return capture() == nullptr; })) failed += "Esc did not end the drag; ";
      }
      if (!Mouse(MOUSEEVENTF_LEFTUP, WM_LBUTTONUP, c.moves ? onto : from))
        failed += "release not taken; ";
      // A drop comes before the drag's loop lets the mouse go.
      if (!WaitFor([&] { return capture() == nullptr; })) {
        failed += "the mouse stays captured";
        Press({VK_ESCAPE});
        WaitFor([&] { return capture() == nullptr; });
      }
    });
    EXPECT_EQ(failed, "") << c.name;
    EXPECT_EQ(target.dropped, c.drops) << c.name;
    if (c.drops) {
      EXPECT_EQ(target.files, (std::vector<std::string>{dir / "one.mp3", dir / "three.mp3"}));
      EXPECT_EQ(target.allowed, static_cast<DWORD>(DROPEFFECT_COPY));
      EXPECT_EQ(form->ListBox1().SelCount(), 2);
    }
    if (!drags || !c.moves) {
      EXPECT_FALSE(target.entered) << c.name;
    }
    // A click is the list box's own: it selects the row clicked alone.
    if (!c.moves) {
      EXPECT_EQ(form->ListBox1().SelCount(), 1) << c.name;
      EXPECT_TRUE(form->ListBox1().Selected(c.pressRow)) << c.name;
      EXPECT_EQ(form->ListBox1().ItemIndex(), c.pressRow) << c.name;
    }
    // Whatever the drag did, the files stay, whole, and so do the entries.
    for (const char* name : {"one.mp3", "two.mp3", "three.mp3"}) {
      char content[32] = {};
      DWORD read = 0;
      HANDLE file = CreateFileA((dir / name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      EXPECT_NE(file, INVALID_HANDLE_VALUE) << c.name << ": " << name;
      ReadFile(file, content, sizeof content, &read, nullptr);
      CloseHandle(file);
      EXPECT_EQ(std::string(content, read), name) << c.name;
    }
    EXPECT_EQ(form->ListBox1().Count(), 3) << c.name;
    EXPECT_TRUE(notices.empty()) << c.name;
  }
  RevokeDragDrop(window);
  DestroyWindow(window);
}

}  // namespace
}  // namespace mv
