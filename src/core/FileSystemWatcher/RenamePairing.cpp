// SPDX-License-Identifier: GPL-3.0-or-later
#include <utility>

#include "FileSystemWatcher/ChangeSource.h"

namespace mv {

void TRenamePairer::From(std::uint64_t cookie, std::string name, TEntryKind entry) {
  waiting_.push_back(TWaiting{cookie, std::move(name), entry});
}

std::optional<TChange> TRenamePairer::To(std::uint64_t cookie, std::string newName,
                                         TEntryKind entry) {
  // The latest old half with the cookie: the one a reused cookie means.
  for (auto it = waiting_.rbegin(); it != waiting_.rend(); ++it) {
    if (it->cookie != cookie) continue;
    TChange change{TChangeKind::ckRenamed, std::move(it->name), std::move(newName),
                   it->entry == TEntryKind::ekUnknown ? entry : it->entry};
    waiting_.erase(std::next(it).base());
    return change;
  }
  return std::nullopt;
}

TChanges TRenamePairer::TakeWaiting() {
  TChanges out;
  out.reserve(waiting_.size());
  for (TWaiting& w : waiting_) {
    out.push_back(TChange{TChangeKind::ckRemoved, std::move(w.name), {}, w.entry});
  }
  waiting_.clear();
  return out;
}

}  // namespace mv
