// SPDX-License-Identifier: GPL-3.0-or-later
// The portable parts of the change pipeline: rename pairing, the pairing of change records, and
// the overflow recovery policy, without the operating system.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "FileSystemWatcher/ChangeRecords.h"
#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/OverflowRecovery.h"

namespace mv {
namespace {

using K = TChangeKind;
using E = TEntryKind;

TChange Ch(K kind, std::string name, std::string newName = {}, E entry = E::ekUnknown) {
  return TChange{kind, std::move(name), std::move(newName), entry};
}

TEST(RenamePairer, PairsByCookieAndLeavesTheRestToTheCaller) {
  TRenamePairer p;
  p.From(7, "a", E::ekDirectory);
  p.From(8, "b", E::ekFile);
  EXPECT_FALSE(p.To(9, "moved-in", E::ekFile).has_value());  // nothing waits under 9
  EXPECT_EQ(p.To(8, "b2", E::ekUnknown), Ch(K::ckRenamed, "b", "b2", E::ekFile));
  EXPECT_FALSE(p.To(8, "b3", E::ekFile).has_value());  // once only
  p.From(7, "a-again", E::ekUnknown);
  // A reused cookie means the latest old half; the new half tells the kind the old did not.
  EXPECT_EQ(p.To(7, "x", E::ekFile), Ch(K::ckRenamed, "a-again", "x", E::ekFile));
  EXPECT_TRUE(p.Waiting());
  EXPECT_EQ(p.TakeWaiting(), (TChanges{Ch(K::ckRemoved, "a", {}, E::ekDirectory)}));
  EXPECT_FALSE(p.Waiting());
}

TEST(PairRecords, RenameHalvesPairRightAfterEachOtherAndNamesAreKeptExactly) {
  const TChangeBatch batch{{caAdded, " lead.mp3"}, {caRenamedOld, "old "},
                           {caRenamedNew, "new "}, {caRenamedNew, "second-new"},
                           {caRenamedOld, "gone"}, {caModified, "m"},
                           {caRemoved, "r"},       {99, "unknown"},
                           {caRenamedOld, "last"}};
  std::vector<std::pair<TChange, bool>> seen;
  PairRecords(batch, [&](TChange c, bool alone) {
    seen.emplace_back(std::move(c), alone);
    return true;
  });
  // A new name without its old one was moved in; an old one without its new one, moved out.
  EXPECT_EQ(seen, (std::vector<std::pair<TChange, bool>>{{Ch(K::ckAdded, " lead.mp3"), false},
                                                         {Ch(K::ckRenamed, "old ", "new "), false},
                                                         {Ch(K::ckAdded, "second-new"), true},
                                                         {Ch(K::ckRemoved, "gone"), true},
                                                         {Ch(K::ckModified, "m"), false},
                                                         {Ch(K::ckRemoved, "r"), false},
                                                         {Ch(K::ckRemoved, "last"), true}}));
  int calls = 0;
  PairRecords(batch, [&](TChange, bool) { return ++calls < 2; });
  EXPECT_EQ(calls, 2);  // nothing more once the visitor says stop
}

constexpr std::int64_t kS = 1'000'000'000;
constexpr std::int64_t kMs = 1'000'000;

TEST(OverflowRecovery, RescanFromTheLastCompleteReadWithMergingAndBackOff) {
  TOverflowRecovery r;
  r.ReadComplete(100 * kS);
  EXPECT_FALSE(r.Pending());
  r.Overflowed(1 * kS);
  ASSERT_TRUE(r.Pending());
  EXPECT_EQ(r.Due(), 1 * kS);  // the first one at once
  r.ReadComplete(90 * kS);     // an overflow after an older complete read merges into it
  r.Overflowed(2 * kS);
  EXPECT_EQ(r.BeginRescan(2 * kS), 88 * kS);  // the older threshold, less the margin
  EXPECT_FALSE(r.Pending());
  EXPECT_EQ(r.EndRescan(3 * kS), 0u);

  // Overflows right after each rescan wait longer each time, up to the maximum.
  std::int64_t t = 3 * kS;
  for (const std::int64_t wait : {0LL, 250LL, 500LL, 1000LL, 2000LL, 4000LL, 5000LL, 5000LL}) {
    r.Overflowed(t);
    EXPECT_EQ(r.Due() - t, wait * kMs) << "after " << t;
    t = r.Due();
    r.BeginRescan(t);
    r.EndRescan(t);
  }
  // ... and after more than 10 s without an overflow, the next one is rescanned at once.
  r.Overflowed(t + 11 * kS);
  r.BeginRescan(t + 11 * kS);
  r.EndRescan(t + 11 * kS);
  r.Overflowed(t + 11 * kS);
  EXPECT_EQ(r.Due(), t + 11 * kS);
}

TEST(OverflowRecovery, NothingIsReportedTwiceBetweenRecordsAndScans) {
  TOverflowRecovery r;
  r.ReadComplete(10 * kS);
  // Reported by its record before the overflow: the rescan skips it.
  EXPECT_TRUE(r.RecordAdded("before", 10 * kS));
  r.Overflowed(0);
  r.BeginRescan(0);
  EXPECT_FALSE(r.ScanFound("before", 11 * kS));
  // Found by the rescan: its queued record that follows is dropped, once.
  EXPECT_TRUE(r.ScanFound("lost", 11 * kS));
  EXPECT_FALSE(r.ScanFound("lost", 11 * kS));
  EXPECT_TRUE(r.ScanFound("lost2", 11 * kS));
  EXPECT_EQ(r.EndRescan(1), 2u);  // the notice's count: what the rescan recovered
  EXPECT_FALSE(r.RecordAdded("lost", 12 * kS));
  EXPECT_TRUE(r.HasScanned());
  // Once the queue has been quiet, a record of the same name is a new file.
  r.Quiet();
  EXPECT_FALSE(r.HasScanned());
  EXPECT_TRUE(r.RecordAdded("lost2", 12 * kS));
  // A name that went away may be reported anew by a scan.
  r.Forget("before");
  EXPECT_TRUE(r.ScanFound("before", 12 * kS));
  // Records older than the margin before a complete read can no longer meet a rescan.
  EXPECT_TRUE(r.RecordAdded("old", 12 * kS));
  r.ReadComplete(14 * kS);
  EXPECT_FALSE(r.ScanFound("old", 15 * kS));  // 12 s is within the margin of 14 s
  r.Quiet();
  r.ReadComplete(20 * kS);
  EXPECT_TRUE(r.ScanFound("old", 20 * kS));
  // New directories' listings count as scans, but not toward a rescan's figure.
  r.Overflowed(100 * kS);
  r.BeginRescan(100 * kS);
  EXPECT_EQ(r.EndRescan(100 * kS), 0u);
}

}  // namespace
}  // namespace mv
