// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The directory chooser: a modal dialog built in code in which the user picks (or, with
// sdAllowCreate, types) a target folder.

#include <QDialog>
#include <string>

#include "dialogs/SelectDirForm.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace mv {

class TDriveComboBox;
class TDirectoryListBox;
class TFileListBox;
class TPathLabel;

// Option bits of one SelectDirectory call.
enum TSelectDirOpt : unsigned {
  sdAllowCreate = 1,    // the user may type a folder that does not exist yet
  sdPerformCreate = 2,  // after OK the folder is created with all missing parents
  sdPrompt = 4,         // with sdAllowCreate: ask before accepting a folder that does not exist
};

class TSelectDirDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TSelectDirDlg(QWidget* parent = nullptr);
  ~TSelectDirDlg() override;

  // The starting folder; one that cannot be entered falls back to the current directory.
  void SetDirectory(const std::string& dir);
  // The chosen folder: the edit's text with sdAllowCreate, else the folder list's directory.
  std::string Directory() const;
  void SetOptions(unsigned options);
  unsigned Options() const { return options_; }
  // Zero hides Help and moves OK and Cancel into its and Cancel's places.
  void SetHelpContext(int helpContext);
  // Scales the dialog built at 96 dots per inch to `dpi` and centres it on the screen.
  void ScaleTo(int dpi);

  // The controls, for the entry and for tests.
  QLineEdit* DirEdit() const { return dirEdit_; }
  TPathLabel* DirLabel() const { return dirLabel_; }
  TDriveComboBox* DriveList() const { return driveList_; }
  TDirectoryListBox* DirList() const { return dirList_; }
  TFileListBox* FileList() const { return fileList_; }
  QPushButton* NetButton() const { return netButton_; }
  QPushButton* OKButton() const { return okButton_; }
  QPushButton* CancelButton() const { return cancelButton_; }
  QPushButton* HelpButton() const { return helpButton_; }
  QLabel* DriveCaption() const { return driveCaption_; }

 public slots:
  // OK: with sdAllowCreate and sdPrompt, a folder that does not exist needs a Yes first.
  void accept() override;

 signals:
  // The Help button: there is no help system to show `helpContext`, so only this reports it.
  void HelpRequested(int helpContext);

 private:
  void BuildControls();
  void Relayout();
  void DirListChanged();
  void DriveListChanged();

  QLineEdit* dirEdit_ = nullptr;
  TPathLabel* dirLabel_ = nullptr;
  TDriveComboBox* driveList_ = nullptr;
  TDirectoryListBox* dirList_ = nullptr;
  TFileListBox* fileList_ = nullptr;
  QPushButton* netButton_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QPushButton* helpButton_ = nullptr;
  QLabel* dirNameCaption_ = nullptr;
  QLabel* dirCaption_ = nullptr;
  QLabel* fileCaption_ = nullptr;
  QLabel* driveCaption_ = nullptr;
  unsigned options_ = 0;
  int helpContext_ = 0;
  int dpi_ = 96;
  // What the edit was last given, so an unedited edit returns these bytes exactly.
  std::string editBytes_;
};

// The chooser entry: shows the dialog modally with `dir` as the starting folder and writes the
// chosen folder back into `dir` only on OK; the dialog is destroyed on every way out. True
// exactly when the dialog closed with OK.
bool SelectDirectory(std::string& dir, unsigned options, int helpContext,
                     QWidget* parent = nullptr);

// The main window's entry: options sdAllowCreate | sdPrompt when `flag`, else sdPrompt alone;
// help context 0.
bool ChooseDirectory(bool flag, std::string& dir);

}  // namespace mv
