// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save-file dialog through which a single file is copied under a name the user chooses.

#include <string>

class QWidget;

namespace mv {

class TSaveDialog {
 public:
  // The options this dialog honours; the rest of the classic option set has no meaning here.
  enum TOpenOption : unsigned {
    ofOverwritePrompt = 0x2,  // ask before an existing file is chosen
    ofHideReadOnly = 0x4,     // no "open read-only" check box (there never is one here)
    ofEnableSizing = 0x800000,
  };

  TSaveDialog() = default;

  // "Description|pattern[;pattern...]|Description|pattern..." -- e.g. "音乐|*.*"; the first is
  // offered first.
  std::string Filter;
  // In: the proposed name, optionally with a directory, which then is the starting folder (else
  // the current directory).
  // Out (after true): the full path the user chose, exactly as typed (no extension is added).
  // Bytes in the locale's encoding; bytes the user did not edit are returned unchanged.
  std::string FileName;
  // A set of TOpenOption bits. The default: read-only hidden, sizable, no overwrite question.
  unsigned Options = ofHideReadOnly | ofEnableSizing;

  // Runs the dialog modally, centred on the screen. True when the user confirmed a name;
  // false on Cancel, Esc or close, with FileName unchanged.
  bool Execute(QWidget* owner = nullptr);
};

}  // namespace mv
