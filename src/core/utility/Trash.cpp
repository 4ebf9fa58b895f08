// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/Trash.h"

namespace mv {

template <>
std::string TTrashResult::Reason() const {
  switch (fault_) {
    case TTrashFault::None:
      return {};
    case TTrashFault::Missing:
      return kReasonGone;
    case TTrashFault::NotAFile:
      return kReasonNotAFile;
    case TTrashFault::NoTrash:
      return kReasonNoTrash;
    case TTrashFault::System:
      return SystemErrorText(error_);
  }
  return {};
}

}  // namespace mv
