// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recovery from the system's dropped changes, the same for every change source: when to rescan,
// from which change time on, and which names a scan or the records have reported already, so
// that nothing is reported twice. No system calls: the source gives the times.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace mv {

// The steady clock the recovery runs on, in nanoseconds.
std::int64_t SteadyNow();

class TOverflowRecovery {
 public:
  // Times in nanoseconds. "File time" is the clock of the file system's change times; "steady"
  // a monotonic clock. Files changed this long before the last complete read are rescanned too:
  // file times are coarse and clocks may step.
  static constexpr std::int64_t kMargin = 2'000'000'000;
  static constexpr std::int64_t kMinBackoff = 250'000'000;
  static constexpr std::int64_t kMaxBackoff = 5'000'000'000;
  // Overflows within this long after a rescan make the next one wait longer.
  static constexpr std::int64_t kAgainWithin = 10'000'000'000;

  // A read that began at fileTime and lost nothing has been handed over. Records reported
  // before fileTime - kMargin can no longer meet a rescan and are forgotten.
  void ReadComplete(std::int64_t fileTime);
  // The system dropped changes. Overflows before the rescan merge into it.
  void Overflowed(std::int64_t steadyNow);
  bool Pending() const { return pending_; }
  // When the pending rescan may run (steady clock).
  std::int64_t Due() const { return due_; }
  // Starts the rescan; the file time from which on changed entries are to be reported.
  // Pending() is false from here on, until the next overflow.
  std::int64_t BeginRescan(std::int64_t steadyNow);
  // Ends the rescan: how many names it reported.
  std::uint64_t EndRescan(std::int64_t steadyNow);

  // A name the records report as added (at fileNow): false when a scan reported it already,
  // its record having come after the scan.
  bool RecordAdded(const std::string& rel, std::int64_t fileNow);
  // A name a scan found (a rescan, or the listing of a new directory): false when the records or
  // an earlier scan reported it already.
  bool ScanFound(const std::string& rel, std::int64_t fileNow);
  // The name is gone (removed, renamed away): a new file of that name is reported anew.
  void Forget(const std::string& rel);
  // No record has come for a while: the records of what scans reported have all come.
  void Quiet() { scanned_.clear(); }
  bool HasScanned() const { return !scanned_.empty(); }
  bool WasScanned(const std::string& rel) const { return scanned_.count(rel) != 0; }
  void Reset();

 private:
  bool pending_ = false;
  bool rescanning_ = false;
  std::int64_t lastComplete_ = 0;
  std::int64_t threshold_ = 0;
  std::int64_t due_ = 0;
  std::int64_t lastRescanEnd_ = 0;
  bool rescannedBefore_ = false;
  std::int64_t backoff_ = 0;
  std::uint64_t found_ = 0;
  std::unordered_set<std::string> scanned_;
  std::unordered_map<std::string, std::int64_t> reported_;
};

}  // namespace mv
