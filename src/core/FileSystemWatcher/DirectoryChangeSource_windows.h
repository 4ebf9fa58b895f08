// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Windows change source: a handle on the watched directory with one ReadDirectoryChangesW
// outstanding, completed through an I/O completion port, on the worker thread.

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "FileSystemWatcher/ChangeSource.h"

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

  HANDLE OpenDirectory(DWORD access) const;
  bool Issue(TRead& read);
  // Waits up to timeoutMs for a packet; the read it completed (ok, bytes and error tell the
  // outcome), or nullptr for a wake-up or a timeout (timedOut tells which).
  TRead* Dequeue(HANDLE port, DWORD timeoutMs, bool& ok, DWORD& bytes, DWORD& error,
                 bool& timedOut);
  // The records of a completed read; issues its next read at once.
  TChangeBatch Take(TRead& read, bool ok, DWORD bytes, DWORD error);
  void Completed(TRead& read, TChangeBatch batch, IChangeSink& sink);
  void Process(const TChangeBatch& batch, IChangeSink& sink);
  void ProcessDirectories(const TChangeBatch& batch, IChangeSink& sink);
  void AddNew(IChangeSink& sink, const std::string& rel);
  void QueueScan(const std::string& rel);
  void RunQueuedScans(IChangeSink& sink);
  void ScanNewDirectory(const std::string& rel, IChangeSink& sink);
  void Rescan(IChangeSink& sink);
  bool IsDirectory(const std::string& rel) const;
  void NoteOverflow();
  static std::int64_t Now();

  HANDLE thread_ = nullptr;     // the worker's own thread handle: the key of our completions
  HANDLE wakeEvent_ = nullptr;  // wake-ups while no port is open, and ones a closed port lost
  std::mutex lock_;             // guards port_ (and the handles) against Wake on other threads
  HANDLE port_ = nullptr;
  TRead main_;  // the component's filter, exactly: its records are what is reported
  TRead dirs_;  // directory names only, when NeedsDirectoryRead: its records are not reported

  std::string root_;  // with its trailing delimiter
  std::uint32_t filter_ = 0;
  bool subtree_ = true;

  // Names a scan has reported: their own records may still be queued and must not report them
  // twice. Forgotten once the queue has been quiet for a while.
  std::unordered_set<std::string> scanned_;
  std::int64_t scannedAt_ = 0;
  // New directories still to be listed, and since when: they are listed once the records
  // queued before them have been handed over, so that the order of the records is kept.
  std::vector<std::string> scansDue_;
  std::int64_t scansQueuedAt_ = 0;
  // Names reported as added lately, with when: scans do not report them again.
  std::unordered_map<std::string, std::int64_t> reported_;

  // Overflow recovery, times in FILETIME units: changes since the issue of the last read that
  // completed with records may have been lost.
  bool rescanPending_ = false;
  std::int64_t rescanThreshold_ = 0;
  std::int64_t lastGoodRead_ = 0;
  std::int64_t rescanDue_ = 0;
  std::int64_t lastRescanEnd_ = 0;
  std::int64_t backoff_ = 0;
  std::uint64_t rescans_ = 0;
  std::uint64_t newDirScans_ = 0;
};

}  // namespace mv
