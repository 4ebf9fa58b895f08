// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The directory chooser: a modal dialog built from ordinary controls (drive combo box, folder
// list, file list, path label), filled by the system's DlgDirList family.

#include <windows.h>

#include <string>
#include <vector>

#include "dialogs/SelectDirForm.h"

namespace mv {

enum TSelectDirOpt : unsigned {
  sdAllowCreate = 1,    // the user may type a folder that does not exist yet
  sdPerformCreate = 2,  // after OK the folder is created with all missing parents
  sdPrompt = 4,         // with sdAllowCreate: ask before accepting a folder that does not exist
};

// Control identifiers of the chooser, for tests that look at the live dialog.
enum TSelectDirControl : int {
  idDirEdit = 101,
  idDirLabel = 102,
  idDriveList = 103,
  idDirList = 104,
  idFileList = 105,
  idNetButton = 106,
  idHelpButton = 107,
  idDirNameCaption = 108,
  idDirCaption = 109,
  idFileCaption = 110,
  idDriveCaption = 111,
  // OK and Cancel are IDOK and IDCANCEL.
};
// The identifier of the chooser's control of that name in its description; 0 for none.
int SelectDirControlId(const std::string& name);

// The chooser entry: shows the dialog modally (owned by owner) with dir as the starting folder
// and writes the chosen folder back into dir only on OK. True exactly when it closed with OK.
// The process's current directory is the same afterwards.
bool SelectDirectory(std::string& dir, unsigned options, int helpContext, HWND owner);

// The main window's entry: options sdAllowCreate | sdPrompt when flag, else sdPrompt; help
// context 0.
bool ChooseDirectory(bool flag, std::string& dir, HWND owner = nullptr);

namespace testing {

struct SelectDirAnswer {
  bool confirmed = false;
  std::string dir;
};
struct SelectDirOffer {
  std::string dir;
  unsigned options = 0;
  int helpContext = 0;
};
// While answers are queued, SelectDirectory takes the first instead of showing the dialog.
void QueueSelectDirAnswer(SelectDirAnswer answer);
void ClearSelectDirAnswers();
std::vector<SelectDirOffer> TakeSelectDirOffers();

}  // namespace testing

}  // namespace mv
