// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/ChangeRecords.h"

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

TChanges RecordsToChanges(const TChangeBatch& batch, std::vector<std::string>* unpairedOld) {
  TChanges changes;
  changes.reserve(batch.size());
  TRenamePairer pairs;
  auto dropWaiting = [&] {
    for (TChange& lost : pairs.TakeWaiting()) {
      if (unpairedOld != nullptr) unpairedOld->push_back(std::move(lost.name));
    }
  };
  // Positions among the records of known actions: unknown ones do not come in between.
  std::uint64_t i = 0;
  for (const TChangeRecord& r : batch) {
    if (r.action >= caAdded && r.action <= caRenamedNew) ++i;
    switch (r.action) {
      case caAdded:
      case caRemoved:
      case caModified:
        dropWaiting();
        changes.push_back(TChange{static_cast<TChangeKind>(r.action - caAdded),
                                  TrimmedRecordName(r.name),
                                  {},
                                  TEntryKind::ekUnknown});
        break;
      case caRenamedOld:
        dropWaiting();  // a second old name replaces the first
        pairs.From(i, TrimmedRecordName(r.name), TEntryKind::ekUnknown);
        break;
      case caRenamedNew:
        // Pairs only with the old name right before it, and once.
        if (auto renamed = pairs.To(i - 1, TrimmedRecordName(r.name), TEntryKind::ekUnknown)) {
          changes.push_back(std::move(*renamed));
        }
        dropWaiting();
        break;
      default:  // unknown actions, and the zero of an empty buffer, leave the state alone
        break;
    }
  }
  dropWaiting();
  return changes;
}

std::vector<TFileEvent> DecodeBatch(const TChangeBatch& batch, std::string_view directory) {
  const TChanges changes = RecordsToChanges(batch);
  std::vector<TFileEvent> events;
  events.reserve(changes.size());
  for (const TChange& c : changes) events.push_back(ChangeEvent(c, directory));
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

std::vector<TFileEvent> DecodeChangeRecords(const std::uint8_t* buf, std::size_t size,
                                            std::string_view directory) {
  return DecodeBatch(ParseChangeRecords(buf, size), directory);
}

}  // namespace mv
