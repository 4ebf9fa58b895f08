// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Existence, copy, rename and open rules. Names are narrow byte strings, passed to the system
// as they are (no re-encoding), so a name that is not valid in the locale still works.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mv {

// True for an existing file that is not a directory, whatever its timestamps. A name holding
// '*' or '?' that does not exist literally is matched as a pattern in its directory; the first
// match decides.
bool FileIsPresent(const std::string& name);

// 0 when name is a directory (of any length); otherwise why not, as an errno value: ENOTDIR for
// something else of that name.
int DirectoryError(const std::string& name);

// True while another program holds the file open for writing (a download in progress), as far
// as the system lets us ask without disturbing the writer: the lease test of OpenForReading on
// Linux, a sharing violation on Windows. False for a file that is complete, missing or no
// regular file, and where the question cannot be asked (another user's file, a file system
// without leases): such a file is taken as complete.
bool FileIsBeingWritten(const std::string& name);

// Why a copy or a rename did not happen. The window looks only at success; melvigil-cli
// tells the reason.
enum class TFileFault {
  None,
  OpenForWriting,  // another program holds the file open for writing (a download in progress)
  SourceChanged,   // the source's size or modification time changed while it was copied
  Cancelled,       // the progress callback asked to stop
  SameFile,        // source and target are one file under two names
  NotAFile,        // the source is no regular file, or the target is a directory
  System,          // the system refused; error holds errno (Linux) or GetLastError() (Windows)
};

// What an operation on a file came to: None, or why not (TFault::System with the system's
// error code in Error()). Each fault type words its reasons in Reason().
template <class TFault>
class TResult {
 public:
  TResult() = default;
  TResult(TFault fault, int error = 0) : fault_(fault), error_(error) {}
  static TResult SystemError(int error) { return {TFault::System, error}; }
  explicit operator bool() const { return fault_ == TFault::None; }
  TFault Fault() const { return fault_; }
  int Error() const { return error_; }
  std::string Reason() const;

 private:
  TFault fault_ = TFault::None;
  int error_ = 0;
};

// In plain words, for the command-line tool: "No space left on device", "Permission denied",
// "the source changed during the copy", ...
using TFileResult = TResult<TFileFault>;
template <>
std::string TFileResult::Reason() const;

// The system's own words for an error code of this platform.
std::string SystemErrorText(int error);

// Never replaces an existing target, and never renames a file that another program holds open
// for writing: its downloader would lose it at its own final rename (on Linux this is asked by
// a read lease held while the name changes; Windows refuses such a rename by itself).
TFileResult RenameFileTo(const std::string& oldName, const std::string& newName);

// Replaces an existing target, but never damages a file: copying a file onto itself fails and
// leaves it untouched, a copy that fails part-way leaves the old target as it was, the
// source's permissions are kept.
// The copy succeeds only when the source was not open for writing when it began (the lease
// test of OpenForReading) and neither its size nor its modification time changed while it was
// copied: a download still being written is never reported as copied.
// On Linux the data goes into an unnamed file in the target's directory, which gets a name
// only once it is complete and flushed, so a copy killed part-way leaves nothing behind. Where
// the file system has no unnamed files, a named temporary beside the target is used and
// removed on SIGINT, SIGTERM and SIGHUP (a previous handler is still called). A target that is
// a symbolic link is replaced by the copy; the file the link pointed to is never written. The
// permission bits (0777) and the modification time of the source are kept. Only regular files
// are copied.
// progress (optional) is called between chunks with the bytes copied so far; returning false
// cancels the copy (the target is then left as it was).
using TCopyProgress = bool (*)(void* context, std::uint64_t copied, std::uint64_t total);
TFileResult CopyFileOverwrite(const std::string& source, const std::string& target,
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

// A listed file as it is now, for melvigil-cli: its size, and whether another program holds it
// open for writing where the system lets us ask (the lease test of OpenForReading). Nothing for
// a name that is no regular file we can open.
struct TListedFile {
  std::uint64_t size = 0;
  bool beingWritten = false;
};
std::optional<TListedFile> InspectListedFile(const std::string& name);

// Raises EFOpenError with "不能打开文件 %s" for name.
[[noreturn]] void RaiseOpenError(const std::string& name);

}  // namespace mv
