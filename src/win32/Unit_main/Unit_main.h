// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window on Windows: native controls built from the stored description around the
// program (TProgram: watcher, download list, player, commands), and the event handlers, which
// call the program's commands. Every window procedure here routes what escapes to the error box.
// The tick is the system's timer (SetTimer on a hidden window); the program's portable ticker
// stays off.

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "Unit_main/ListBox.h"
#include "Unit_main/ListDrag.h"
#include "Unit_main/ListMenu.h"
#include "Unit_main/ListTips.h"
#include "Unit_main/Program.h"
#include "Unit_main/SaveUi.h"
#include "Unit_main/Timer.h"
#include "Unit_main/Win32Dispatcher.h"
#include "Unit_main/WritingMark.h"
#include "dialogs/SaveDialog.h"
#include "utility/FormDescription.h"

namespace mv {

class TForm_main {
 public:
  // Creates the window (not yet shown), its controls and components, then runs FormCreate.
  TForm_main();
  ~TForm_main();
  TForm_main(const TForm_main&) = delete;
  TForm_main& operator=(const TForm_main&) = delete;

  HWND Handle() const { return handle_; }
  int Dpi() const { return dpi_; }
  // The window's destruction ends the thread's message loop (the program's window).
  bool QuitOnDestroy = false;

  // --- controls, parent first ----------------------------------------------------------
  HWND CoolBar1 = nullptr;
  HWND Panel2 = nullptr;
  HWND Label3 = nullptr;
  HWND Label4 = nullptr;
  HWND Label1 = nullptr;
  HWND Edit1 = nullptr;
  HWND Label2 = nullptr;
  HWND Edit2 = nullptr;
  HWND CheckBox1 = nullptr;
  HWND BitBtn1 = nullptr;
  HWND BitBtn2 = nullptr;
  HWND BitBtn5 = nullptr;
  HWND BitBtn4 = nullptr;
  HWND BitBtn3 = nullptr;
  HWND Panel1 = nullptr;
  HWND Hints = nullptr;
  TListBox& ListBox1() { return *listBox1_; }
  // ListBox1's tooltip with the hovered entry's details.
  TListTips& ListTips() { return *listTips_; }
  // Dragging ListBox1's selected entries out as files.
  TListDrag& ListDrag() { return *listDrag_; }
  // ListBox1's context menu.
  TWin32ListMenu& ListMenu() { return *listMenu_; }

  // --- components ----------------------------------------------------------------------
  TFileSystemWatcher& FileSystemWatcher1() { return program_->FileSystemWatcher1(); }
  TTimer& Timer1() { return *timer1_; }
  TSaveDialog& SaveDialog1() { return saveDialog1_; }
  // The dialogs, boxes and progress window of the commands.
  TWin32SaveUi& SaveUi() { return *ui_; }
  TMediaPlayer& MediaPlayer1() { return program_->MediaPlayer1(); }

  // Opens Label4's page; the shell by default (tests put a recorder here).
  std::function<void(const std::string& page)> OpenPage;

  // --- event handlers --------------------------------------------------------------------
  void FormCreate();
  void Label4Click();
  void BitBtn1Click();
  void FileSystemWatcher1Change(TFileOperation FileOperation, const std::string& FileName1,
                                const std::string& FileName2);
  void Timer1Timer();
  void BitBtn2Click();
  void ListBox1DblClick();
  void BitBtn5Click();
  void BitBtn3Click();
  void BitBtn4Click();

 private:
  // Registers the window classes and the common controls; once, before the first window.
  static void InitWindowClasses();
  static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  bool Command(HWND control, int code);
  void CreateControls();
  void CreateComponents();
  void AlignControls();
  // The form's font where desc leaves all to it, else one made for desc (and kept till the end).
  HFONT FontFor(const TFontDesc& desc);

  // What the description says of each control's window: text colour, cursor, commands.
  struct TLook {
    TColor color;
    TCursor cursor = TCursor::Default;
    TCommand onClick = TCommand::None;
    TCommand onDblClick = TCommand::None;
  };

  // Declared first: destroyed after everything that posts to it.
  TWin32Dispatcher dispatcher_;
  HWND handle_ = nullptr;
  // The screen's dots per inch, which the 96-dpi layout is scaled to.
  int dpi_ = 96;
  HFONT font_ = nullptr;
  std::vector<HFONT> fonts_;
  std::map<HWND, TLook> look_;
  std::unique_ptr<TListBox> listBox1_;
  std::unique_ptr<TListTips> listTips_;
  std::unique_ptr<TListDrag> listDrag_;
  TSaveDialog saveDialog1_;
  std::unique_ptr<TWin32SaveUi> ui_;
  bool closeAfterCopy_ = false;
  std::unique_ptr<TProgram> program_;
  std::unique_ptr<TWritingMark> writingMark_;
  std::unique_ptr<TTimer> timer1_;
  // Last: gone before the program its 播放 calls.
  std::unique_ptr<TWin32ListMenu> listMenu_;
};

}  // namespace mv
