// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/Trash.h"

#include "utility/FileRules.h"

namespace mv {

std::string TTrashResult::Reason() const {
  switch (fault_) {
    case TTrashFault::None:
      return {};
    case TTrashFault::Missing:
      return "the file is gone";
    case TTrashFault::NotAFile:
      return "not a file";
    case TTrashFault::NoTrash:
      return "no trash can take a file from where it is";
    case TTrashFault::System:
      return SystemErrorText(error_);
  }
  return {};
}

}  // namespace mv
