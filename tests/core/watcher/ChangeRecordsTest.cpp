// SPDX-License-Identifier: GPL-3.0-or-later
// The portable decoder: the system's change-record layout and the batch-to-handler-call rules.

#include "FileSystemWatcher/ChangeRecords.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "utility/NameRules.h"

namespace mv {
namespace {

using Op = TFileOperation;

struct TRaw {
  std::uint32_t action;
  std::u16string name;
};

void PutLe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Lays records out as the system does: 4-byte aligned, next-entry offsets, the last one 0.
std::vector<std::uint8_t> Layout(const std::vector<TRaw>& records, std::size_t bufferSize = 0) {
  std::vector<std::uint8_t> b;
  std::size_t prev = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::size_t at = b.size();
    const std::size_t len = records[i].name.size() * 2;
    b.resize(at + ((12 + len + 3) & ~std::size_t{3}));
    PutLe32(b, at + 4, records[i].action);
    PutLe32(b, at + 8, static_cast<std::uint32_t>(len));
    for (std::size_t k = 0; k < records[i].name.size(); ++k) {
      b[at + 12 + 2 * k] = static_cast<std::uint8_t>(records[i].name[k]);
      b[at + 13 + 2 * k] = static_cast<std::uint8_t>(records[i].name[k] >> 8);
    }
    if (i > 0) PutLe32(b, prev, static_cast<std::uint32_t>(at - prev));
    prev = at;
  }
  if (bufferSize > b.size()) b.resize(bufferSize);
  return b;
}

// The bytes in a heap block of exactly their size, so that a read past the end is caught by
// the address sanitizer.
std::vector<TFileEvent> DecodeExact(const std::vector<std::uint8_t>& bytes,
                                    const std::string& dir = "/w/") {
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() ? bytes.size() : 1]);
  if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
  return DecodeBatch(ParseChangeRecords(exact.get(), bytes.size()), dir);
}

TFileEvent Ev(Op op, std::string a, std::string b = {}) {
  return TFileEvent{op, std::move(a), std::move(b)};
}

TEST(ChangeRecords, ActionsGiveOperationsWithFullNamesInRecordOrder) {
  const auto bytes =
      Layout({{1, u"a.mp3"}, {2, u"x\\b.wav"}, {3, u"c"}, {4, u"old.mp3"}, {5, u"new.mp3"}}, 4096);
  EXPECT_EQ(DecodeExact(bytes, "C:\\Temp\\"),
            (std::vector<TFileEvent>{Ev(Op::foAdded, "C:\\Temp\\a.mp3"),
                                     Ev(Op::foRemoved, "C:\\Temp\\x\\b.wav"),
                                     Ev(Op::foModified, "C:\\Temp\\c"),
                                     Ev(Op::foRenamed, "C:\\Temp\\old.mp3", "C:\\Temp\\new.mp3")}));
}

TEST(ChangeRecords, RenameHalvesPairOnlyWithinOneBatchAndOnce) {
  // The old name at the end of one batch and the new name at the start of the next: nothing.
  EXPECT_TRUE(DecodeExact(Layout({{1, u"a"}, {4, u"old"}})).size() == 1);
  EXPECT_TRUE(DecodeExact(Layout({{5, u"new"}})).empty());
  // A record of another action in between cancels the pending old name.
  EXPECT_EQ(DecodeExact(Layout({{4, u"old"}, {1, u"x"}, {5, u"new"}})),
            (std::vector<TFileEvent>{Ev(Op::foAdded, "/w/x")}));
  // Two new names for one old name: one rename.
  EXPECT_EQ(DecodeExact(Layout({{4, u"o"}, {5, u"n1"}, {5, u"n2"}})),
            (std::vector<TFileEvent>{Ev(Op::foRenamed, "/w/o", "/w/n1")}));
  // The later of two old names pairs; unknown actions leave a pending old name alone.
  EXPECT_EQ(DecodeExact(Layout({{4, u"o1"}, {4, u"o2"}, {9, u"?"}, {5, u"n"}})),
            (std::vector<TFileEvent>{Ev(Op::foRenamed, "/w/o2", "/w/n")}));
}

TEST(ChangeRecords, NamesAreTrimmedOfControlBytesAndSpacesAndMayBecomeEmpty) {
  const auto bytes = Layout({{1, u"  song.mp3 \t "}, {1, u"\x01x\x1f"}, {1, u"   "}, {2, u""}});
  EXPECT_EQ(DecodeExact(bytes),
            (std::vector<TFileEvent>{Ev(Op::foAdded, "/w/song.mp3"), Ev(Op::foAdded, "/w/x"),
                                     Ev(Op::foAdded, ""), Ev(Op::foRemoved, "")}));
}

TEST(ChangeRecords, NonAsciiNamesAreConvertedToTheNarrowEncoding) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old ? old : "C";
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  const auto events = DecodeExact(Layout({{1, u"\u6b4c.mp3"}, {1, u"\U0001F3B5"}}));
  std::setlocale(LC_ALL, saved.c_str());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name1, "/w/\xe6\xad\x8c.mp3");
  EXPECT_EQ(events[1].name1, "/w/\xf0\x9f\x8e\xb5");
}

TEST(ChangeRecords, ZeroedOrEmptyBuffersDeliverNothing) {
  EXPECT_TRUE(DecodeExact(std::vector<std::uint8_t>(4096, 0)).empty());
  EXPECT_TRUE(DecodeExact({}).empty());
  EXPECT_TRUE(ParseChangeRecords(nullptr, 100).empty());
  EXPECT_TRUE(DecodeExact(std::vector<std::uint8_t>(11, 1)).empty());  // shorter than a header
}

TEST(ChangeRecords, MalformedChainsStopInsideTheBuffer) {
  // Next offset past the end: the record itself counts, the walk stops.
  auto b = Layout({{1, u"a"}, {1, u"b"}});
  PutLe32(b, 0, 0x7fffffff);
  EXPECT_EQ(DecodeExact(b), (std::vector<TFileEvent>{Ev(Op::foAdded, "/w/a")}));
  // Next offset landing less than a header before the end.
  b = Layout({{1, u"a"}}, 20);
  PutLe32(b, 0, 16);
  EXPECT_EQ(DecodeExact(b).size(), 1u);
  // A name length past the end: that record and the rest are dropped.
  b = Layout({{1, u"a"}, {1, u"b"}});
  PutLe32(b, 16 + 8, 0xfffffff0);
  EXPECT_EQ(DecodeExact(b), (std::vector<TFileEvent>{Ev(Op::foAdded, "/w/a")}));
  b = Layout({{1, u"abcd"}});
  PutLe32(b, 8, static_cast<std::uint32_t>(b.size() - 12 + 1));
  EXPECT_TRUE(DecodeExact(b).empty());
  // An odd length: the half unit is not part of the name.
  b = Layout({{1, u"ab"}});
  PutLe32(b, 8, 3);
  EXPECT_EQ(DecodeExact(b), (std::vector<TFileEvent>{Ev(Op::foAdded, "/w/a")}));
  // Offsets that overlap the name or are not aligned still move forward and end.
  b = Layout({{1, u"abcdefgh"}}, 64);
  PutLe32(b, 0, 1);
  const auto events = DecodeExact(b);
  EXPECT_FALSE(events.empty());
  EXPECT_LE(events.size(), 64u);
}

TEST(ChangeRecords, ArbitraryBytesNeverReadOutsideAndAlwaysEnd) {
  std::mt19937 rng(20240611);
  const auto valid = Layout({{1, u"one"}, {4, u"two"}, {5, u"three"}, {3, u"four"}}, 256);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> b;
    if (round % 2 == 0) {
      b.resize(rng() % 300);
      for (auto& x : b) x = static_cast<std::uint8_t>(rng());
      // Small offsets and lengths make long chains more likely than uniform bytes would.
      for (std::size_t at = 0; at + 12 <= b.size(); at += 4 + rng() % 16) {
        PutLe32(b, at, rng() % 24);
        PutLe32(b, at + 8, rng() % 40);
      }
    } else {
      b = valid;
      b.resize(rng() % (valid.size() + 1));
      for (int k = 0; k < 4 && !b.empty(); ++k)
        b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
    }
    const auto events = DecodeExact(b);
    EXPECT_LE(events.size(), b.size() / 12 + 1);
  }
}

TEST(ChangeRecords, FullNamesNeedTheDirectoryDelimiterOnce) {
  // The platform's own delimiter: "/" on Linux, "\" on Windows.
  const std::string d(1, PlatformDelimiters().directory.front());
  EXPECT_EQ(WithDirDelimiter("home" + d + "u"), "home" + d + "u" + d);
  EXPECT_EQ(WithDirDelimiter("home" + d + "u" + d), "home" + d + "u" + d);
  // Only the Windows records are trimmed: other systems' names are kept exactly.
  EXPECT_EQ(FullName("/home/u/", " a \t"), "/home/u/ a \t");
  EXPECT_EQ(FullName("/home/u/", ""), "");
  EXPECT_EQ(TrimmedRecordName(std::string_view("\x20"
                                               "a\x00",
                                               3)),
            "a");
}

}  // namespace
}  // namespace mv
