// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/SaveUi.h"

#include "dialogs/ErrorBox.h"
#include "dialogs/MessageBox.h"
#include "dialogs/SelectDirDlg.h"

namespace mv {

bool TWin32SaveUi::ExecuteSaveDialog(std::string& fileName) {
  saveDialog_.FileName = fileName;
  if (!saveDialog_.Execute(owner_)) return false;
  fileName = saveDialog_.FileName;
  return true;
}

bool TWin32SaveUi::ChooseDirectory(std::string& dir) {
  return mv::ChooseDirectory(false, dir, owner_);
}

void TWin32SaveUi::ShowInfoMessage(const std::string& text) { mv::ShowInfoMessage(text); }

void TWin32SaveUi::RunWithProgress(int, const std::function<void(TProgress&)>& work) {
  TDirectProgress progress;
  const HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  try {
    work(progress);
  } catch (...) {
    SetCursor(previous);
    throw;
  }
  SetCursor(previous);
}

void TWin32SaveUi::ShowError(const std::exception& error) { ShowErrorBox(error); }

void TWin32SaveUi::ShowNotice(const std::string& text) { mv::ShowInfoMessage(text); }

}  // namespace mv
