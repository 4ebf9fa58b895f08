// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Existence, copy, rename and open rules. Names are narrow byte strings, passed to the system
// as they are (no re-encoding), so a name that is not valid in the locale still works.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace mv {

// True for an existing file that is not a directory, whatever its timestamps. A name holding
// '*' or '?' that does not exist literally is matched as a pattern in its directory; the first
// match decides.
bool FileIsPresent(const std::string& name);

// Never replaces an existing target; failure is reported by the result only.
bool RenameFileTo(const std::string& oldName, const std::string& newName);

// Replaces an existing target, but never damages a file: copying a file onto itself fails and
// leaves it untouched, a copy that fails part-way leaves the old target as it was, the
// source's permissions are kept. Failure is reported by the result only.
// The copy is written to a temporary file beside the target and renamed over it once complete
// and flushed. A target that is a symbolic link is replaced by the copy; the file the link
// pointed to is never written. The permission bits (0777) and the modification time of the
// source are kept. Only regular files are copied.
// progress (optional) is called between chunks with the bytes copied so far; returning false
// cancels the copy (the target is then left as it was).
using TCopyProgress = bool (*)(void* context, std::uint64_t copied, std::uint64_t total);
bool CopyFileOverwrite(const std::string& source, const std::string& target,
                       TCopyProgress progress = nullptr, void* context = nullptr);

// A read-only stream with no sharing: opening fails with EFOpenError ("不能打开文件 %s") while
// another process holds the file open for writing, where the system lets us ask (on Linux: a
// read lease, which needs the file's owner and a file system with leases; it is released
// before the stream is returned). Only regular files open. Read errors raise mv::Exception.
class TFileStream {
 public:
  virtual ~TFileStream() = default;
  // Reads up to size bytes; returns the count read (0 at the end). Raises on a read error.
  virtual std::size_t Read(void* buffer, std::size_t size) = 0;
};
std::unique_ptr<TFileStream> OpenForReading(const std::string& name);

}  // namespace mv
