// SPDX-License-Identifier: GPL-3.0-or-later
// The portable half of the file rules: their error texts.
#include "utility/FileRules.h"

#include "utility/SysUtils.h"

namespace mv {

template <>
std::string TFileResult::Reason() const {
  switch (fault_) {
    case TFileFault::None:
      return {};
    case TFileFault::OpenForWriting:
      return "another program has the file open for writing";
    case TFileFault::SourceChanged:
      return "the source changed during the copy";
    case TFileFault::Cancelled:
      return "cancelled";
    case TFileFault::SameFile:
      return "source and target are the same file";
    case TFileFault::NotAFile:
      return "not a regular file";
    case TFileFault::System:
      break;
  }
  return SystemErrorText(error_);
}

bool FileIsBeingWritten(const std::string& name) {
  const std::optional<TListedFile> file = InspectListedFile(name);
  return file && file->beingWritten;
}

void RaiseOpenError(const std::string& name) {
  throw EFOpenError(FormatS(text::kCannotOpenFile, {name}));
}

}  // namespace mv
