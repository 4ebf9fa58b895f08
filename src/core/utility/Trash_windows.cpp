// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>

#include "utility/Trash.h"

namespace mv {

TTrashResult MoveToTrash(const std::string& name) {
  if (name.empty()) return TTrashFault::Missing;
  char full[MAX_PATH];
  char* filePart = nullptr;
  const DWORD n = ::GetFullPathNameA(name.c_str(), MAX_PATH, full, &filePart);
  if (n == 0 || n >= MAX_PATH) return {TTrashFault::System, static_cast<int>(::GetLastError())};
  const DWORD attributes = ::GetFileAttributesA(full);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return TTrashFault::Missing;
    }
    return {TTrashFault::System, static_cast<int>(error)};
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return TTrashFault::NotAFile;

  // With FOF_ALLOWUNDO the shell deletes for good what its recycle bin cannot take (a drive
  // without one, a file too large for it). A drive without a recycle bin is refused here; for
  // the rest, FOF_WANTNUKEWARNING makes the shell ask before it would delete for good.
  char root[MAX_PATH];
  if (!::GetVolumePathNameA(full, root, MAX_PATH)) return TTrashFault::NoTrash;
  SHQUERYRBINFO info{};
  info.cbSize = sizeof info;
  if (FAILED(::SHQueryRecycleBinA(root, &info))) return TTrashFault::NoTrash;

  // The shell wants a list of names, each ended by a NUL, the list by a second one.
  std::string from(full);
  from.push_back('\0');
  from.push_back('\0');
  SHFILEOPSTRUCTA op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_WANTNUKEWARNING;
  const int result = ::SHFileOperationA(&op);
  if (op.fAnyOperationsAborted) return TTrashFault::NoTrash;
  if (result != 0) return {TTrashFault::System, result};
  return {};
}

}  // namespace mv
