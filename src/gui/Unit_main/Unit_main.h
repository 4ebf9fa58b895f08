// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: its controls, built from the stored description, around the program
// (TProgram) whose commands its handlers call.

#include <QWidget>
#include <memory>
#include <string>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "Unit_main/Controls.h"
#include "Unit_main/ListBox.h"
#include "Unit_main/ListDetails.h"
#include "Unit_main/MainForm.h"
#include "Unit_main/QtDispatcher.h"
#include "Unit_main/SaveUi.h"
#include "Unit_main/Ticker.h"
#include "dialogs/SaveDialog.h"
#include "media/MediaDevice.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace mv {

// The question when the window is closed while a copy runs, and its answers.
inline constexpr const char* kCloseDuringCopyQuestion =
    "文件还在复制。要等复制完成后关闭窗口，还是取消复制并关闭？";
inline constexpr const char* kCloseAfterCopy = "复制完再关闭";
inline constexpr const char* kCancelCopyAndClose = "取消复制并关闭";
inline constexpr const char* kKeepOpen = "不关闭";

class TForm_main : public QWidget {
  Q_OBJECT

 public:
  // device: the player's device (see TProgram); null picks the platform's own.
  explicit TForm_main(QWidget* parent = nullptr, std::unique_ptr<IMediaDevice> device = nullptr);
  ~TForm_main() override;

  // --- controls, parent first ----------------------------------------------------------
  TCoolBar* CoolBar1;
  TPanel* Panel2;
  TLabel* Label3;
  TLabel* Label4;
  TLabel* Label1;
  QLineEdit* Edit1;
  TLabel* Label2;
  QLineEdit* Edit2;
  QCheckBox* CheckBox1;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  QPushButton* BitBtn5;
  QPushButton* BitBtn4;
  QPushButton* BitBtn3;
  TMediaPlayerControl* MediaPlayer1;
  TPanel* Panel1;
  TListBox* ListBox1;

  // --- components ----------------------------------------------------------------------
  TFileSystemWatcher& FileSystemWatcher1() { return program_->FileSystemWatcher1(); }
  TTicker& Timer1() { return program_->Timer1(); }
  TSaveDialog& SaveDialog1() { return saveDialog1_; }
  TMediaPlayer& MediaPlayer() { return program_->MediaPlayer1(); }
  TWindowSaveUi& SaveUi() { return *saveUi_; }

  // --- event handlers --------------------------------------------------------------------
  void FormCreate();
  void Label4Click();
  void BitBtn1Click();
  void BitBtn2Click();
  void ListBox1DblClick();
  void BitBtn5Click();
  void BitBtn3Click();
  void BitBtn4Click();

  // Closes the window without asking: a running copy stops after its current file, and the
  // window closes once it has. For a quit signal, when nobody may be there to answer.
  void CloseCancellingCopy();

  // Edit1's text (the music mask) and Edit2's (the directory to watch) as narrow bytes.
  std::string MaskText() const;
  std::string DirectoryText() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void CreateComponents(std::unique_ptr<IMediaDevice> device);
  void ConnectHandlers();
  void AlignControls();
  void SetMinimumSizeKeepingPanel2();
  enum class TCloseAnswer { FinishCopy, CancelCopy, KeepOpen };
  TCloseAnswer AskCloseDuringCopy();

  // Declared first: destroyed after everything that posts to it.
  TQtDispatcher dispatcher_;
  TSaveDialog saveDialog1_;
  std::unique_ptr<TWindowSaveUi> saveUi_;
  std::unique_ptr<TProgram> program_;
  // Reads only what the pointer hovers; gone before the dispatcher it posts to.
  std::unique_ptr<TListDetails> listDetails_;
  // A close asked for while a copy runs waits for the copy to end.
  bool closePending_ = false;
  bool askingToClose_ = false;
};

// The program's main window, while it exists.
extern TForm_main* Form_main;

}  // namespace mv
