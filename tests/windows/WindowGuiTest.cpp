// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window, driven by messages as a user's clicks arrive (BM_CLICK, WM_SETTEXT,
// LBN_DBLCLK, WM_TIMER) and read back through the controls' own messages, with the dialogs
// answered through their seams. Runs under Wine in a private X server (with-xvfb.sh), with a
// null ALSA output for the player.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Unit_main/ListBox.h"
#include "Unit_main/ListDrag.h"
#include "Unit_main/ListTips.h"
#include "Unit_main/MainForm.h"
#include "Unit_main/SaveUi.h"
#include "Unit_main/Unit_main.h"
#include "Unit_main/Win32Dispatcher.h"
#include "Unit_main/WritingMark.h"
#include "WinTempDir.h"
#include "commands/EntryActions.h"
#include "dialogs/AnsiText.h"
#include "dialogs/ErrorBox.h"
#include "dialogs/SaveDialog.h"
#include "dialogs/SelectDirDlg.h"
#include "forms/FormControls.h"
#include "media/Details.h"
#include "media/MPlayer.h"
#include "utility/ErrorText.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

using Clock = std::chrono::steady_clock;

// The first bytes of an MP3 that starts with an ID3v2 tag.
const std::string kId3Bytes = std::string("ID3\x03\x00\x00\x00\x00\x00\x0A", 10) + "tagdata...";

std::string Audio(const std::string& name) {
  const char* dir = std::getenv("MV_AUDIO_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/" + name;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string Text(HWND control) {
  char buffer[1024] = {};
  GetWindowTextA(control, buffer, sizeof buffer);
  return buffer;
}

// The bounds of control as they are: relative to its parent's client area.
TBounds PlacedBounds(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs the thread's messages until pred holds or the time is up.
bool Pump(const std::function<bool()>& pred, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (pred()) return true;
    if (Clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

struct TBox {
  std::string caption;
  std::string text;
};

class Window : public ::testing::Test {
 protected:
  Window() {
    testing::SetErrorBoxCapture([this](const std::string& caption, const std::string& text) {
      errors.push_back({caption, text});
    });
    testing::SetInfoMessageCapture([this](const std::string& caption, const std::string& text) {
      infos.push_back({caption, text});
    });
    form = std::make_unique<TForm_main>();
    form->OpenPage = [this](const std::string& page) { pages.push_back(page); };
    ShowWindow(form->Handle(), SW_SHOW);
    Pump([] { return false; }, 50);
  }
  ~Window() override {
    form.reset();
    testing::SetErrorBoxCapture({});
    testing::SetInfoMessageCapture({});
    testing::ClearSaveDialogAnswers();
    testing::ClearSelectDirAnswers();
    testing::TakeSaveDialogOffers();
    testing::TakeSelectDirOffers();
  }

  HWND List() { return form->ListBox1().Handle(); }
  int Count() { return static_cast<int>(SendMessageA(List(), LB_GETCOUNT, 0, 0)); }
  std::string Entry(int i) {
    char buffer[MAX_PATH * 2] = {};
    SendMessageA(List(), LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }
  void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }
  void SetText(HWND edit, const std::string& text) {
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void Tick() { SendMessageA(form->Timer1().Window(), WM_TIMER, 1, 0); }
  void Caret(int i) { SendMessageA(List(), LB_SETCARETINDEX, static_cast<WPARAM>(i), FALSE); }
  void Select(int i) { SendMessageA(List(), LB_SETSEL, TRUE, i); }
  void DoubleClick() {
    SendMessageA(GetParent(List()), WM_COMMAND, MAKEWPARAM(0, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(List()));
  }
  // The sweep checks on a thread of its own: tick, then let its result come back.
  bool SweepUntil(int count) {
    return Pump(
        [&] {
          if (Count() == count) return true;
          Tick();
          return false;
        },
        5000);
  }

  std::unique_ptr<TForm_main> form;
  std::vector<TBox> errors;
  std::vector<TBox> infos;
  std::vector<std::string> pages;
};

std::string A(const char* utf8) { return AnsiText(utf8); }

// The dots per inch the layout is scaled to; MV_EXPECT_DPI makes a run fail whose prefix did not
// take the setting.
int TestDpi() {
  const int dpi = ScreenDpi();
  if (const char* expect = std::getenv("MV_EXPECT_DPI")) {
    EXPECT_EQ(dpi, std::atoi(expect));
  }
  return dpi;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return AsciiLower(name);
}

TEST_F(Window, StartsAsTheStoredDescriptionSays) {
  const int dpi = TestDpi();
  EXPECT_EQ(form->Dpi(), dpi);
  EXPECT_EQ(Text(form->Handle()), "Melvigil");
  RECT client{};
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, Scaled(688, dpi));
  EXPECT_EQ(client.bottom, Scaled(446, dpi));
  // The controls in the bar at the description's bounds, grown with the screen's dots per
  // inch; labels fix only their place, as they fit their captions.
  const std::pair<HWND, const char*> placed[] = {
      {form->Label3, "Label3"},       {form->Label4, "Label4"},   {form->Label1, "Label1"},
      {form->Edit1, "Edit1"},         {form->Label2, "Label2"},   {form->Edit2, "Edit2"},
      {form->CheckBox1, "CheckBox1"}, {form->BitBtn1, "BitBtn1"}, {form->BitBtn2, "BitBtn2"},
      {form->BitBtn5, "BitBtn5"},     {form->BitBtn4, "BitBtn4"}, {form->BitBtn3, "BitBtn3"},
  };
  for (const auto& [control, name] : placed) {
    const TControlDesc& row = Form_mainDesc().form.Control(name);
    const TBounds want = Scaled(row.bounds, dpi);
    const TBounds got = PlacedBounds(control);
    if (row.role == TControlRole::Label) {
      EXPECT_EQ(got.left, want.left) << name;
      EXPECT_EQ(got.top, want.top) << name;
      EXPECT_GE(got.width, want.width) << name;
    } else {
      EXPECT_EQ(got, want) << name;
    }
  }
  EXPECT_EQ(PlacedBounds(form->CoolBar1), (TBounds{0, 0, client.right, Scaled(139, dpi)}));
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(form->BitBtn1, WM_GETFONT, 0, 0)), sizeof font,
             &font);
  EXPECT_EQ(font.lfHeight, -Scaled(16, dpi));
  const std::pair<HWND, const char*> captions[] = {
      {form->BitBtn1, "开始监视"},
      {form->BitBtn2, "播放音乐"},
      {form->BitBtn5, "停止播放"},
      {form->BitBtn4, "自动更名"},
      {form->BitBtn3, "另存为"},
      {form->CheckBox1, "监视所有创建文件"},
      {form->Label1, "监视音乐"},
      {form->Label2, "监视磁盘"},
      {form->Label3, "做软件，找Orvel！"},
      {form->Label4, "下载更多的免费软件"},
      {form->Edit1, "*.wav;*.mp3;*.wma"},
      {form->Edit2, Form_mainDesc().form.Control("Edit2").caption.c_str()},
  };
  for (const auto& [control, caption] : captions) EXPECT_EQ(Text(control), A(caption));
  EXPECT_EQ(SendMessageA(form->CheckBox1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageA(List(), LB_GETITEMHEIGHT, 0, 0), Scaled(16, dpi));
  EXPECT_TRUE(GetWindowLongPtrA(List(), GWL_STYLE) & LBS_EXTENDEDSEL);
  EXPECT_EQ(SendMessageA(form->Hints, TTM_GETTOOLCOUNT, 0, 0), 5);
  EXPECT_EQ(SendMessageA(form->CoolBar1, RB_GETBANDCOUNT, 0, 0), 1);
  EXPECT_TRUE(form->Timer1().Running());
  EXPECT_EQ(form->Timer1().Interval(), 1000u);
  EXPECT_EQ(form->SaveDialog1().Filter, "音乐|*.*");
  EXPECT_FALSE(form->FileSystemWatcher1().Actived());
  // The tab order is the description's (the media player, tab 6, has no window).
  std::vector<HWND> tabs;
  for (HWND w = GetWindow(form->Panel2, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
    if (GetWindowLongPtrA(w, GWL_STYLE) & WS_TABSTOP) tabs.push_back(w);
  EXPECT_EQ(tabs, (std::vector<HWND>{form->BitBtn2, form->BitBtn3, form->BitBtn1, form->Edit1,
                                     form->Edit2, form->CheckBox1, form->BitBtn4, form->BitBtn5}));

  // Resizing keeps the bar on top and lets the list fill the rest.
  SetWindowPos(form->Handle(), nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER);
  GetClientRect(form->Handle(), &client);
  RECT list{};
  GetWindowRect(List(), &list);
  EXPECT_EQ(list.right - list.left, client.right - 2);
  EXPECT_EQ(list.bottom - list.top, client.bottom - Scaled(139, dpi) - 2);
}

TEST_F(Window, Label4OpensThePage) {
  SendMessageA(form->Panel2, WM_COMMAND, MAKEWPARAM(0, STN_CLICKED),
               reinterpret_cast<LPARAM>(form->Label4));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0], kFreeSoftwarePage);
}

TEST_F(Window, WatchingListsNewMusicAndTheSweepDropsWhatIsGone) {
  test::TTempDir dir;
  SetText(form->Edit2, dir.Dir());
  Click(form->BitBtn1);
  EXPECT_EQ(Text(form->BitBtn1), A("中止监视"));
  ASSERT_TRUE(form->FileSystemWatcher1().Actived());
  // Files made before the worker watches are not new; under load that can take a while.
  ASSERT_TRUE(Pump([&] { return form->FileSystemWatcher1().IsLive(); }, 5000));

  test::WriteFile(dir / "song.mp3", "x");
  test::WriteFile(dir / "clip.MP3", "x");
  test::WriteFile(dir / "setup.bin", "x");
  ASSERT_TRUE(Pump([&] { return Count() == 2; }, 5000)) << Count();
  EXPECT_EQ(Entry(0), dir / "song.mp3");
  EXPECT_EQ(Entry(1), dir / "clip.MP3");

  // Every created file, with the check box ticked; a new mask at once.
  Click(form->CheckBox1);
  test::WriteFile(dir / "setup2.bin", "x");
  ASSERT_TRUE(Pump([&] { return Count() == 3; }, 5000));
  EXPECT_EQ(Entry(2), dir / "setup2.bin");
  Click(form->CheckBox1);
  SetText(form->Edit1, "*.ogg");
  test::WriteFile(dir / "tune.ogg", "x");
  test::WriteFile(dir / "other.mp3", "x");
  ASSERT_TRUE(Pump([&] { return Count() == 4; }, 5000));
  EXPECT_EQ(Entry(3), dir / "tune.ogg");

  // Deleted files leave the list at the next ticks.
  DeleteFileA((dir / "song.mp3").c_str());
  DeleteFileA((dir / "setup2.bin").c_str());
  ASSERT_TRUE(SweepUntil(2));
  EXPECT_EQ(Entry(0), dir / "clip.MP3");
  EXPECT_EQ(Entry(1), dir / "tune.ogg");

  Click(form->BitBtn1);
  EXPECT_EQ(Text(form->BitBtn1), A("开始监视"));
  EXPECT_FALSE(form->FileSystemWatcher1().Actived());
  EXPECT_TRUE(errors.empty());
}

TEST_F(Window, PlayStopAndDoubleClickWithTheErrorBoxTexts) {
  // Stop before anything was played.
  Click(form->BitBtn5);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, A("没有打开的 MCI 设备."));
  EXPECT_EQ(errors[0].caption, CurrentApplicationTitle());

  // An empty list: play does nothing. (Once entries exist, Wine's list box reports the caret
  // on the first entry even when none was set; the current index is the platform's.)
  Click(form->BitBtn2);
  EXPECT_FALSE(form->MediaPlayer1().Opened());
  test::TTempDir dir;
  const std::string unknown = dir / "notes.melvigil";
  test::WriteFile(unknown, "not music");
  form->ListBox1().Add(Audio("long.wav"));
  form->ListBox1().Add(Audio("short.wav"));
  form->ListBox1().Add(unknown);
  form->ListBox1().Add(dir / "gone.wav");

  Caret(0);
  Click(form->BitBtn2);
  EXPECT_TRUE(form->MediaPlayer1().Opened());
  EXPECT_EQ(form->MediaPlayer1().FileName(), Audio("long.wav"));
  ASSERT_TRUE(Pump([&] { return form->MediaPlayer1().Mode() == mpPlaying; }, 3000));
  Click(form->BitBtn5);
  EXPECT_EQ(form->MediaPlayer1().Mode(), mpStopped);
  EXPECT_EQ(errors.size(), 1u);

  // A double click plays the entry with the focus; the first stops.
  Caret(1);
  DoubleClick();
  EXPECT_EQ(form->MediaPlayer1().FileName(), Audio("short.wav"));
  EXPECT_TRUE(form->MediaPlayer1().Opened());

  // A vanished file is not played; a file MCI cannot open shows MCI's text.
  Caret(3);
  Click(form->BitBtn2);
  EXPECT_EQ(form->MediaPlayer1().FileName(), Audio("short.wav"));
  Caret(2);
  Click(form->BitBtn2);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1].text, ErrorMessageText(form->MediaPlayer1().ErrorMessage()));
  EXPECT_NE(errors[1].text, A("未知的错误代号."));
  EXPECT_FALSE(form->MediaPlayer1().Opened());
  Click(form->BitBtn5);
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[2].text, A("没有打开的 MCI 设备."));
  EXPECT_EQ(Count(), 4);
}

TEST_F(Window, SaveOneOffersItsNameAndCopiesOverAnExistingFile) {
  test::TTempDir dir;
  const std::string source = dir / "a song";
  test::WriteFile(source, kId3Bytes);
  const std::string target = dir / "kept.mp3";
  test::WriteFile(target, "old");
  form->ListBox1().Add(source);
  Caret(0);
  testing::QueueSaveDialogAnswer({true, target});
  Click(form->BitBtn3);

  const auto offers = testing::TakeSaveDialogOffers();
  ASSERT_EQ(offers.size(), 1u);
  EXPECT_EQ(offers[0].fileName, "a song");
  EXPECT_EQ(offers[0].filter, A("音乐") + std::string("\0*.*\0\0", 6));
  EXPECT_EQ(offers[0].flags, 0x4u | 0x800000u | 0x20u | 0x80000u);
  EXPECT_EQ(offers[0].nameBufferSize, 260u);
  EXPECT_EQ(test::ReadFile(target), kId3Bytes);
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0].caption, A("提示"));
  EXPECT_EQ(infos[0].text, A("复制完成"));

  // Cancelled: nothing copied, nothing shown.
  testing::QueueSaveDialogAnswer({false, {}});
  Click(form->BitBtn3);
  EXPECT_EQ(infos.size(), 1u);
  EXPECT_TRUE(errors.empty());
}

TEST_F(Window, SaveManyCopiesTheSelectedEntriesWithDetectedExtensions) {
  test::TTempDir dir;
  test::TTempDir out;
  test::WriteFile(dir / "a", kId3Bytes);
  test::WriteFile(dir / "b.mp3", "bee");
  test::WriteFile(dir / "c.wma", "sea");
  test::WriteFile(dir / "d.mp3", "not selected");
  for (const char* name : {"a", "b.mp3", "d.mp3", "c.wma"}) form->ListBox1().Add(dir / name);
  Select(0);
  Select(1);
  Select(3);
  ASSERT_EQ(SendMessageA(List(), LB_GETSELCOUNT, 0, 0), 3);

  // The folder comes back without its trailing backslash.
  testing::QueueSelectDirAnswer({true, out.Dir().substr(0, out.Dir().size() - 1)});
  Click(form->BitBtn3);
  const auto offers = testing::TakeSelectDirOffers();
  ASSERT_EQ(offers.size(), 1u);
  EXPECT_EQ(offers[0].dir, "");
  EXPECT_EQ(offers[0].options, unsigned(sdPrompt));
  EXPECT_EQ(offers[0].helpContext, 0);
  EXPECT_EQ(test::ReadFile(out / "a.mp3"), kId3Bytes);
  EXPECT_EQ(test::ReadFile(out / "b.mp3"), "bee");
  EXPECT_EQ(test::ReadFile(out / "c.wma"), "sea");
  EXPECT_EQ(test::CountEntries(out.Dir()), 3);
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0].text, A("成功复制3个文件"));

  testing::QueueSelectDirAnswer({false, {}});
  Click(form->BitBtn3);
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[1].text, A("成功复制0个文件"));
}

// A copy runs on a worker while the window thread goes on: the progress window says in Chinese
// how many files of all are done, the window answers another thread's messages (a window busy
// copying on its own thread would not), takes no input, and a click sent to it starts no second
// copy. Cancelling before the first file copies nothing and leaves an old target as it was; the
// results come back to the window thread as without a display. Closing the window meanwhile
// cancels the copy and closes it once the copy has ended.
TEST_F(Window, CopiesRunOnAWorkerBehindAProgressWindow) {
  struct TCase {
    const char* name;
    bool many;
    bool cancel;
    bool close;
    int copied;        // files in the target folder afterwards (many)
    const char* info;  // the box afterwards; empty: none
    const char* text;  // the progress window's text while the copy is held
  };
  const TCase cases[] = {
      {"many", true, false, false, 3, "成功复制3个文件", "已复制 0 / 3 个文件"},
      {"many cancelled", true, true, false, 0, "成功复制0个文件", "正在取消……"},
      {"one cancelled over an old file", false, true, false, 0, "", "正在取消……"},
      // Last: the window goes.
      {"many, the window closed", true, false, true, 0, "成功复制0个文件", "正在取消……"},
  };
  TWin32SaveUi& ui = form->SaveUi();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::TTempDir dir;
    test::TTempDir out;
    while (form->ListBox1().Count() > 0) form->ListBox1().Delete(0);
    const std::string big(256 << 10, 'x');
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
      test::WriteFile(dir / name, big);
      form->ListBox1().Add(dir / name);
    }
    const std::string oldTarget = out / "kept.mp3";
    test::WriteFile(oldTarget, "old");
    if (c.many) {
      for (int i = 0; i < 3; ++i) Select(i);
      testing::QueueSelectDirAnswer({true, out.Dir()});
      // Taken only if the click sent during the copy started a second one.
      testing::QueueSelectDirAnswer({false, {}});
    } else {
      Caret(1);
      testing::QueueSaveDialogAnswer({true, oldTarget});
    }
    infos.clear();

    const HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ui.BeforeWork = [go] { WaitForSingleObject(go, 20000); };
    struct TSeen {
      bool shown = false, answered = false, ownerEnabled = true;
      LRESULT count = -1, range = -1;
      std::string text, caption;
    } seen;
    const HWND owner = form->Handle();
    const HWND list = List();
    const HWND saveButton = form->BitBtn3;
    std::thread checker([&] {
      const auto deadline = Clock::now() + std::chrono::seconds(10);
      HWND progress = nullptr;
      while ((progress = ui.ProgressWindow()) == nullptr && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      seen.shown = progress != nullptr;
      if (seen.shown) {
        DWORD_PTR count = 0;
        seen.answered = SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_BLOCK, 5000, &count) != 0;
        seen.count = static_cast<LRESULT>(count);
        seen.ownerEnabled = IsWindowEnabled(owner) != FALSE;
        DWORD_PTR ignored = 0;
        if (c.many) SendMessageTimeoutA(saveButton, BM_CLICK, 0, 0, SMTO_BLOCK, 5000, &ignored);
        if (c.cancel)
          SendMessageTimeoutA(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0, SMTO_BLOCK, 5000,
                              &ignored);
        if (c.close) PostMessageA(owner, WM_CLOSE, 0, 0);
        // The display reads the worker's progress every tenth of a second.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        seen.caption = Text(progress);
        seen.text = Text(GetDlgItem(progress, 101));
        DWORD_PTR range = 0;
        SendMessageTimeoutA(GetDlgItem(progress, 102), PBM_GETRANGE, FALSE, 0, SMTO_BLOCK, 5000,
                            &range);
        seen.range = static_cast<LRESULT>(range);
      }
      SetEvent(go);
    });
    Click(form->BitBtn3);
    checker.join();
    CloseHandle(go);
    ui.BeforeWork = nullptr;

    EXPECT_TRUE(seen.shown);
    EXPECT_TRUE(seen.answered);
    EXPECT_EQ(seen.count, 3);
    EXPECT_FALSE(seen.ownerEnabled);
    EXPECT_EQ(seen.caption, A("另存为"));
    EXPECT_EQ(seen.text, A(c.text));
    if (!c.cancel) {
      EXPECT_EQ(seen.range, 3);
    }
    EXPECT_EQ(ui.ProgressWindow(), nullptr);
    EXPECT_FALSE(ui.Busy());
    if (c.close) {
      EXPECT_TRUE(Pump([&] { return !IsWindow(owner); }, 5000)) << "the window stayed";
    } else {
      EXPECT_TRUE(IsWindowEnabled(owner));
    }
    if (c.many) {
      EXPECT_EQ(testing::TakeSelectDirOffers().size(), 1u) << "a second copy started";
      EXPECT_EQ(test::CountEntries(out.Dir()), c.copied + 1);
      testing::ClearSelectDirAnswers();
    }
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
      EXPECT_EQ(Exists(out / name), c.copied > 0) << name;
      EXPECT_EQ(test::ReadFile(dir / name).size(), big.size()) << name;
    }
    EXPECT_EQ(test::ReadFile(oldTarget), "old");
    if (*c.info != '\0') {
      ASSERT_EQ(infos.size(), 1u);
      EXPECT_EQ(infos[0].text, A(c.info));
    } else {
      EXPECT_TRUE(infos.empty());
    }
    EXPECT_TRUE(errors.empty());
  }
}

TEST_F(Window, AutoRenameAddsTheDetectedExtensionAndTheSweepDropsTheOldName) {
  test::TTempDir dir;
  test::WriteFile(dir / "x", kId3Bytes);
  test::WriteFile(dir / "y.mp3", kId3Bytes);
  form->ListBox1().Add(dir / "x");
  form->ListBox1().Add(dir / "y.mp3");
  Click(form->BitBtn4);
  EXPECT_EQ(test::ReadFile(dir / "x.mp3"), kId3Bytes);
  EXPECT_FALSE(Exists(dir / "x"));
  EXPECT_TRUE(Exists(dir / "y.mp3"));
  EXPECT_FALSE(Exists(dir / "y.mp3.mp3"));
  ASSERT_TRUE(SweepUntil(1));
  EXPECT_EQ(Entry(0), dir / "y.mp3");
}

TEST_F(Window, TimerFailuresAndHandlerErrors) {
  // A handler that fails goes to the error box, and the timer ticks on.
  form->Timer1().SetOnTimer([](TTimer&) { throw EListError("tick failed"); });
  Tick();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, "tick failed.");
  EXPECT_TRUE(form->Timer1().Running());
  ASSERT_TRUE(Pump([&] { return errors.size() >= 2; }, 3000)) << "the timer stopped";

  testing::FailNextSetTimer();
  try {
    form->Timer1().SetInterval(500);
    ADD_FAILURE() << "nothing raised";
  } catch (const EOutOfResources& e) {
    EXPECT_STREQ(e.what(), text::kNoTimers);
  }
  EXPECT_FALSE(form->Timer1().Running());
}

// The list rules through the list box's messages.
TEST_F(Window, ListRulesThroughTheListBoxMessages) {
  TListBox& list = form->ListBox1();
  EXPECT_EQ(list.Add("C:\\a\\One.mp3"), 0);
  EXPECT_EQ(list.Add("C:\\a\\two.mp3"), 1);
  EXPECT_EQ(list.Add("C:\\a\\aaa.mp3"), 2);  // unsorted: at the end
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(1), "C:\\a\\two.mp3");
  EXPECT_TRUE(list.ContainsNoCase("c:\\A\\ONE.MP3"));
  const std::pair<int, std::string> outside[] = {{3, "列表索引越界 (3)"},
                                                 {-1, "列表索引越界 (-1)"}};
  for (const auto& [index, message] : outside) {
    try {
      list.Get(index);
      ADD_FAILURE() << index;
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.what(), message);
    }
    try {
      list.Selected(index);
      ADD_FAILURE() << index;
    } catch (const EListError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
  list.Delete(7);  // no check, no effect
  EXPECT_EQ(list.Count(), 3);
  Select(2);
  Caret(1);
  EXPECT_EQ(list.ItemIndex(), 1);  // the focus, not the selection
  EXPECT_EQ(list.SelCount(), 1);
  EXPECT_TRUE(list.Selected(2));
  EXPECT_FALSE(list.Selected(1));
  list.DeleteMany({2, 0});
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0), "C:\\a\\two.mp3");
  EXPECT_FALSE(list.ContainsNoCase("C:\\a\\one.mp3"));
  EXPECT_TRUE(list.ContainsNoCase("C:\\A\\TWO.mp3"));
}

// --- ListBox1's tooltip ----------------------------------------------------------------------

// The pointer comes to rest on row of list (a row past the end: below the last entry). The
// system's pointer goes there too, so that the hover and leave the system reports on its own
// agree with the messages sent here.
void HoverRow(HWND list, int row) {
  const LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
  POINT at{4, static_cast<LONG>(row * height + height / 2)};
  const LPARAM lParam = MAKELPARAM(at.x, at.y);
  ClientToScreen(list, &at);
  SetCursorPos(at.x, at.y);
  SendMessageA(list, WM_MOUSEMOVE, 0, lParam);
  SendMessageA(list, WM_MOUSEHOVER, 0, lParam);
}

void LeaveList(HWND list) {
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  SendMessageA(list, WM_MOUSELEAVE, 0, 0);
}

// The tip's text as its tooltip control holds it; empty while the tip is not shown.
std::string TipText(TListTips& tips, HWND list) {
  if (!IsWindowVisible(tips.Tip())) return {};
  char buffer[1024] = {};
  TOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = list;
  tool.uId = TListTips::kToolId;
  tool.lpszText = buffer;
  SendMessageA(tips.Tip(), TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&tool));
  return buffer;
}

std::string Wav(std::size_t dataBytes) {
  auto le32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  // 8 kHz, mono, 8 bits.
  return "RIFF" + le32(static_cast<std::uint32_t>(36 + dataBytes)) + "WAVEfmt " + le32(16) +
         std::string("\x01\x00\x01\x00", 4) + le32(8000) + le32(8000) +
         std::string("\x01\x00\x08\x00", 4) + "data" + le32(static_cast<std::uint32_t>(dataBytes)) +
         std::string(dataBytes, '\x80');
}

TEST_F(Window, ListTipShowsSizeAndTypeOfTheHoveredEntry) {
  test::TTempDir dir;
  test::WriteFile(dir / "take.wav", Wav(16000));
  form->ListBox1().Add(dir / "take.wav");
  form->ListBox1().Add(dir / "gone.mp3");
  TListTips& tips = form->ListTips();
  const struct {
    int row;
    std::vector<std::string> lines;  // all of them, in this order
  } cases[] = {
      {0, {A("时长：0:02"), A("大小：15.7 KB"), A("类型：.wav")}},
      {1, {A("文件已不存在")}},
  };
  for (const auto& c : cases) {
    HoverRow(List(), c.row);
    // Nothing is read on the window thread: what shows at once is the provider's answer so far.
    EXPECT_FALSE(TipText(tips, List()).empty()) << c.row;
    std::string want;
    for (const std::string& line : c.lines) want += (want.empty() ? "" : "\n") + line;
    EXPECT_TRUE(Pump([&] { return TipText(tips, List()) == want; }, 5000))
        << c.row << ": " << TipText(tips, List());
  }
  HoverRow(List(), 5);
  EXPECT_EQ(TipText(tips, List()), "") << "no tip below the last entry";
  EXPECT_TRUE(errors.empty());
}

// Reads size and type at once and the rest only once the test opens the gate.
class TGateReader final : public IDetailsReader {
 public:
  TGateReader() : gate_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~TGateReader() override { CloseHandle(gate_); }
  void Open() { SetEvent(gate_); }
  std::unique_ptr<TOpenFile> Probe(const std::string&, TMediaDetails& details,
                                   TFileStamp& stamp) override {
    details.file = TFileState::Present;
    details.size = stamp.size = 2048;
    details.type = ".mp3";
    return std::make_unique<TOpenFile>();
  }
  void Discover(TOpenFile&, TMediaDetails& details) override {
    WaitForSingleObject(gate_, 10000);
    details.media = TMediaKind::Audio;
    details.title = "Song";
    details.artist = "Band";
    details.durationMs = 61500;
  }

 private:
  HANDLE gate_;
};

TEST(ListTips, DetailsReplaceWhatWasKnownOnlyWhileThePointerStaysOnTheRow) {
  TWin32Dispatcher dispatcher;
  const HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  const HWND box = CreateWindowExA(0, "LISTBOX", "", TListBox::kStyle, 0, 0, 300, 200, parent,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
  SendMessageA(box, LB_SETITEMHEIGHT, 0, 16);
  TListBox list(box);
  list.Add("C:\\m\\a.mp3");
  list.Add("C:\\m\\bb.mp3");
  auto reader = std::make_unique<TGateReader>();
  TGateReader& gate = *reader;
  {
    TListTips tips(list, dispatcher, nullptr, 96, std::move(reader));
    const std::string known = A("大小：2.0 KB\n类型：.mp3\n正在读取…");
    const std::string full = A("标题：Song\n艺术家：Band\n时长：1:01\n大小：2.0 KB\n类型：.mp3");
    // Row 0: size and type, then the details once read.
    HoverRow(box, 0);
    EXPECT_EQ(TipText(tips, box), A("正在读取…"));
    EXPECT_TRUE(Pump([&] { return TipText(tips, box) == known; }, 5000)) << TipText(tips, box);
    // Row 1 while row 0 is still being read: row 0's details never show on row 1.
    HoverRow(box, 1);
    EXPECT_EQ(TipText(tips, box), A("正在读取…"));
    LeaveList(box);
    EXPECT_EQ(TipText(tips, box), "");
    gate.Open();
    Pump([&] { return tips.Provider().DiscoveriesStarted() == 2; }, 5000);
    Pump([] { return false; }, 200);
    EXPECT_EQ(TipText(tips, box), "") << "answers for a row the pointer left show nothing";
    // Read once, known at once from then on.
    HoverRow(box, 0);
    EXPECT_EQ(TipText(tips, box), full);
    gate.Open();
  }
  DestroyWindow(parent);
}

// --- rows of files still being written --------------------------------------------------------

struct TInk {
  int grey = 0;   // pixels in the grey text colour
  int plain = 0;  // pixels in the ordinary text colour
};

// Row of the list drawn as the list box has it drawn (WM_DRAWITEM to its parent) into a bitmap
// of our own, with a font that is not smoothed, so that the text's pixels keep its colour.
TInk DrawRow(HWND list, int row) {
  RECT rect{};
  SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  const HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                 NONANTIALIASED_QUALITY, 0, "Courier New");
  const HGDIOBJ oldFont = SelectObject(dc, font);
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_LISTBOX;
  item.itemID = static_cast<UINT>(row);
  item.itemAction = ODA_DRAWENTIRE;
  item.hwndItem = list;
  item.hDC = dc;
  item.rcItem = {0, 0, width, height};
  SendMessageA(GetParent(list), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
  TInk ink;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const COLORREF pixel = GetPixel(dc, x, y);
      ink.grey += pixel == GetSysColor(COLOR_GRAYTEXT);
      ink.plain += pixel == GetSysColor(COLOR_WINDOWTEXT);
    }
  }
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(font);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return ink;
}

TEST_F(Window, RowsOfFilesStillBeingWrittenAreGreyedUntilTheWriterCloses) {
  test::TTempDir dir;
  test::WriteFile(dir / "done.wav", Wav(100));
  // A downloader holding its file open for writing.
  const HANDLE writer = CreateFileA((dir / "part.wav").c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  const std::string head = Wav(100).substr(0, 60);
  WriteFile(writer, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
  for (const char* name : {"done.wav", "part.wav"})
    form->FileSystemWatcher1Change(TFileOperation::foAdded, dir / name, "");
  ASSERT_EQ(Count(), 2);
  EXPECT_EQ(Entry(1), dir / "part.wav") << "the entry stays the path";

  const TInk done = DrawRow(List(), 0);
  const TInk part = DrawRow(List(), 1);
  EXPECT_GT(done.plain, 0);
  EXPECT_EQ(done.grey, 0);
  EXPECT_GT(part.grey, 0);
  EXPECT_EQ(part.plain, 0);
  const struct {
    bool selected, disabled, writing;
    std::string text;
    int textColor;
  } looks[] = {
      {false, false, false, "x.wav", COLOR_WINDOWTEXT},
      {false, false, true, "x.wav" + A("（下载中）"), COLOR_GRAYTEXT},
      {true, false, true, "x.wav" + A("（下载中）"), COLOR_HIGHLIGHTTEXT},
      {false, true, false, "x.wav", COLOR_GRAYTEXT},
  };
  for (const auto& l : looks) {
    const TRowLook look = RowLook("x.wav", l.selected, l.disabled, l.writing);
    EXPECT_EQ(look.text, l.text);
    EXPECT_EQ(look.textColor, GetSysColor(l.textColor)) << l.selected << l.disabled << l.writing;
    EXPECT_EQ(look.backColor, GetSysColor(l.selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  }

  // Once the writer closes, the next tick finds the file complete.
  CloseHandle(writer);
  EXPECT_TRUE(Pump(
      [&] {
        Tick();
        return DrawRow(List(), 1).grey == 0;
      },
      5000));
  EXPECT_GT(DrawRow(List(), 1).plain, 0);
  EXPECT_EQ(SendMessageA(List(), LB_GETITEMHEIGHT, 0, 0), Scaled(16, form->Dpi()));
  EXPECT_TRUE(errors.empty());
}

// --- dragging entries out ------------------------------------------------------------------------

TEST_F(Window, DraggingTheSelectedEntriesOutCarriesTheirPathsAsFilesToCopy) {
  for (const char* name : {"one.mp3", "two.mp3", "three.mp3"})
    form->ListBox1().Add(std::string("C:\\a\\") + name);
  std::vector<std::vector<std::string>> drags;
  form->ListDrag().DoDrag = [&](IDataObject* data, IDropSource* source, DWORD allowed) {
    EXPECT_EQ(allowed, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
    EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&format, &medium), S_OK);
    const auto drop = static_cast<HDROP>(medium.hGlobal);
    std::vector<std::string> files;
    for (UINT i = 0; i < DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0); ++i) {
      char name[MAX_PATH] = {};
      DragQueryFileA(drop, i, name, sizeof name);
      files.push_back(name);
    }
    ReleaseStgMedium(&medium);
    drags.push_back(files);
  };
  const LRESULT height = SendMessageA(List(), LB_GETITEMHEIGHT, 0, 0);
  auto at = [&](int row, int dx) { return MAKELPARAM(8 + dx, row * height + height / 2); };
  SendMessageA(List(), LB_SETSEL, FALSE, -1);
  Select(0);
  Select(2);

  // A press on a selected row and a move past the drag distance: the selection goes as files.
  SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, at(2, 0));
  SendMessageA(List(), WM_MOUSEMOVE, MK_LBUTTON, at(2, 4 * GetSystemMetrics(SM_CXDRAG)));
  ASSERT_EQ(drags.size(), 1u);
  EXPECT_EQ(drags[0], (std::vector<std::string>{"C:\\a\\one.mp3", "C:\\a\\three.mp3"}));
  EXPECT_EQ(form->ListBox1().SelCount(), 2);

  // A press and release without a move is the list box's own click; a press on a row outside
  // the selection selects as the list box does.
  SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, at(0, 0));
  SendMessageA(List(), WM_LBUTTONUP, 0, at(0, 0));
  EXPECT_EQ(form->ListBox1().SelCount(), 1);
  EXPECT_TRUE(form->ListBox1().Selected(0));
  SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, at(1, 0));
  SendMessageA(List(), WM_MOUSEMOVE, MK_LBUTTON, at(1, 4 * GetSystemMetrics(SM_CXDRAG)));
  SendMessageA(List(), WM_LBUTTONUP, 0, at(1, 0));
  EXPECT_EQ(drags.size(), 1u);
  EXPECT_TRUE(form->ListBox1().Selected(1));
  EXPECT_FALSE(form->ListBox1().Selected(0));
  EXPECT_TRUE(errors.empty());
}

// --- the list's menu on the window's own list -------------------------------------------------

TEST_F(Window, ListMenuRemovesEntriesOnlyAndTrashesIntoTheRecycleBin) {
  // Wine's recycle bin is the freedesktop trash below XDG_DATA_HOME: the test's own.
  const char* data = std::getenv("XDG_DATA_HOME");
  ASSERT_NE(data, nullptr) << "run with a private XDG_DATA_HOME, never the user's";
  std::string trash = std::string("Z:") + data;
  for (char& c : trash)
    if (c == '/') c = '\\';
  // Wine makes the trash's folders, not the data folder itself.
  CreateDirectoryA(trash.c_str(), nullptr);
  trash += "\\Trash";
  test::TTempDir dir;
  for (const char* name : {"keep.wav", "bin.wav"}) test::WriteFile(dir / name, Wav(100));
  for (const char* name : {"keep.wav", "bin.wav"}) form->ListBox1().Add(dir / name);
  UINT choice = 0;
  form->ListMenu().Track = [&](HMENU, POINT) { return choice; };
  const struct {
    const char* name;
    TEntryAction action;
    bool stays;
  } steps[] = {{"keep.wav", TEntryAction::RemoveFromList, true},
               {"bin.wav", TEntryAction::MoveToTrash, false}};
  for (const auto& step : steps) {
    SendMessageA(List(), LB_SETSEL, FALSE, -1);
    Select(0);
    ASSERT_EQ(Entry(0), dir / step.name);
    choice = static_cast<UINT>(step.action) + 1;
    SendMessageA(List(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()), -1);
    EXPECT_EQ(Exists(dir / step.name), step.stays) << step.name;
  }
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(test::ReadFile(trash + "\\files\\bin.wav"), Wav(100));
  test::RemoveTree(trash);
  EXPECT_TRUE(infos.empty());
  EXPECT_TRUE(errors.empty());
}

TEST(ErrorBoxTitle, IsTheExecutableNameFirstLetterKept) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Program Files\\Melvigil\\MELVIGIL.EXE", "Melvigil"},
      {"d:melvigil.exe", "melvigil"},
      {"C:\\x\\Setup.Tool.exe", "Setup"},
  };
  for (const auto& [path, title] : cases) EXPECT_EQ(ApplicationTitle(path), title) << path;
}

// Runs look on the chooser once it is up, from its own modal loop: a thread timer looks for it
// among the thread's windows, as a user would meet it, until it is there.
void OnChooser(std::function<void(HWND dialog)> look) {
  static std::function<void(HWND)> pending;
  pending = std::move(look);
  SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM found) {
          if (ClassOf(w) != "#32770" || Text(w) != A("选择目录")) return TRUE;
          *reinterpret_cast<HWND*>(found) = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) return;
    KillTimer(nullptr, timer);
    std::exchange(pending, {})(dialog);
  });
}

// The live chooser against its description at the screen's dots per inch, as the program
// opens it (options 4, help context 0): every control at its bounds with its caption and
// visibility, the tab stops in order; Help hidden and OK and Cancel in its and Cancel's places;
// the path label on the edit's bounds showing the folder, the edit hidden. OK returns that folder.
TEST(DirectoryChooser, IsBuiltFromItsDescription) {
  const int dpi = TestDpi();
  const TFormDesc& desc = SelectDirDlgDesc();
  const HMODULE mpr = LoadLibraryA("mpr.dll");
  const bool network = mpr != nullptr && GetProcAddress(mpr, "WNetConnectionDialog") != nullptr;
  test::TTempDir dir;
  std::string shown;
  bool looked = false;
  OnChooser([&](HWND dialog) {
    looked = true;
    EXPECT_EQ(Text(dialog), A("选择目录"));
    RECT client{}, outer{};
    GetClientRect(dialog, &client);
    GetWindowRect(dialog, &outer);
    EXPECT_EQ(client.right, Scaled(424, dpi));
    EXPECT_EQ(client.bottom, Scaled(255, dpi));
    EXPECT_EQ(outer.left, GetSystemMetrics(SM_CXSCREEN) / 2 - (outer.right - outer.left) / 2);
    EXPECT_EQ(outer.top, GetSystemMetrics(SM_CYSCREEN) / 2 - (outer.bottom - outer.top) / 2);
    // Where each control is; the path label and the two buttons are moved from their rows.
    const std::pair<const char*, const char*> movedTo[] = {
        {"DirLabel", "DirEdit"}, {"OKButton", "CancelButton"}, {"CancelButton", "HelpButton"}};
    for (const TControlDesc& row : desc.controls) {
      const HWND control = GetDlgItem(dialog, SelectDirControlId(row.name));
      ASSERT_NE(control, nullptr) << row.name;
      std::string boundsOf = row.name;
      for (const auto& [name, to] : movedTo)
        if (row.name == name) boundsOf = to;
      const TBounds want = Scaled(desc.Control(boundsOf).bounds, dpi);
      const TBounds got = PlacedBounds(control);
      const bool visible = (GetWindowLongPtrA(control, GWL_STYLE) & WS_VISIBLE) != 0;
      switch (row.role) {
        case TControlRole::Label:
          EXPECT_EQ(ClassOf(control), "static") << row.name;
          EXPECT_EQ(Text(control), A(row.caption.c_str())) << row.name;
          EXPECT_EQ(got.left, want.left) << row.name;
          EXPECT_EQ(got.top, want.top) << row.name;
          break;
        case TControlRole::DirectoryListBox: {
          // Whole rows only: the height is trimmed to them.
          EXPECT_EQ(ClassOf(control), "listbox");
          const int item = static_cast<int>(SendMessageA(control, LB_GETITEMHEIGHT, 0, 0));
          RECT inner{};
          GetClientRect(control, &inner);
          EXPECT_EQ(item, Scaled(row.itemHeight, dpi));
          EXPECT_EQ(inner.bottom % item, 0) << inner.bottom;
          EXPECT_EQ((TBounds{got.left, got.top, got.width}),
                    (TBounds{want.left, want.top, want.width}));
          EXPECT_LE(got.height, want.height);
          EXPECT_GT(got.height, want.height - item);
          break;
        }
        case TControlRole::DriveComboBox:
          // Closed, a drop-down list is as high as its font needs.
          EXPECT_EQ(ClassOf(control), "combobox");
          EXPECT_EQ((TBounds{got.left, got.top, got.width}),
                    (TBounds{want.left, want.top, want.width}));
          EXPECT_GE(got.height, want.height);
          break;
        case TControlRole::FileListBox:
          EXPECT_EQ(ClassOf(control), "listbox");
          EXPECT_EQ(SendMessageA(control, LB_GETITEMHEIGHT, 0, 0), Scaled(row.itemHeight, dpi));
          EXPECT_EQ(got, want) << row.name;
          break;
        default:
          EXPECT_EQ(got, want) << row.name;
          if (row.role == TControlRole::Button) {
            EXPECT_EQ(Text(control), A(row.caption.c_str())) << row.name;
          }
          break;
      }
      bool shows = row.visible;
      if (row.name == "NetButton") shows = network;
      if (row.name == "HelpButton") shows = false;
      EXPECT_EQ(visible, shows) << row.name;
    }
    EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(dialog, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
    std::vector<int> tabs, chain;
    for (HWND w = GetWindow(dialog, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
      if (GetWindowLongPtrA(w, GWL_STYLE) & WS_TABSTOP) tabs.push_back(GetDlgCtrlID(w));
    for (const TControlDesc* stop : desc.TabChain())
      chain.push_back(SelectDirControlId(stop->name));
    EXPECT_EQ(tabs, chain);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, idDirList));
    shown = Text(GetDlgItem(dialog, idDirLabel));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  std::string chosen = dir.Dir();
  const bool ok = SelectDirectory(chosen, sdPrompt, 0, nullptr);
  EXPECT_TRUE(looked);
  EXPECT_TRUE(ok);
  EXPECT_EQ(AsciiLower(chosen), AsciiLower(dir.Dir().substr(0, dir.Dir().size() - 1)));
  EXPECT_EQ(chosen, shown);

  // Cancel leaves dir as it was.
  OnChooser([](HWND dialog) { SendMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0); });
  std::string kept = "unchanged";
  EXPECT_FALSE(ChooseDirectory(false, kept));
  EXPECT_EQ(kept, "unchanged");
}

// With sdPerformCreate the chosen folder is made with every missing parent, whichever
// delimiters it holds or ends in; without it nothing is made.
TEST(DirectoryChooser, PerformCreateMakesTheMissingFolders) {
  test::TTempDir dir;
  const std::pair<std::string, unsigned> cases[] = {
      {dir / "a\\b\\c", sdPerformCreate}, {dir / "d/e\\", sdPerformCreate}, {dir / "f\\g", 0}};
  for (const auto& [chosen, options] : cases) {
    testing::QueueSelectDirAnswer({true, chosen});
    std::string got;
    EXPECT_TRUE(SelectDirectory(got, options, 0, nullptr)) << chosen;
    EXPECT_EQ(got, chosen);
    EXPECT_EQ(Exists(chosen), options != 0) << chosen;
  }
  EXPECT_EQ(testing::TakeSelectDirOffers().size(), 3u);
}

// Under the Chinese code page (936): names in it are listed, copied and renamed with their
// bytes intact, a "\" that is the second byte of a character included.
TEST_F(Window, GbkNamesKeepTheirBytes) {
  ASSERT_EQ(GetACP(), 936u) << "run with LANG=zh_CN.UTF-8";
  InitLeadBytesFromLocale();
  const std::string song = "\xB8\xE8\xC7\xFA\x95\x5C.mp3";  // 歌曲 and a character ending in 0x5C
  const std::string bare = "\xD2\xF4\xC0\xD6";              // 音乐, no extension
  test::TTempDir dir;
  test::TTempDir out;
  SetText(form->Edit2, dir.Dir());
  Click(form->BitBtn1);
  Click(form->CheckBox1);
  Pump([] { return false; }, 300);
  test::WriteFile(dir / song, kId3Bytes);
  ASSERT_TRUE(Pump([&] { return Count() == 1; }, 5000));
  test::WriteFile(dir / bare, kId3Bytes);
  ASSERT_TRUE(Pump([&] { return Count() == 2; }, 5000));
  EXPECT_EQ(Entry(0), dir / song);
  EXPECT_EQ(Entry(1), dir / bare);

  Caret(0);
  testing::QueueSaveDialogAnswer({true, out / ("\xB1\xA3" + song)});
  Click(form->BitBtn3);
  const auto offers = testing::TakeSaveDialogOffers();
  ASSERT_EQ(offers.size(), 1u);
  EXPECT_EQ(offers[0].fileName, song);
  EXPECT_EQ(test::ReadFile(out / ("\xB1\xA3" + song)), kId3Bytes);

  Click(form->BitBtn4);
  EXPECT_EQ(test::ReadFile(dir / (bare + ".mp3")), kId3Bytes);
  EXPECT_TRUE(Exists(dir / song));
  ASSERT_TRUE(SweepUntil(2)) << "the renamed file is listed by the all-files switch";
  EXPECT_EQ(Entry(0), dir / song);
  EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace mv
