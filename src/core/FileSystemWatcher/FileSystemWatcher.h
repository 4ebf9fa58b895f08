// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The directory watcher component: watches a directory tree on a worker thread and reports each
// change through OnChange on the main thread.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "utility/Dispatcher.h"

namespace mv {

enum class TFileOperation { foAdded = 0, foRemoved = 1, foModified = 2, foRenamed = 3 };

// "foAdded", "foRemoved", "foModified", "foRenamed"; "" for a value outside the enumeration.
const char* FileOperationName(TFileOperation op);

// For foRenamed FileName1 is the full old name and FileName2 the full new name; for the others
// FileName1 is the full name and FileName2 is empty.
using TFileDealMethod = std::function<void(
    TFileOperation FileOperation, const std::string& FileName1, const std::string& FileName2)>;

enum class TNotifyFilter : unsigned {
  nfFileNameChange,
  nfDirNameChange,
  nfAttributeChange,
  nfSizeChange,
  nfWriteChange,
  nfAccessChange,
  nfCreationDateChange,
  nfSecurityChange
};

// A set of TNotifyFilter: one byte, bit n set when the n-th value (in declared order) is a member.
class TNotifyFilters {
 public:
  constexpr TNotifyFilters() = default;
  constexpr TNotifyFilters(std::initializer_list<TNotifyFilter> members) {
    for (TNotifyFilter f : members) Include(f);
  }
  constexpr std::uint8_t Bits() const { return bits_; }
  constexpr bool Contains(TNotifyFilter f) const { return (bits_ & Bit(f)) != 0; }
  constexpr TNotifyFilters& Include(TNotifyFilter f) {
    bits_ = static_cast<std::uint8_t>(bits_ | Bit(f));
    return *this;
  }
  friend constexpr bool operator==(const TNotifyFilters&, const TNotifyFilters&) = default;

 private:
  static constexpr std::uint8_t Bit(TNotifyFilter f) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(f));
  }
  std::uint8_t bits_ = 0;
};

// The change mask of the members: file name 0x001, directory name 0x002, attributes 0x004,
// size 0x008, last write 0x010, last access 0x020, creation 0x040, security 0x100 (not 0x080).
std::uint32_t NotifyFilterMask(TNotifyFilters filters);

// What a watcher's notice is about. The window shows every kind but nkRecovered, which says that
// nothing was lost; the command-line tool prints them all.
enum class TNoticeKind {
  nkLimit,      // a system limit: part of the tree is not watched
  nkGone,       // the watched directory is gone, or does not exist (yet)
  nkResumed,    // the watched directory is back and watched again
  nkRecovered,  // the system dropped changes and a rescan recovered them
};

// The texts of the notices both change sources give; dir is the watched directory.
std::string DirectoryGoneNotice(const std::string& dir);
std::string DirectoryMissingNotice(const std::string& dir);
std::string DirectoryResumedNotice(const std::string& dir);
std::string OverflowRecoveredNotice(std::uint64_t names);

// The watched directory a new component gets: the user's home directory with a trailing "/".
std::string DefaultWatchedDir();

class IChangeSource;
class TShellChangeThread;
struct TWorkerHooks;

// Makes the change source of one worker; tests substitute their own.
using TChangeSourceFactory = std::function<std::unique_ptr<IChangeSource>()>;

class TFileSystemWatcher {
 public:
  // Without a factory the watcher uses the platform's change source.
  explicit TFileSystemWatcher(IMainThreadDispatcher& mainThread,
                              TChangeSourceFactory sourceFactory = nullptr);
  ~TFileSystemWatcher();
  TFileSystemWatcher(const TFileSystemWatcher&) = delete;
  TFileSystemWatcher& operator=(const TFileSystemWatcher&) = delete;

  // Published properties. Defaults: false, DefaultWatchedDir(), true,
  // [nfFileNameChange, nfDirNameChange], not assigned.
  bool Actived() const { return actived_; }
  void SetActived(bool value);
  // "C:\" (any case, either slash) stands for DefaultWatchedDir(). Values equal ignoring the
  // case of ASCII letters count as the same directory.
  const std::string& WatchedDir() const { return watchedDir_; }
  void SetWatchedDir(const std::string& value);
  bool WatchSubTree() const { return watchSubTree_; }
  void SetWatchSubTree(bool value);
  TNotifyFilters NotifyFilters() const { return notifyFilters_; }
  void SetNotifyFilters(TNotifyFilters value);
  const TFileDealMethod& OnChange() const { return onChange_; }
  void SetOnChange(TFileDealMethod handler);

  // A notice for the user, in Chinese (e.g. the system's watch limit reached: some
  // subdirectories are not watched; given once per activation). Runs on the main thread. This
  // form gets every kind but nkRecovered; SetOnNoticeOfKind gets them all. The last one set
  // replaces the other.
  void SetOnNotice(std::function<void(const std::string&)> handler);
  void SetOnNoticeOfKind(std::function<void(TNoticeKind, const std::string&)> handler);
  // Main thread. Called for every removal seen or possibly missed: a file removed or renamed
  // away (its full path, subtree false), a directory removed or moved away (subtree true), and
  // the watched directory itself (subtree true) whenever continuity breaks and once each time
  // the watch becomes live. An entry may go unchecked only while IsLive(), under LiveRoot(),
  // and verified since the last call that covers it.
  void SetOnMayHaveRemoved(std::function<void(const std::string& path, bool subtree)> handler);
  // Main thread. True only while watching is on, the whole tree is armed with a watch on every
  // directory, and no break of continuity is pending.
  bool IsLive() const;
  // The watched directory with its trailing delimiter while IsLive(), empty otherwise.
  std::string LiveRoot() const;
  // Runs on the main thread each time a worker has finished (re)opening its directory: watching
  // is true when the watches are placed, false when the directory could not be opened.
  void SetOnArmed(std::function<void(bool watching)> handler);

  // Diagnostics: how many times a worker was handed new directory options (each reopens the
  // directory), and how many worker threads have not yet ended.
  std::uint64_t ResetCount() const { return resetCount_; }
  int LiveWorkerCount();

 private:
  void BecameLive(const std::string& root);
  void MayHaveRemoved(const std::string& path, bool subtree, bool broken);
  void Reconfigure();
  void Start();
  void Stop();
  void ReapWorkers(bool wait);

  IMainThreadDispatcher& mainThread_;
  TChangeSourceFactory sourceFactory_;
  bool actived_ = false;
  std::string watchedDir_;
  bool watchSubTree_ = true;
  TNotifyFilters notifyFilters_{TNotifyFilter::nfFileNameChange, TNotifyFilter::nfDirNameChange};
  TFileDealMethod onChange_;
  std::shared_ptr<TWorkerHooks> hooks_;  // shared with the workers
  std::unique_ptr<TShellChangeThread> worker_;
  // Stopped workers whose threads may still be ending; joined before they are freed.
  std::vector<std::unique_ptr<TShellChangeThread>> retired_;
  std::uint64_t resetCount_ = 0;
  bool live_ = false;
  std::string liveRoot_;
  std::function<void(const std::string&, bool)> onMayHaveRemoved_;
};

}  // namespace mv
