// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/DirectoryChangeSource_windows.h"

#include <algorithm>

#include "FileSystemWatcher/ChangeRecords.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
// How long a rename's old name waits for its new name in the next completion.
constexpr DWORD kPartnerWaitMs = 2;
// Names listed by a scan are forgotten once no completion has come for this long: by then the
// system has handed over whatever records it had queued about them.
constexpr DWORD kQuietMs = 100;
// New directories are listed once no completion has come for this long, or at the latest after
// kScanAtTheLatest.
constexpr DWORD kScanQuietMs = 10;
constexpr std::int64_t kScanAtTheLatest = 100 * kNsPerMs;
// How often the root is checked to be the directory we opened, and looked for while missing.
constexpr DWORD kRootCheckMs = 1000;
constexpr DWORD kMissingPollMs = 250;
constexpr std::size_t kMaxDepth = 4096;

constexpr std::uint32_t kFileName = FILE_NOTIFY_CHANGE_FILE_NAME;
constexpr std::uint32_t kDirName = FILE_NOTIFY_CHANGE_DIR_NAME;

// File times as the recovery policy counts them: nanoseconds since 1970.
std::int64_t FileTimeNs(const FILETIME& ft) {
  const auto ticks = static_cast<std::int64_t>(static_cast<std::uint64_t>(ft.dwHighDateTime) << 32 |
                                               ft.dwLowDateTime);
  return (ticks - 116'444'736'000'000'000) * 100;
}

std::int64_t FileNow() {
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  return FileTimeNs(ft);
}

bool IsDots(const char* n) {
  return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

// Calls visit(rel, data) for every entry below start (itself relative to root, "" for the root),
// depth first without recursion; descends only where descend(rel, data) says so. Stops early
// when stop() says so.
template <typename Visit, typename Descend, typename Stop>
void WalkTree(const std::string& root, const std::string& start, Visit visit, Descend descend,
              Stop stop) {
  struct TDir {
    std::string rel;
    std::size_t depth;
  };
  std::vector<TDir> stack{{start, 0}};
  std::size_t listed = 0;
  while (!stack.empty()) {
    if ((++listed & 15) == 0 && stop()) return;
    TDir dir = std::move(stack.back());
    stack.pop_back();
    const std::string prefix = dir.rel.empty() ? std::string() : dir.rel + "\\";
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileExA((root + prefix + "*").c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (IsDots(data.cFileName)) continue;
      std::string rel = prefix + data.cFileName;
      visit(rel, data);
      // Junctions and symbolic links are not followed: they may lead back up the tree.
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && dir.depth < kMaxDepth &&
          descend(rel, data)) {
        stack.push_back(TDir{std::move(rel), dir.depth + 1});
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
}

}  // namespace

TDirectoryChangeSource::TDirectoryChangeSource() {
  main_.buffer.resize(kBufferSize);
  wakeEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (wakeEvent_ == nullptr) throw EOutOfResources("无法创建监视线程的唤醒事件");
}

TDirectoryChangeSource::~TDirectoryChangeSource() {
  Close();
  CloseHandle(wakeEvent_);
  if (thread_ != nullptr) CloseHandle(thread_);
}

bool TDirectoryChangeSource::NeedsDirectoryRead(std::uint32_t notifyFilter, bool watchSubTree) {
  return watchSubTree && (notifyFilter & kFileName) && !(notifyFilter & kDirName);
}

void TDirectoryChangeSource::Wake() {
  std::lock_guard guard(lock_);
  // Key 0 is a wake-up: our reads complete under the thread's handle.
  if (port_ != nullptr) {
    PostQueuedCompletionStatus(port_, 0, 0, nullptr);
  } else {
    SetEvent(wakeEvent_);
  }
}

HANDLE TDirectoryChangeSource::OpenDirectory(DWORD access) const {
  HANDLE dir = CreateFileA(
      root_.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  return dir == INVALID_HANDLE_VALUE ? nullptr : dir;
}

bool TDirectoryChangeSource::Open(const TWatchOptions& options, IChangeSink& sink) {
  Close();
  root_ = options.directory;
  filter_ = options.notifyFilter;
  subtree_ = options.watchSubTree;
  if (thread_ == nullptr &&
      !DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread_, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    thread_ = nullptr;
    return false;
  }
  if (Arm()) {
    if (Liveable()) sink.Live();
    return true;
  }
  if (openError_ == ERROR_FILE_NOT_FOUND || openError_ == ERROR_PATH_NOT_FOUND) {
    // Reporting nothing and saying nothing would pass for watching: tell the user, and watch
    // the directory once it exists.
    missing_ = true;
    missingCheckedAt_ = SteadyNow();
    sink.Notice(TNoticeKind::nkGone, DirectoryMissingNotice(root_));
  }
  return false;
}

bool TDirectoryChangeSource::Arm() {
  HANDLE dir = OpenDirectory(GENERIC_READ | GENERIC_WRITE);
  openError_ = dir == nullptr ? GetLastError() : 0;
  if (dir == nullptr && openError_ == ERROR_ACCESS_DENIED) {
    // Reading changes needs only the right to list the directory: one the user may not write
    // to (a read-only share, another user's folder) can still be watched.
    dir = OpenDirectory(FILE_LIST_DIRECTORY);
    openError_ = dir == nullptr ? GetLastError() : 0;
  }
  if (dir == nullptr) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(dir, &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(dir);  // backup semantics open files too
    return false;
  }
  rootInfo_ = info;
  rootCheckedAt_ = SteadyNow();
  const auto key = reinterpret_cast<ULONG_PTR>(thread_);
  HANDLE port = CreateIoCompletionPort(dir, nullptr, key, 0);
  if (port == nullptr) {
    CloseHandle(dir);
    return false;
  }
  HANDLE dirs = nullptr;
  if (NeedsDirectoryRead(filter_, subtree_)) {
    dirs = OpenDirectory(FILE_LIST_DIRECTORY);
    if (dirs != nullptr && CreateIoCompletionPort(dirs, port, key, 0) == nullptr) {
      CloseHandle(dirs);
      dirs = nullptr;
    }
  }
  {
    std::lock_guard guard(lock_);
    port_ = port;
    main_.dir = dir;
    dirs_.dir = dirs;
  }
  main_.filter = filter_;
  dirs_.filter = kDirName;
  if (!Issue(main_)) {
    Close();
    return false;
  }
  recovery_.ReadComplete(main_.issuedAt);
  if (dirs_.dir != nullptr) {
    dirs_.buffer.resize(kBufferSize);
    if (!Issue(dirs_)) {  // without it only moved-in directories go unlisted
      std::lock_guard guard(lock_);
      CloseHandle(dirs_.dir);
      dirs_.dir = nullptr;
    }
  }
  return true;
}

bool TDirectoryChangeSource::Liveable() const {
  // Removals of files must be among the records, everywhere below the root, and so must
  // directories moved away: by their own records, or by the directory-name read.
  return subtree_ && (filter_ & kFileName) && ((filter_ & kDirName) || dirs_.dir != nullptr);
}

bool TDirectoryChangeSource::Issue(TRead& read) {
  read.issuedAt = FileNow();
  read.bytesReturned = 0;
  std::fill(read.buffer.begin(), read.buffer.end(), 0);
  read.overlapped = OVERLAPPED{};
  read.pending =
      ReadDirectoryChangesW(read.dir, read.buffer.data(), kBufferSize, subtree_ ? TRUE : FALSE,
                            read.filter, &read.bytesReturned, &read.overlapped, nullptr) != 0;
  return read.pending;
}

void TDirectoryChangeSource::Close() {
  HANDLE port;
  {
    std::lock_guard guard(lock_);
    port = port_;
  }
  if (port == nullptr) return;
  bool lostWake = false;
  // A read must be over before its buffer is used again: cancel it and wait for its completion
  // (if it completed already, its packet is queued and found just the same).
  for (TRead* read : {&main_, &dirs_}) {
    if (read->pending) CancelIoEx(read->dir, &read->overlapped);
  }
  while (main_.pending || dirs_.pending) {
    bool ok = false;
    DWORD bytes = 0;
    DWORD error = 0;
    bool timedOut = false;
    if (Dequeue(port, 5000, ok, bytes, error, timedOut) != nullptr) continue;
    if (timedOut) break;  // never came: give up waiting
    lostWake = true;
  }
  {
    std::lock_guard guard(lock_);
    // A wake-up still queued in the port would die with it: keep it for the next wait.
    for (;;) {
      DWORD n = 0;
      ULONG_PTR key = 0;
      LPOVERLAPPED o = nullptr;
      const BOOL r = GetQueuedCompletionStatus(port, &n, &key, &o, 0);
      if (!r && o == nullptr) break;
      if (o == nullptr) lostWake = true;
    }
    CloseHandle(port);
    port_ = nullptr;
    for (TRead* read : {&main_, &dirs_}) {
      if (read->dir != nullptr) CloseHandle(read->dir);
      read->dir = nullptr;
      read->pending = false;
      read->lastFailed = false;
    }
    if (lostWake) SetEvent(wakeEvent_);
  }
  scansDue_.clear();
  recovery_.Reset();
  missing_ = false;
}

TDirectoryChangeSource::TRead* TDirectoryChangeSource::Dequeue(HANDLE port, DWORD timeoutMs,
                                                               bool& ok, DWORD& bytes, DWORD& error,
                                                               bool& timedOut) {
  DWORD n = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED o = nullptr;
  const BOOL r = GetQueuedCompletionStatus(port, &n, &key, &o, timeoutMs);
  timedOut = false;
  if (o == nullptr) {
    timedOut = !r && GetLastError() == WAIT_TIMEOUT;
    return nullptr;
  }
  if (key != reinterpret_cast<ULONG_PTR>(thread_)) return nullptr;
  TRead* read = o == &main_.overlapped ? &main_ : o == &dirs_.overlapped ? &dirs_ : nullptr;
  if (read == nullptr) return nullptr;
  read->pending = false;
  ok = r != 0;
  bytes = n;
  error = r ? 0 : GetLastError();
  return read;
}

TDirectoryChangeSource::TTaken TDirectoryChangeSource::Take(TRead& read, bool ok, DWORD bytes,
                                                            DWORD error, TChangeBatch& batch) {
  if (!ok && error == ERROR_OPERATION_ABORTED) return TTaken::Aborted;
  const bool overflow = (ok && bytes == 0) || (!ok && error == ERROR_NOTIFY_ENUM_DIR);
  if (!ok && !overflow) {
    // A failed read (the directory went away, the network dropped): one more read is tried.
    if (!read.lastFailed) Issue(read);
    read.lastFailed = true;
    return TTaken::Failed;
  }
  read.lastFailed = false;
  std::vector<std::uint8_t> local;
  if (!overflow)
    local.assign(read.buffer.begin(), read.buffer.begin() + std::min(bytes, kBufferSize));
  // Its records cover the changes from its issue on; the next read is issued at once, so that
  // the system goes on collecting while these are handed over.
  const std::int64_t issued = read.issuedAt;
  Issue(read);
  if (overflow) return TTaken::Overflow;
  if (&read == &main_) recovery_.ReadComplete(issued);
  batch = ParseChangeRecords(local.data(), local.size());
  return TTaken::Records;
}

void TDirectoryChangeSource::Completed(TRead& read, TTaken taken, TChangeBatch batch,
                                       IChangeSink& sink) {
  switch (taken) {
    case TTaken::Aborted:
      return;
    case TTaken::Overflow:
      // Changes were dropped: the tree is not known in full until the rescan.
      sink.MayHaveRemoved({}, true);
      recovery_.Overflowed(SteadyNow());
      return;
    case TTaken::Failed:
      sink.MayHaveRemoved({}, true);
      if (RootReplaced()) RootLost(sink);
      return;
    case TTaken::Records:
      break;
  }
  if (&read == &dirs_) {
    ProcessDirectories(batch, sink);
  } else {
    Process(batch, sink);
  }
}

void TDirectoryChangeSource::WaitAndCollect(IChangeSink& sink) {
  HANDLE port;
  {
    std::lock_guard guard(lock_);
    port = port_;
  }
  if (WaitForSingleObject(wakeEvent_, 0) == WAIT_OBJECT_0) return;
  if (port == nullptr) {
    if (!missing_) {
      WaitForSingleObject(wakeEvent_, INFINITE);
      return;
    }
    WaitForSingleObject(wakeEvent_, kMissingPollMs);
    if (!sink.Interrupted() && SteadyNow() - missingCheckedAt_ >= kMissingPollMs * kNsPerMs) {
      missingCheckedAt_ = SteadyNow();
      Resume(sink);
    }
    return;
  }

  DWORD timeout = kRootCheckMs;
  if (recovery_.HasScanned()) timeout = kQuietMs;
  if (!scansDue_.empty()) timeout = kScanQuietMs;
  if (recovery_.Pending()) {
    const std::int64_t wait = std::max<std::int64_t>(0, recovery_.Due() - SteadyNow()) / kNsPerMs;
    timeout =
        std::min<DWORD>(timeout, static_cast<DWORD>(std::min<std::int64_t>(wait + 1, 60'000)));
  }
  bool ok = false;
  DWORD bytes = 0;
  DWORD error = 0;
  bool timedOut = false;
  TRead* read = Dequeue(port, timeout, ok, bytes, error, timedOut);
  if (read != nullptr) {
    TChangeBatch batch;
    TTaken taken = Take(*read, ok, bytes, error, batch);
    // A rename's two records normally come together; when the old name ends a completion, the
    // new name is given a moment to follow.
    if (!batch.empty() && batch.back().action == caRenamedOld && read->pending) {
      TRead* next = Dequeue(port, kPartnerWaitMs, ok, bytes, error, timedOut);
      if (next == read) {
        TChangeBatch more;
        if (Take(*read, ok, bytes, error, more) == TTaken::Records) {
          batch.insert(batch.end(), std::make_move_iterator(more.begin()),
                       std::make_move_iterator(more.end()));
        }
      } else if (next != nullptr) {
        TChangeBatch more;
        const TTaken other = Take(*next, ok, bytes, error, more);
        Completed(*next, other, std::move(more), sink);
      } else if (!timedOut) {
        SetEvent(wakeEvent_);  // a wake-up came meanwhile: the next wait returns at once
      }
    }
    Completed(*read, taken, std::move(batch), sink);
    if (port_ == nullptr) return;  // the root was lost
    timedOut = false;
  }
  const std::int64_t now = SteadyNow();
  if (!scansDue_.empty() && (timedOut || now - scansQueuedAt_ >= kScanAtTheLatest)) {
    RunQueuedScans(sink);
  }
  if (timedOut && recovery_.HasScanned() && now - scannedAt_ >= kQuietMs * kNsPerMs) {
    recovery_.Quiet();
  }
  if (now - rootCheckedAt_ >= kRootCheckMs * kNsPerMs) {
    rootCheckedAt_ = now;
    if (RootReplaced()) {
      RootLost(sink);
      return;
    }
  }
  if (recovery_.Pending() && now >= recovery_.Due() && !sink.Interrupted()) Rescan(sink);
}

bool TDirectoryChangeSource::IsDirectory(const std::string& rel) const {
  const DWORD a = GetFileAttributesA((root_ + rel).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool TDirectoryChangeSource::RootReplaced() const {
  // A directory deleted while we hold it open may linger, pending deletion, until we close it;
  // opening it by name then fails.
  HANDLE h = CreateFileA(root_.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    // Only its absence counts: a share that does not answer for a moment is not a new root.
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_ACCESS_DENIED ||
           e == ERROR_DELETE_PENDING;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool same = GetFileInformationByHandle(h, &info) &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    info.dwVolumeSerialNumber == rootInfo_.dwVolumeSerialNumber &&
                    info.nFileIndexHigh == rootInfo_.nFileIndexHigh &&
                    info.nFileIndexLow == rootInfo_.nFileIndexLow;
  CloseHandle(h);
  return !same;
}

void TDirectoryChangeSource::RootLost(IChangeSink& sink) {
  // Closing at once also lets a deletion pending on our handle complete.
  Close();
  missing_ = true;
  missingCheckedAt_ = 0;  // it may be back already
  sink.MayHaveRemoved({}, true);
  sink.Notice(TNoticeKind::nkGone, DirectoryGoneNotice(root_));
}

void TDirectoryChangeSource::Resume(IChangeSink& sink) {
  if (!Arm()) return;
  missing_ = false;
  sink.Notice(TNoticeKind::nkResumed, DirectoryResumedNotice(root_));
  // The directory is new to us: all it holds came after watching began.
  ScanNewDirectory(std::string(), sink);
  if (Liveable() && !sink.Interrupted()) sink.Live();
}

void TDirectoryChangeSource::Put(IChangeSink& sink, TChangeKind kind, const std::string& rel,
                                 TEntryKind entry, const std::string& newRel) {
  // The records' names are trimmed as the handler has always had them on Windows.
  sink.Report(TChange{kind, TrimmedRecordName(rel), TrimmedRecordName(newRel), entry});
}

void TDirectoryChangeSource::Added(IChangeSink& sink, const std::string& rel, bool scanHere) {
  if (!recovery_.RecordAdded(rel, FileNow())) return;  // a scan reported it
  Put(sink, TChangeKind::ckAdded, rel,
      (filter_ & kDirName) ? TEntryKind::ekUnknown : TEntryKind::ekFile);
  if (scanHere && IsDirectory(rel)) QueueScan(rel);
}

void TDirectoryChangeSource::Process(const TChangeBatch& batch, IChangeSink& sink) {
  // Directories are among these records only when asked for; then they are listed from here.
  const bool scanHere = subtree_ && (filter_ & kDirName);
  const TEntryKind entry = (filter_ & kDirName) ? TEntryKind::ekUnknown : TEntryKind::ekFile;
  PairRecords(batch, [&](TChange c, bool alone) {
    if (sink.Interrupted()) return false;
    switch (c.kind) {
      case TChangeKind::ckAdded:  // alone: moved in from outside the tree
        Added(sink, c.name, scanHere);
        break;
      case TChangeKind::ckRenamed:
        recovery_.Forget(c.name);
        Put(sink, TChangeKind::ckRenamed, c.name, entry, c.newName);
        // A directory renamed within the tree: its files are at a new place, and no record
        // will name them there.
        if (scanHere && IsDirectory(c.newName)) QueueScan(c.newName);
        break;
      case TChangeKind::ckRemoved:
        recovery_.Forget(c.name);
        if (alone) {  // moved out of the tree: the records give it no event
          sink.MayHaveRemoved(TrimmedRecordName(c.name), entry != TEntryKind::ekFile);
        } else {
          Put(sink, TChangeKind::ckRemoved, c.name, entry);
        }
        break;
      case TChangeKind::ckModified:
        Put(sink, TChangeKind::ckModified, c.name, entry);
        break;
    }
    return true;
  });
}

void TDirectoryChangeSource::ProcessDirectories(const TChangeBatch& batch, IChangeSink& sink) {
  PairRecords(batch, [&](TChange c, bool) {
    if (sink.Interrupted()) return false;
    switch (c.kind) {
      case TChangeKind::ckRenamed:
        // Renamed within the tree: its files are new at this place, as a moved-in one's are.
        sink.MayHaveRemoved(TrimmedRecordName(c.name), true);
        QueueScan(c.newName);
        break;
      case TChangeKind::ckAdded:  // made, or moved in (alone)
        QueueScan(c.name);
        break;
      case TChangeKind::ckRemoved:
        sink.MayHaveRemoved(TrimmedRecordName(c.name), true);
        break;
      case TChangeKind::ckModified:
        break;
    }
    return true;
  });
}

void TDirectoryChangeSource::QueueScan(const std::string& rel) {
  if (scansDue_.empty()) scansQueuedAt_ = SteadyNow();
  scansDue_.push_back(rel);
}

void TDirectoryChangeSource::RunQueuedScans(IChangeSink& sink) {
  std::vector<std::string> due;
  due.swap(scansDue_);
  for (const std::string& rel : due) {
    if (sink.Interrupted()) return;
    if (recovery_.WasScanned(rel)) continue;  // listed with a directory above it
    ScanNewDirectory(rel, sink);
  }
}

void TDirectoryChangeSource::ScanNewDirectory(const std::string& rel, IChangeSink& sink) {
  ++newDirScans_;
  const bool wantFiles = (filter_ & kFileName) != 0;
  const bool wantDirs = (filter_ & kDirName) != 0;
  recovery_.ScanFound(rel, FileNow());
  WalkTree(
      root_, rel,
      [&](const std::string& child, const WIN32_FIND_DATAA& data) {
        // Reported by its own record already, or listed by an earlier scan.
        if (!recovery_.ScanFound(child, FileNow())) return;
        const bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isDir ? wantDirs : wantFiles) {
          Put(sink, TChangeKind::ckAdded, child,
              isDir ? TEntryKind::ekDirectory : TEntryKind::ekFile);
        }
      },
      [](const std::string&, const WIN32_FIND_DATAA&) { return true; },
      [&] { return sink.Interrupted(); });
  scannedAt_ = SteadyNow();
}

void TDirectoryChangeSource::Rescan(IChangeSink& sink) {
  ++rescans_;
  const std::int64_t threshold = recovery_.BeginRescan(SteadyNow());
  const bool wantFiles = (filter_ & kFileName) != 0;
  const bool wantDirs = (filter_ & kDirName) != 0;
  WalkTree(
      root_, std::string(),
      [&](const std::string& rel, const WIN32_FIND_DATAA& data) {
        const std::int64_t changed =
            std::max(FileTimeNs(data.ftCreationTime), FileTimeNs(data.ftLastWriteTime));
        if (changed < threshold) return;
        const bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!(isDir ? wantDirs : wantFiles)) return;
        // Reported by the records before the overflow, or its record still to come: once.
        if (!recovery_.ScanFound(rel, FileNow())) return;
        Put(sink, TChangeKind::ckAdded, rel, isDir ? TEntryKind::ekDirectory : TEntryKind::ekFile);
      },
      [&](const std::string&, const WIN32_FIND_DATAA&) { return subtree_; },
      [&] { return sink.Interrupted(); });
  scannedAt_ = SteadyNow();
  const std::uint64_t recovered = recovery_.EndRescan(scannedAt_);
  if (sink.Interrupted()) return;
  sink.Notice(TNoticeKind::nkRecovered, OverflowRecoveredNotice(recovered));
  if (RootReplaced()) {
    RootLost(sink);
  } else if (!recovery_.Pending() && Liveable()) {
    sink.Live();
  }
}

}  // namespace mv
