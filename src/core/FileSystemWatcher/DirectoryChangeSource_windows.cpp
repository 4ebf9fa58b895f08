// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/DirectoryChangeSource_windows.h"

#include <algorithm>

#include "FileSystemWatcher/ChangeRecords.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

constexpr std::int64_t kTicksPerMs = 10'000;  // FILETIME counts 100 ns
// After an overflow, files changed this long before the last complete read are reported too:
// file times are coarse and clocks may step.
constexpr std::int64_t kRescanMargin = 2'000 * kTicksPerMs;
// How long a rename's old name waits for its new name in the next completion.
constexpr DWORD kPartnerWaitMs = 2;
// Names listed by a scan are forgotten once no completion has come for this long: by then the
// system has handed over whatever records it had queued about them.
constexpr DWORD kQuietMs = 100;
// New directories are listed once no completion has come for this long, or at the latest after
// kScanAtTheLatestMs.
constexpr DWORD kScanQuietMs = 10;
constexpr std::int64_t kScanAtTheLatest = 100 * kTicksPerMs;
constexpr std::int64_t kRescanAgainWithin = 10'000 * kTicksPerMs;
constexpr std::int64_t kMinBackoff = 250 * kTicksPerMs;
constexpr std::int64_t kMaxBackoff = 5'000 * kTicksPerMs;
constexpr std::size_t kMaxDepth = 4096;

constexpr std::uint32_t kFileName = FILE_NOTIFY_CHANGE_FILE_NAME;
constexpr std::uint32_t kDirName = FILE_NOTIFY_CHANGE_DIR_NAME;

std::int64_t TimeValue(const FILETIME& ft) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(ft.dwHighDateTime) << 32 |
                                   ft.dwLowDateTime);
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

std::int64_t TDirectoryChangeSource::Now() {
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  return TimeValue(ft);
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
  (void)sink;
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

  HANDLE dir = OpenDirectory(GENERIC_READ | GENERIC_WRITE);
  if (dir == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
    // Reading changes needs only the right to list the directory: one the user may not write
    // to (a read-only share, another user's folder) can still be watched.
    dir = OpenDirectory(FILE_LIST_DIRECTORY);
  }
  // Missing (errors 2 and 3) or not to be opened: no handle, no events, no message.
  if (dir == nullptr) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(dir, &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(dir);  // backup semantics open files too
    return false;
  }
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
  lastGoodRead_ = main_.issuedAt;
  if (dirs_.dir != nullptr) {
    dirs_.buffer.resize(kBufferSize);
    Issue(dirs_);  // without it only moved-in directories go unlisted
  }
  return true;
}

bool TDirectoryChangeSource::Issue(TRead& read) {
  read.issuedAt = Now();
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
  scanned_.clear();
  scansDue_.clear();
  reported_.clear();
  rescanPending_ = false;
  backoff_ = 0;
  lastRescanEnd_ = 0;
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

TChangeBatch TDirectoryChangeSource::Take(TRead& read, bool ok, DWORD bytes, DWORD error) {
  if (!ok && error == ERROR_OPERATION_ABORTED) return {};
  const bool overflow = (ok && bytes == 0) || (!ok && error == ERROR_NOTIFY_ENUM_DIR);
  if (!ok && !overflow) {
    // A failed read (the directory went away, the network dropped) is not reported; one more
    // read is tried, and a second failure in a row leaves it to the next reopen.
    if (!read.lastFailed) Issue(read);
    read.lastFailed = true;
    return {};
  }
  read.lastFailed = false;
  std::vector<std::uint8_t> local;
  if (!overflow)
    local.assign(read.buffer.begin(), read.buffer.begin() + std::min(bytes, kBufferSize));
  // Its records cover the changes from its issue on; the next read is issued at once, so that
  // the system goes on collecting while these are handed over.
  const std::int64_t issued = read.issuedAt;
  Issue(read);
  if (overflow) {
    NoteOverflow();
    return {};
  }
  if (&read == &main_) {
    lastGoodRead_ = issued;
    // What was reported before the margin of a later rescan can no longer be met by it.
    for (auto it = reported_.begin(); it != reported_.end();) {
      it = it->second < lastGoodRead_ - kRescanMargin ? reported_.erase(it) : std::next(it);
    }
  }
  return ParseChangeRecords(local.data(), local.size());
}

void TDirectoryChangeSource::Completed(TRead& read, TChangeBatch batch, IChangeSink& sink) {
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
    WaitForSingleObject(wakeEvent_, INFINITE);
    return;
  }

  DWORD timeout = INFINITE;
  if (!scanned_.empty()) timeout = kQuietMs;
  if (!scansDue_.empty()) timeout = kScanQuietMs;
  if (rescanPending_) {
    const std::int64_t wait = std::max<std::int64_t>(0, rescanDue_ - Now()) / kTicksPerMs + 1;
    timeout = std::min<DWORD>(timeout, static_cast<DWORD>(std::min<std::int64_t>(wait, 60'000)));
  }
  bool ok = false;
  DWORD bytes = 0;
  DWORD error = 0;
  bool timedOut = false;
  TRead* read = Dequeue(port, timeout, ok, bytes, error, timedOut);
  if (read == nullptr) {
    if (!scansDue_.empty() && (timedOut || Now() - scansQueuedAt_ >= kScanAtTheLatest)) {
      RunQueuedScans(sink);
      return;
    }
    if (timedOut) {
      if (!scanned_.empty() && Now() - scannedAt_ >= kQuietMs * kTicksPerMs) scanned_.clear();
      if (rescanPending_ && Now() >= rescanDue_ && !sink.Interrupted()) Rescan(sink);
    }
    return;
  }
  TChangeBatch batch = Take(*read, ok, bytes, error);
  // A rename's two records normally come together; when the old name ends a completion, the
  // new name is given a moment to follow.
  if (!batch.empty() && batch.back().action == caRenamedOld && read->pending) {
    TRead* next = Dequeue(port, kPartnerWaitMs, ok, bytes, error, timedOut);
    if (next == read) {
      TChangeBatch more = Take(*read, ok, bytes, error);
      batch.insert(batch.end(), std::make_move_iterator(more.begin()),
                   std::make_move_iterator(more.end()));
    } else if (next != nullptr) {
      Completed(*next, Take(*next, ok, bytes, error), sink);
    } else if (!timedOut) {
      SetEvent(wakeEvent_);  // a wake-up came meanwhile: the next wait returns at once
    }
  }
  Completed(*read, std::move(batch), sink);
  if (!scansDue_.empty() && Now() - scansQueuedAt_ >= kScanAtTheLatest) RunQueuedScans(sink);
  if (rescanPending_ && Now() >= rescanDue_ && !sink.Interrupted()) Rescan(sink);
}

bool TDirectoryChangeSource::IsDirectory(const std::string& rel) const {
  const DWORD a = GetFileAttributesA((root_ + rel).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void TDirectoryChangeSource::AddNew(IChangeSink& sink, const std::string& rel) {
  reported_[rel] = Now();
  sink.Add(caAdded, rel);
}

void TDirectoryChangeSource::Process(const TChangeBatch& batch, IChangeSink& sink) {
  // Directories are among these records only when asked for; then they are listed from here.
  const bool scanHere = subtree_ && (filter_ & kDirName);
  for (std::size_t i = 0; i < batch.size(); ++i) {
    if (sink.Interrupted()) return;
    const TChangeRecord& r = batch[i];
    switch (r.action) {
      case caAdded:
      case caRenamedNew:
        // A new name without its old name before it came from outside the tree: an addition.
        if (!scanned_.empty() && scanned_.erase(r.name) != 0) break;  // a scan reported it
        AddNew(sink, r.name);
        if (scanHere && IsDirectory(r.name)) QueueScan(r.name);
        break;
      case caRenamedOld:
        if (!scanned_.empty()) scanned_.erase(r.name);
        sink.Add(caRenamedOld, r.name);
        if (i + 1 < batch.size() && batch[i + 1].action == caRenamedNew) {
          // Its partner: a rename within the tree, whose contents were known already.
          sink.Add(caRenamedNew, batch[++i].name);
        }
        break;
      case caRemoved:
        if (!scanned_.empty()) scanned_.erase(r.name);
        sink.Add(caRemoved, r.name);
        break;
      default:
        sink.Add(r.action, r.name);
        break;
    }
  }
}

void TDirectoryChangeSource::ProcessDirectories(const TChangeBatch& batch, IChangeSink& sink) {
  for (std::size_t i = 0; i < batch.size(); ++i) {
    if (sink.Interrupted()) return;
    const TChangeRecord& r = batch[i];
    if (r.action == caRenamedOld && i + 1 < batch.size() && batch[i + 1].action == caRenamedNew) {
      ++i;  // renamed within the tree: nothing new below it
      continue;
    }
    if (r.action != caAdded && r.action != caRenamedNew) continue;
    QueueScan(r.name);
  }
}

void TDirectoryChangeSource::QueueScan(const std::string& rel) {
  if (scansDue_.empty()) scansQueuedAt_ = Now();
  scansDue_.push_back(rel);
}

void TDirectoryChangeSource::RunQueuedScans(IChangeSink& sink) {
  std::vector<std::string> due;
  due.swap(scansDue_);
  for (const std::string& rel : due) {
    if (sink.Interrupted()) return;
    if (scanned_.count(rel) != 0) continue;  // listed with a directory above it
    ScanNewDirectory(rel, sink);
  }
}

void TDirectoryChangeSource::ScanNewDirectory(const std::string& rel, IChangeSink& sink) {
  ++newDirScans_;
  const bool wantFiles = (filter_ & kFileName) != 0;
  const bool wantDirs = (filter_ & kDirName) != 0;
  scanned_.insert(rel);
  WalkTree(
      root_, rel,
      [&](const std::string& child, const WIN32_FIND_DATAA& data) {
        // Reported by its own record already, or listed by an earlier scan.
        if (reported_.count(child) != 0 || !scanned_.insert(child).second) return;
        const bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isDir ? wantDirs : wantFiles) AddNew(sink, child);
      },
      [](const std::string&, const WIN32_FIND_DATAA&) { return true; },
      [&] { return sink.Interrupted(); });
  scannedAt_ = Now();
}

void TDirectoryChangeSource::NoteOverflow() {
  const std::int64_t threshold = lastGoodRead_ - kRescanMargin;
  if (!rescanPending_) {
    rescanPending_ = true;
    rescanThreshold_ = threshold;
    rescanDue_ = std::max(Now(), lastRescanEnd_ + backoff_);
  } else {
    rescanThreshold_ = std::min(rescanThreshold_, threshold);  // overflows before it merge
  }
}

void TDirectoryChangeSource::Rescan(IChangeSink& sink) {
  rescanPending_ = false;
  ++rescans_;
  const std::int64_t began = Now();
  // Overflows in quick succession: wait longer before the next rescan, up to 5 s.
  const bool again = lastRescanEnd_ != 0 && began - lastRescanEnd_ < kRescanAgainWithin;
  backoff_ = again ? std::clamp(backoff_ * 2, kMinBackoff, kMaxBackoff) : 0;
  const bool wantFiles = (filter_ & kFileName) != 0;
  const bool wantDirs = (filter_ & kDirName) != 0;
  const std::int64_t threshold = rescanThreshold_;
  WalkTree(
      root_, std::string(),
      [&](const std::string& rel, const WIN32_FIND_DATAA& data) {
        const std::int64_t changed =
            std::max(TimeValue(data.ftCreationTime), TimeValue(data.ftLastWriteTime));
        if (changed < threshold) return;
        const bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!(isDir ? wantDirs : wantFiles)) return;
        if (reported_.count(rel) != 0) return;  // reported by the last records already
        // Its record may still come after the rescan: report it once.
        if (!scanned_.insert(rel).second) return;
        AddNew(sink, rel);
      },
      [&](const std::string&, const WIN32_FIND_DATAA&) { return subtree_; },
      [&] { return sink.Interrupted(); });
  scannedAt_ = Now();
  lastRescanEnd_ = scannedAt_;
}

}  // namespace mv
