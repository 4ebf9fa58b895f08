// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decoding of change batches into handler calls. Pure functions: the worker's hand-over runs them
// on the main thread, the Windows source pairs its records with them, the tests run them
// directly.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/FileSystemWatcher.h"

namespace mv {

// One handler call.
struct TFileEvent {
  TFileOperation operation = TFileOperation::foAdded;
  std::string name1;
  std::string name2;
  friend bool operator==(const TFileEvent&, const TFileEvent&) = default;
};

// The relative name after the directory (which ends with its delimiter), exactly as it is; the
// empty string for an empty name.
std::string FullName(std::string_view directory, std::string_view relative);

// The name of a Windows change record as the handler gets it: trimmed of leading and trailing
// bytes 0x00..0x20. Names from other systems are never trimmed.
std::string TrimmedRecordName(std::string_view name);

// The handler call for a change: FileName1 the full (old) name, FileName2 the full new name of a
// rename, empty otherwise.
TFileEvent ChangeEvent(const TChange& change, std::string_view directory);

// Windows change records as changes, in record order, the names exactly as recorded: actions
// 1..3 give ckAdded, ckRemoved, ckModified; an old-name record (4) and a new-name record (5)
// right after it give one ckRenamed. A half without its partner comes with alone set: an old
// name not followed by its new name as ckRemoved (moved out of the tree), a new name without
// its old name as ckAdded (moved in). Unknown actions are skipped. Stops once visit returns
// false.
void PairRecords(const TChangeBatch& batch,
                 const std::function<bool(TChange change, bool alone)>& visit);

// Records to handler calls: the pairs and the whole records of PairRecords, names trimmed.
std::vector<TFileEvent> DecodeBatch(const TChangeBatch& batch, std::string_view directory);

// The system's change-record layout (little-endian, each record: next-entry offset, action,
// name length in bytes, the UTF-16 name), converted to the narrow encoding. Stops at the record
// whose offset is 0, and at the first record that does not fit in the buffer whole; never reads
// outside [buf, buf + size).
TChangeBatch ParseChangeRecords(const std::uint8_t* buf, std::size_t size);

}  // namespace mv
