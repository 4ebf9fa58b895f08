// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's side of a worker: what turns the system's change notifications into change
// records. Each platform has its own source (files ending _linux.cpp / _windows.cpp); the worker
// loop, the hand-over to the main thread and the decoding are shared.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileSystemWatcher/FileSystemWatcher.h"

namespace mv {

// Record actions, numbered as the system's change records number them.
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
  // Appends a record to the batch being collected. May block while an earlier batch is being
  // decoded on the main thread (a long scan thereby stays bounded in memory). Never splits a
  // caRenamedOld from the caRenamedNew that follows it.
  virtual void Add(std::uint32_t action, std::string name) = 0;
  // True once the worker is told to stop or to reopen: long scans give up early.
  virtual bool Interrupted() const = 0;
  // A notice for the user (Chinese); the worker passes on the first one only.
  virtual void Notice(const std::string& text) = 0;
  // A notice of the given kind: limit notices once per worker, the others each time.
  virtual void Notice(TNoticeKind kind, const std::string& text) {
    if (kind == TNoticeKind::nkLimit) Notice(text);
  }
  // From here on the whole tree is watched, every directory with its watch, and every change
  // is reported until the next MayHaveRemoved("", true). Said after each (re)arming.
  virtual void Live() {}
  // Entries at rel (relative to the watched directory; with subtree, everything below it too)
  // may be gone without a record that says so: a directory moved out or removed, a watch lost.
  // rel "" with subtree is a break of continuity over the whole tree (overflow, lost watch,
  // mount, the watched directory gone): the tree counts as unwatched until the next Live().
  virtual void MayHaveRemoved(std::string rel, bool subtree) {
    (void)rel;
    (void)subtree;
  }
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
  // the changes available through sink.Add without waiting again. While closed it only waits
  // for Wake().
  virtual void WaitAndCollect(IChangeSink& sink) = 0;
  // Any thread. Makes a current or the next WaitAndCollect return promptly.
  virtual void Wake() = 0;
};

// The source of this platform (inotify on Linux).
std::unique_ptr<IChangeSource> CreatePlatformChangeSource();

}  // namespace mv
