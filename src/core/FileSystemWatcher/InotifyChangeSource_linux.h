// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Linux change source: inotify watches on every directory of the tree, read on the worker
// thread.

#include <sys/inotify.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/InotifyEvents_linux.h"
#include "FileSystemWatcher/InotifyTreeMap_linux.h"
#include "FileSystemWatcher/OverflowRecovery.h"
#include "utility/UniqueFd.h"

namespace mv {

class TInotifyChangeSource final : public IChangeSource {
 public:
  // The system calls a test may replace.
  struct TSystem {
    std::function<int(int fd, const char* path, std::uint32_t mask)> addWatch = inotify_add_watch;
    std::string procSys = "/proc/sys";  // where the inotify limits are read
  };

  TInotifyChangeSource();
  explicit TInotifyChangeSource(TSystem system);
  ~TInotifyChangeSource() override;

  bool Open(const TWatchOptions& options, IChangeSink& sink) override;
  void Close() override;
  void WaitAndCollect(IChangeSink& sink) override;
  void Wake() override;

  // The inotify mask a watch gets for a notify-filter mask.
  static std::uint32_t InotifyMask(std::uint32_t notifyFilter, bool watchSubTree);

  // For tests and benchmarks: watches placed now, and overflow rescans done so far.
  std::size_t WatchCount() const { return tree_.Size(); }
  std::uint64_t RescanCount() const { return rescans_.load(); }

 private:
  enum class TWalk {
    Arm,     // place watches only
    Report,  // a new directory: report everything below it, once
    Moved,   // a directory renamed within the tree: report everything below it at its new place
    Rescan,  // after an overflow: re-place watches, report what changed since the threshold
  };

  bool IsPseudoFs(const std::string& rel) const;
  bool ArmRoot(TWalk mode, IChangeSink& sink);
  void Arm(IChangeSink& sink);
  void RootGone(IChangeSink& sink);
  void MountsChanged(IChangeSink& sink);
  void Rewatch(const std::string& rel, IChangeSink& sink);
  int AddWatch(const std::string& path, int dirFd, bool isRoot);
  void OpenFailed(const std::string& path, int error, IChangeSink& sink);
  void RemoveSubtree(int wd, bool removeOwnWatch);
  void Walk(TArmStart start, TWalk mode, IChangeSink& sink);
  void ReadEvents(IChangeSink& sink);
  void Process(const std::vector<TInotifyEvent>& events, IChangeSink& sink);
  void Renamed(TChange renamed, const TInotifyEvent& to, IChangeSink& sink);
  void MovedOut(IChangeSink& sink);
  void NewDirectory(int parentWd, const std::string& name, std::string rel, IChangeSink& sink);
  void NoteOverflow();
  void Rescan(IChangeSink& sink);
  void Emit(IChangeSink& sink, TChangeKind kind, std::string rel, bool isDir);
  void Added(IChangeSink& sink, std::string rel, bool isDir, bool byRescan);
  void Removed(IChangeSink& sink, std::string rel, bool isDir);
  void Incomplete(IChangeSink& sink);
  void WatchLimitReached(IChangeSink& sink);
  void ReadMountTable();
  bool NewInstance(IChangeSink& sink);
  void InstanceLimitReached(IChangeSink& sink);
  static std::string ScanKey(int wd, const std::string& name);
  bool WasScanned(int wd, const std::string& name) const;

  TSystem system_;
  TUniqueFd wakeFd_;
  TUniqueFd fd_;
  TUniqueFd mountFd_;     // the mount table, which polls as changed after each mount or unmount
  std::string root_;      // with trailing "/"
  std::string realRoot_;  // root_ with symbolic links resolved, as the mount table names it
  std::uint32_t filter_ = 0;
  bool subtree_ = true;
  std::uint32_t mask_ = 0;
  TInotifyTreeMap tree_;
  TInotifyReader reader_;
  TRenamePairer pairs_;  // old names of renames; none waits once WaitAndCollect returns
  std::unordered_set<std::string> pseudoMounts_;    // mount points of pseudo file systems
  std::map<std::string, std::string> mountsBelow_;  // mount point below the root -> mount id
  int rootError_ = 0;                               // why the last walk could not open the root
  bool rootMissing_ = false;                        // waiting for the watched directory to exist
  bool incomplete_ = false;                         // a directory of the tree could not be watched
  bool pendingBreak_ = false;                       // an overflow not yet told to the sink
  bool limitNoticed_ = false;
  bool fdLimitNoticed_ = false;
  bool pathNoticed_ = false;
  std::unordered_set<int> walkVisited_;
  std::string lastModified_;  // the last record emitted was a modification of it; "" when not

  // Names listed by a scan, with the index of the read after which they were listed: their
  // creation events may still be queued. Forgotten once a read has found the queue empty.
  std::unordered_map<std::string, std::uint64_t> scanned_;
  // New directories that were gone when their scan came, kept the same way.
  std::unordered_map<std::string, std::uint64_t> vanished_;
  std::uint64_t readIndex_ = 0;

  // Overflow recovery.
  TOverflowRecovery recovery_;
  std::int64_t rescanThreshold_ = 0;  // file time: the rescan reports what changed since
  bool lastReadDrained_ = true;
  std::int64_t overflowSeen_ = 0;  // steady
  std::atomic<std::uint64_t> rescans_{0};
};

}  // namespace mv
