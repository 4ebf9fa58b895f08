// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Moving a file to the desktop's trash, from where the user can bring it back: the freedesktop
// trash layout (Trash/files and Trash/info) on Linux, the recycle bin on Windows. A file is only
// ever moved, never deleted: where no trash can take it, nothing happens and the result says why.

#include <string>

#include "utility/FileRules.h"

namespace mv {

enum class TTrashFault {
  None,
  Missing,   // the file is gone already
  NotAFile,  // a directory or a device, not a file
  NoTrash,   // no trash on the file's file system can take it (Linux: neither the home trash
             // nor a usable .Trash/$uid or .Trash-$uid at the top of its file system)
  System,    // the system refused; error holds errno (Linux) or the shell's code (Windows)
};

inline constexpr const char* kReasonGone = "文件已不存在";
inline constexpr const char* kReasonNotAFile = "不是文件";
inline constexpr const char* kReasonNoTrash = "文件所在的文件系统上没有可用的回收站";

// The user's words for why the file stayed where it was: one of the texts above, or the
// system's own.
using TTrashResult = TResult<TTrashFault>;
template <>
std::string TTrashResult::Reason() const;

// Moves the file to the trash of the user's desktop. On Linux: the home trash
// ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash) when the file lies on the same file system,
// else the trash at the top of the file's own file system; files/ and info/ are made when
// missing, the trashed name is made unique, and the .trashinfo (original path, deletion date)
// is written before the file moves, so the file is never in the trash without it.
TTrashResult MoveToTrash(const std::string& name);

}  // namespace mv
