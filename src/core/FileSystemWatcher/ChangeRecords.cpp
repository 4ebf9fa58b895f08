// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/ChangeRecords.h"

#include <utility>

#include "utility/NameRules.h"

namespace mv {

namespace {

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr std::size_t kRecordHeader = 12;

}  // namespace

std::string FullName(std::string_view directory, std::string_view relative) {
  if (relative.empty()) return {};
  std::string full;
  full.reserve(directory.size() + relative.size());
  full.append(directory);
  full.append(relative);
  return full;
}

std::string TrimmedRecordName(std::string_view name) { return TrimControlChars(name); }

TFileEvent ChangeEvent(const TChange& change, std::string_view directory) {
  static constexpr TFileOperation kOperation[] = {
      TFileOperation::foAdded, TFileOperation::foRemoved, TFileOperation::foModified,
      TFileOperation::foRenamed};
  return TFileEvent{
      kOperation[static_cast<unsigned>(change.kind)], FullName(directory, change.name),
      change.kind == TChangeKind::ckRenamed ? FullName(directory, change.newName) : std::string()};
}

void PairRecords(const TChangeBatch& batch,
                 const std::function<bool(TChange change, bool alone)>& visit) {
  const TChangeRecord* old = nullptr;  // an old name waiting for its new name
  auto change = [](TChangeKind kind, const std::string& name, const std::string& newName) {
    return TChange{kind, name, newName, TEntryKind::ekUnknown};
  };
  auto movedOut = [&] {
    const TChangeRecord* gone = std::exchange(old, nullptr);
    return gone == nullptr || visit(change(TChangeKind::ckRemoved, gone->name, {}), true);
  };
  for (const TChangeRecord& r : batch) {
    bool more = true;
    switch (r.action) {
      case caAdded:
      case caRemoved:
      case caModified:
        more = movedOut() &&
               visit(change(static_cast<TChangeKind>(r.action - caAdded), r.name, {}), false);
        break;
      case caRenamedOld:
        more = movedOut();  // a second old name replaces the first
        old = &r;
        break;
      case caRenamedNew:
        // Pairs only with the old name right before it, and once.
        if (const TChangeRecord* from = std::exchange(old, nullptr)) {
          more = visit(change(TChangeKind::ckRenamed, from->name, r.name), false);
        } else {
          more = visit(change(TChangeKind::ckAdded, r.name, {}), true);
        }
        break;
      default:  // unknown actions, and the zero of an empty buffer, leave the state alone
        break;
    }
    if (!more) return;
  }
  movedOut();
}

std::vector<TFileEvent> DecodeBatch(const TChangeBatch& batch, std::string_view directory) {
  std::vector<TFileEvent> events;
  events.reserve(batch.size());
  PairRecords(batch, [&](TChange c, bool alone) {
    if (!alone) {
      c.name = TrimmedRecordName(c.name);
      c.newName = TrimmedRecordName(c.newName);
      events.push_back(ChangeEvent(c, directory));
    }
    return true;
  });
  return events;
}

TChangeBatch ParseChangeRecords(const std::uint8_t* buf, std::size_t size) {
  TChangeBatch batch;
  if (buf == nullptr) return batch;
  std::size_t pos = 0;
  // Each step moves forward by a non-zero offset, so the walk ends within size steps whatever
  // the bytes say.
  while (size - pos >= kRecordHeader) {
    const std::uint8_t* rec = buf + pos;
    const std::uint32_t next = ReadLe32(rec);
    const std::uint32_t action = ReadLe32(rec + 4);
    const std::uint32_t length = ReadLe32(rec + 8);
    if (length > size - pos - kRecordHeader) break;  // the name runs past the buffer
    const std::size_t units = length / 2;
    std::vector<char16_t> wide(units);
    for (std::size_t i = 0; i < units; ++i) {
      const std::uint8_t* u = rec + kRecordHeader + 2 * i;
      wide[i] = static_cast<char16_t>(u[0] | u[1] << 8);
    }
    batch.push_back(TChangeRecord{action, WideToAnsi(wide.data(), units)});
    if (next == 0 || next > size - pos) break;
    pos += next;
  }
  return batch;
}

}  // namespace mv
