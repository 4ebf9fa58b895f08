// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decoding of change batches into handler calls. Pure functions: the worker's hand-over runs them
// on the main thread, the tests run them directly.

#include <cstddef>
#include <cstdint>
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

// The directory with the platform's directory delimiter appended unless it already ends in one
// (a trail byte that equals the delimiter does not count).
std::string WithDirDelimiter(std::string_view directory);

// The relative name trimmed of leading and trailing bytes 0x00..0x20, after the directory
// (which ends with its delimiter); the empty string when nothing is left of the name.
std::string FullChangeName(std::string_view directory, std::string_view relative);

// Records to handler calls, in record order: actions 1..3 give foAdded, foRemoved, foModified;
// an old-name record (4) waits for the next new-name record (5) and the pair gives one foRenamed
// (old full name, new full name); a record of actions 1..3 in between cancels the wait. A
// new-name record without a waiting old name, an old name never followed by its new name, and
// unknown actions give nothing.
std::vector<TFileEvent> DecodeBatch(const TChangeBatch& batch, std::string_view directory);

// The system's change-record layout (little-endian, each record: next-entry offset, action,
// name length in bytes, the UTF-16 name), converted to the narrow encoding. Stops at the record
// whose offset is 0, and at the first record that does not fit in the buffer whole; never reads
// outside [buf, buf + size).
TChangeBatch ParseChangeRecords(const std::uint8_t* buf, std::size_t size);

std::vector<TFileEvent> DecodeChangeRecords(const std::uint8_t* buf, std::size_t size,
                                            std::string_view directory);

}  // namespace mv
