// SPDX-License-Identifier: GPL-3.0-or-later
// The portable parts of the change pipeline: rename pairing, the record-number adapter, and the
// overflow recovery policy, without the operating system.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

// Collects what a source says through the sink.
struct TCollect final : IChangeSink {
  TChanges changes;
  std::vector<std::pair<std::string, bool>> removed;
  void Report(TChange c) override { changes.push_back(std::move(c)); }
  bool Interrupted() const override { return false; }
  void Notice(const std::string&) override {}
  void MayHaveRemoved(std::string rel, bool subtree) override {
    removed.emplace_back(std::move(rel), subtree);
  }
};

TEST(ChangeSinkAdd, RecordNumbersBecomeChangesWithNamesKeptExactly) {
  TCollect sink;
  sink.Add(caAdded, " lead.mp3");
  sink.Add(caRenamedOld, "old ");
  sink.Add(caRenamedNew, "new ");
  sink.Add(caRenamedNew, "second-new");  // pairs with nothing
  sink.Add(caRenamedOld, "gone");        // its new name never comes
  sink.Add(caModified, "m");
  sink.Add(caRemoved, "r");
  sink.Add(99, "unknown");
  EXPECT_EQ(sink.changes, (TChanges{Ch(K::ckAdded, " lead.mp3"), Ch(K::ckRenamed, "old ", "new "),
                                    Ch(K::ckModified, "m"), Ch(K::ckRemoved, "r")}));
  EXPECT_EQ(sink.removed, (std::vector<std::pair<std::string, bool>>{{"gone", true}}));
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
