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

std::string WithDirDelimiter(std::string_view directory) {
  std::string out(directory);
  if (!EndsWithDirDelimiter(out)) out += PlatformDelimiters().directory.front();
  return out;
}

std::string FullChangeName(std::string_view directory, std::string_view relative) {
  std::string name = TrimControlChars(relative);
  if (name.empty()) return name;
  std::string full;
  full.reserve(directory.size() + name.size());
  full.append(directory);
  full.append(name);
  return full;
}

std::vector<TFileEvent> DecodeBatch(const TChangeBatch& batch, std::string_view directory) {
  std::vector<TFileEvent> events;
  events.reserve(batch.size());
  bool renamePending = false;
  std::string oldName;
  for (const TChangeRecord& r : batch) {
    switch (r.action) {
      case caAdded:
      case caRemoved:
      case caModified:
        renamePending = false;
        events.push_back(TFileEvent{
            static_cast<TFileOperation>(r.action - 1), FullChangeName(directory, r.name), {}});
        break;
      case caRenamedOld:
        renamePending = true;
        oldName = FullChangeName(directory, r.name);
        break;
      case caRenamedNew:
        // A new name pairs with the old name waiting right before it, once: a second new name
        // is not a second rename of the same file.
        if (renamePending) {
          events.push_back(TFileEvent{TFileOperation::foRenamed, std::move(oldName),
                                      FullChangeName(directory, r.name)});
          oldName.clear();
        }
        renamePending = false;
        break;
      default:  // unknown actions, and the zero of an empty buffer, leave the state alone
        break;
    }
  }
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
