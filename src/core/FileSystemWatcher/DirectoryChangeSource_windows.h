// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Windows change source: a handle on the watched directory with one ReadDirectoryChangesW
// outstanding, completed through an I/O completion port, on the worker thread.

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/OverflowRecovery.h"

namespace mv {

class TDirectoryChangeSource final : public IChangeSource {
 public:
  // The size of each notification buffer.
  static constexpr DWORD kBufferSize = 64 * 1024;

  TDirectoryChangeSource();
  ~TDirectoryChangeSource() override;
  TDirectoryChangeSource(const TDirectoryChangeSource&) = delete;
  TDirectoryChangeSource& operator=(const TDirectoryChangeSource&) = delete;

  bool Open(const TWatchOptions& options, IChangeSink& sink) override;
  void Close() override;
  void WaitAndCollect(IChangeSink& sink) override;
  void Wake() override;

  // Whether a subtree watch for these filters needs the second, directory-name read: new
  // directories must be listed, since the system does not name files that were moved in
  // with them (nor, under Wine, all files created in them at once).
  static bool NeedsDirectoryRead(std::uint32_t notifyFilter, bool watchSubTree);

  // For tests: rescans after the system dropped changes, and listings of new directories.
  std::uint64_t RescanCount() const { return rescans_; }
  std::uint64_t NewDirectoryScans() const { return newDirScans_; }

 private:
  // One handle with its outstanding read.
  struct TRead {
    HANDLE dir = nullptr;
    DWORD filter = 0;
    OVERLAPPED overlapped{};
    DWORD bytesReturned = 0;
    std::vector<std::uint8_t> buffer;
    bool pending = false;
    bool lastFailed = false;
    std::int64_t issuedAt = 0;
  };

  // What a completed read brought.
  enum class TTaken { Records, Overflow, Failed, Aborted };

  HANDLE OpenDirectory(DWORD access) const;
  // Opens the root and issues the reads; false when it cannot be opened (openError_ tells why).
  bool Arm();
  // Whether every removal below the root reaches us: only then may the list rely on us.
  bool Liveable() const;
  bool Issue(TRead& read);
  // Waits up to timeoutMs for a packet; the read it completed (ok, bytes and error tell the
  // outcome), or nullptr for a wake-up or a timeout (timedOut tells which).
  TRead* Dequeue(HANDLE port, DWORD timeoutMs, bool& ok, DWORD& bytes, DWORD& error,
                 bool& timedOut);
  // The records of a completed read; issues its next read at once.
  TTaken Take(TRead& read, bool ok, DWORD bytes, DWORD error, TChangeBatch& batch);
  void Completed(TRead& read, TTaken taken, TChangeBatch batch, IChangeSink& sink);
  void Process(const TChangeBatch& batch, IChangeSink& sink);
  void ProcessDirectories(const TChangeBatch& batch, IChangeSink& sink);
  void Put(IChangeSink& sink, TChangeKind kind, const std::string& rel, TEntryKind entry,
           const std::string& newRel = {});
  void Added(IChangeSink& sink, const std::string& rel, bool scanHere);
  void QueueScan(const std::string& rel);
  void RunQueuedScans(IChangeSink& sink);
  void ScanNewDirectory(const std::string& rel, IChangeSink& sink);
  void Rescan(IChangeSink& sink);
  bool IsDirectory(const std::string& rel) const;
  // Whether the root is no longer the directory we opened (deleted, or deleted and made anew).
  bool RootReplaced() const;
  void RootLost(IChangeSink& sink);
  void Resume(IChangeSink& sink);

  HANDLE thread_ = nullptr;     // the worker's own thread handle: the key of our completions
  HANDLE wakeEvent_ = nullptr;  // wake-ups while no port is open, and ones a closed port lost
  std::mutex lock_;             // guards port_ (and the handles) against Wake on other threads
  HANDLE port_ = nullptr;
  TRead main_;  // the component's filter, exactly: its records are what is reported
  TRead dirs_;  // directory names only, when NeedsDirectoryRead: its records are not reported

  std::string root_;  // with its trailing delimiter
  std::uint32_t filter_ = 0;
  bool subtree_ = true;
  DWORD openError_ = 0;
  // The identity of the opened root, to notice it deleted (and perhaps made again).
  BY_HANDLE_FILE_INFORMATION rootInfo_{};
  std::int64_t rootCheckedAt_ = 0;  // steady ns
  // The root is missing: looked for now and then, and watched once it exists.
  bool missing_ = false;
  std::int64_t missingCheckedAt_ = 0;  // steady ns

  // When a scan last reported something (steady ns): its names' own records have all come
  // once the queue has been quiet for a while.
  std::int64_t scannedAt_ = 0;
  // New directories still to be listed, and since when: they are listed once the records
  // queued before them have been handed over, so that the order of the records is kept.
  std::vector<std::string> scansDue_;
  std::int64_t scansQueuedAt_ = 0;
  TOverflowRecovery recovery_;
  std::uint64_t rescans_ = 0;
  std::uint64_t newDirScans_ = 0;
};

}  // namespace mv
