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

void IChangeSink::Add(std::uint32_t action, std::string name) {
  // Record positions are the cookies: only the record right after an old name pairs with it.
  const std::uint64_t at = ++legacyIndex_;
  if (action == caRenamedNew) {
    if (auto renamed = legacyPairs_.To(at - 1, std::move(name), TEntryKind::ekUnknown)) {
      Report(std::move(*renamed));
    }
    return;
  }
  for (TChange& lost : legacyPairs_.TakeWaiting()) MayHaveRemoved(std::move(lost.name), true);
  switch (action) {
    case caAdded:
      Report(TChange{TChangeKind::ckAdded, std::move(name), {}, TEntryKind::ekUnknown});
      break;
    case caRemoved:
      Report(TChange{TChangeKind::ckRemoved, std::move(name), {}, TEntryKind::ekUnknown});
      break;
    case caModified:
      Report(TChange{TChangeKind::ckModified, std::move(name), {}, TEntryKind::ekUnknown});
      break;
    case caRenamedOld:
      legacyPairs_.From(at, std::move(name), TEntryKind::ekUnknown);
      break;
    default:
      break;
  }
}

}  // namespace mv
