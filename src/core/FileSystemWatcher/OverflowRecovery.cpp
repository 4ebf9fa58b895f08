// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/OverflowRecovery.h"

#include <algorithm>
#include <chrono>

namespace mv {

std::int64_t SteadyNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void TOverflowRecovery::ReadComplete(std::int64_t fileTime) {
  lastComplete_ = fileTime;
  const std::int64_t horizon = fileTime - kMargin;
  for (auto it = reported_.begin(); it != reported_.end();) {
    it = it->second < horizon ? reported_.erase(it) : std::next(it);
  }
}

void TOverflowRecovery::Overflowed(std::int64_t steadyNow) {
  const std::int64_t threshold = lastComplete_ - kMargin;
  if (pending_) {
    threshold_ = std::min(threshold_, threshold);
    return;
  }
  pending_ = true;
  threshold_ = threshold;
  due_ = rescannedBefore_ ? std::max(steadyNow, lastRescanEnd_ + backoff_) : steadyNow;
}

std::int64_t TOverflowRecovery::BeginRescan(std::int64_t steadyNow) {
  pending_ = false;
  rescanning_ = true;
  found_ = 0;
  // Overflows in quick succession: wait longer before the next rescan, up to kMaxBackoff.
  const bool again = rescannedBefore_ && steadyNow - lastRescanEnd_ < kAgainWithin;
  backoff_ = again ? std::clamp(backoff_ * 2, kMinBackoff, kMaxBackoff) : 0;
  return threshold_;
}

std::uint64_t TOverflowRecovery::EndRescan(std::int64_t steadyNow) {
  rescanning_ = false;
  rescannedBefore_ = true;
  lastRescanEnd_ = steadyNow;
  return found_;
}

bool TOverflowRecovery::RecordAdded(const std::string& rel, std::int64_t fileNow) {
  if (!scanned_.empty() && scanned_.erase(rel) != 0) return false;
  reported_[rel] = fileNow;
  return true;
}

bool TOverflowRecovery::ScanFound(const std::string& rel, std::int64_t fileNow) {
  if (reported_.count(rel) != 0 || !scanned_.insert(rel).second) return false;
  reported_[rel] = fileNow;
  if (rescanning_) ++found_;
  return true;
}

void TOverflowRecovery::Forget(const std::string& rel) {
  if (!scanned_.empty()) scanned_.erase(rel);
  reported_.erase(rel);
}

void TOverflowRecovery::Reset() { *this = TOverflowRecovery(); }

}  // namespace mv
