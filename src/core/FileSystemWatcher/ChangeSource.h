// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's side of a worker: what turns the system's change notifications into change
// records. Each platform has its own source (files ending _linux.cpp / _windows.cpp); the worker
// loop, the hand-over to the main thread and the decoding are shared.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FileSystemWatcher/FileSystemWatcher.h"

namespace mv {

// What happened to a name.
enum class TChangeKind : std::uint8_t { ckAdded, ckRemoved, ckModified, ckRenamed };

// Whether a name is a directory, where the source knows it.
enum class TEntryKind : std::uint8_t { ekUnknown, ekFile, ekDirectory };

// One change, relative to the watched directory, the name exactly as the system gave it.
struct TChange {
  TChangeKind kind = TChangeKind::ckAdded;
  std::string name;     // the old name of a rename
  std::string newName;  // ckRenamed only
  TEntryKind entry = TEntryKind::ekUnknown;
  friend bool operator==(const TChange&, const TChange&) = default;
};

using TChanges = std::vector<TChange>;

// Pairs the two halves of renames, which inotify reports apart: an old name waits for the new
// name with the same cookie.
class TRenamePairer {
 public:
  void From(std::uint64_t cookie, std::string name, TEntryKind entry);
  // The rename, when the old half with this cookie waits (it then waits no more); otherwise
  // nothing is returned and the caller decides (a name moved in from outside, or dropped).
  std::optional<TChange> To(std::uint64_t cookie, std::string newName, TEntryKind entry);
  // The old halves still waiting, in arrival order, as ckRemoved; none waits afterwards.
  TChanges TakeWaiting();
  bool Waiting() const { return !waiting_.empty(); }

 private:
  struct TWaiting {
    std::uint64_t cookie;
    std::string name;
    TEntryKind entry;
  };
  std::vector<TWaiting> waiting_;
};

// Actions of the Windows change records.
enum TChangeAction : std::uint32_t {
  caAdded = 1,
  caRemoved = 2,
  caModified = 3,
  caRenamedOld = 4,
  caRenamedNew = 5,
};

// One change: the name is relative to the watched directory, in the narrow encoding, untrimmed.
// A rename is a caRenamedOld record followed by its caRenamedNew record in the same batch.
struct TChangeRecord {
  std::uint32_t action = 0;
  std::string name;
  friend bool operator==(const TChangeRecord&, const TChangeRecord&) = default;
};

using TChangeBatch = std::vector<TChangeRecord>;

struct TWatchOptions {
  std::string directory;       // ends with the directory delimiter
  std::uint32_t notifyFilter;  // NotifyFilterMask of the component's filters
  bool watchSubTree;
};

// Implemented by the worker; used by the source on the worker thread only.
class IChangeSink {
 public:
  virtual ~IChangeSink() = default;
  // Appends a change to the batch being collected. May block while an earlier batch is being
  // decoded on the main thread (a long scan thereby stays bounded in memory).
  virtual void Report(TChange change) = 0;
  // True once the worker is told to stop or to reopen: long scans give up early.
  virtual bool Interrupted() const = 0;
  // A notice for the user (Chinese): limit notices once per worker, the others each time.
  virtual void Notice(TNoticeKind kind, const std::string& text) = 0;
  // From here on the whole tree is watched, every directory with its watch, and every change
  // is reported until the next MayHaveRemoved("", true). Said after each (re)arming.
  virtual void Live() = 0;
  // Entries at rel (relative to the watched directory; with subtree, everything below it too)
  // may be gone without a record that says so: a directory moved out or removed, a watch lost.
  // rel "" with subtree is a break of continuity over the whole tree (overflow, lost watch,
  // mount, the watched directory gone): the tree counts as unwatched until the next Live().
  virtual void MayHaveRemoved(std::string rel, bool subtree) = 0;
};

class IChangeSource {
 public:
  virtual ~IChangeSource() = default;
  // Worker thread. Closes what is open, then watches options.directory. Returns false when the
  // directory cannot be watched (missing, not a directory, no access); the source then stays
  // closed and no record comes until the next Open.
  virtual bool Open(const TWatchOptions& options, IChangeSink& sink) = 0;
  virtual void Close() = 0;
  // Worker thread. Waits until the system has changes for it or Wake() is called, then collects
  // the changes available through sink.Report without waiting again. While closed it only waits
  // for Wake().
  virtual void WaitAndCollect(IChangeSink& sink) = 0;
  // Any thread. Makes a current or the next WaitAndCollect return promptly.
  virtual void Wake() = 0;
};

// The source of this platform (inotify on Linux).
std::unique_ptr<IChangeSource> CreatePlatformChangeSource();

// The directory a stored or typed value names on this platform: on Linux the stored default
// "C:\" stands for the user's home directory; other values are kept as they are.
std::string PlatformWatchedDir(std::string_view value);

}  // namespace mv
