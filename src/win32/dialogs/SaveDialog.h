// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SaveDialog1: the system's save-file dialog (GetSaveFileNameA), through which a single file is
// copied under a name the user chooses.

#include <windows.h>

#include <string>
#include <vector>

namespace mv {

class TSaveDialog {
 public:
  // The options this program sets or reads back; each is the OFN_ flag of the same value, and
  // Execute passes the classic set's other bits on as well.
  enum TOpenOption : unsigned {
    ofReadOnly = 0x1,
    ofHideReadOnly = 0x4,
    ofExtensionDifferent = 0x400,
    ofEnableSizing = 0x800000,
  };

  // "Description|pattern|Description|pattern..." -- here "音乐|*.*" (UTF-8 or ANSI).
  std::string Filter;
  int FilterIndex = 1;
  // In: the proposed name. Out (after true): the full path the user chose, exactly as typed.
  std::string FileName;
  std::string InitialDir;
  unsigned Options = ofHideReadOnly | ofEnableSizing;

  // Runs the dialog modally, owned by owner, centred on the screen once it has initialised,
  // with the thread's other windows disabled meanwhile. True when the user confirmed a name.
  bool Execute(HWND owner);
};

namespace testing {

struct SaveDialogAnswer {
  bool confirmed = false;
  std::string fileName;
};

// What an answered dialog was offered: the record Execute built.
struct SaveDialogOffer {
  std::string fileName;  // the name buffer's text
  std::string filter;    // every "|" a NUL, a closing NUL pair, in the ANSI code page
  DWORD flags = 0;
  DWORD nameBufferSize = 0;
  DWORD structSize = 0;
};

// While answers are queued, Execute takes the first instead of showing the dialog.
void QueueSaveDialogAnswer(SaveDialogAnswer answer);
void ClearSaveDialogAnswers();
std::vector<SaveDialogOffer> TakeSaveDialogOffers();

}  // namespace testing

}  // namespace mv
