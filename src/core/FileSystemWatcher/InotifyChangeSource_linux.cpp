// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/InotifyChangeSource_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fstream>
#include <utility>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "FileSystemWatcher/TreeArm_linux.h"
#include "utility/LongPath_linux.h"
#include "utility/MountTable_linux.h"
#include "utility/SysCall.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

// How long a move's old-name event waits for its partner at the end of a read.
constexpr int kMovePartnerWaitMs = 2;
constexpr int kMaxReadsPerWake = 16;
// How often a watched directory that does not exist is looked for.
constexpr int kMissingRootRetryMs = 250;
// Marks a scanned name whose listing was given up (its directory moved meanwhile).
constexpr std::uint64_t kNotReported = std::uint64_t{1} << 63;

// The component's notify-filter bits.
constexpr std::uint32_t kFileName = 0x001;
constexpr std::uint32_t kDirName = 0x002;
constexpr std::uint32_t kAttributes = 0x004;
constexpr std::uint32_t kSize = 0x008;
constexpr std::uint32_t kLastWrite = 0x010;
constexpr std::uint32_t kLastAccess = 0x020;
constexpr std::uint32_t kSecurity = 0x100;

std::int64_t Ns(const timespec& ts) {
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::int64_t NowRealNs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return Ns(ts);
}

long ReadNumber(const std::string& file) {
  std::ifstream in(file);
  long value = -1;
  if (!(in >> value)) return -1;
  return value;
}

// The inotify limit the kernel applies here, named by the setting that holds it. Inside a user
// namespace the namespace's own value applies when it is the lower one; the system-wide setting
// shows the initial namespace's value.
std::string InotifyLimit(const std::string& procSys, const char* userKey, const char* fsKey) {
  const long user = ReadNumber(procSys + "/user/" + userKey);
  const long fs = ReadNumber(procSys + "/fs/inotify/" + fsKey);
  if (user >= 0 && (fs < 0 || user < fs))
    return "user." + std::string(userKey) + " = " + std::to_string(user);
  if (fs >= 0) return "fs.inotify." + std::string(fsKey) + " = " + std::to_string(fs);
  return "fs.inotify." + std::string(fsKey);
}

// What ran out when no descriptor could be had (EMFILE or ENFILE), with the value that applies.
std::string FileLimit(int error, const std::string& procSys) {
  if (error == ENFILE) {
    return "系统的打开文件总数上限 (fs.file-max = " +
           std::to_string(ReadNumber(procSys + "/fs/file-max")) + ")";
  }
  rlimit rl{};
  const bool known = getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY;
  return "本进程的打开文件数上限 (RLIMIT_NOFILE" +
         (known ? " = " + std::to_string(rl.rlim_cur) : std::string()) + ")";
}

std::string UnwatchablePathNotice(const std::string& path, const char* why) {
  return "无法监视 " + path + "（" + why + "），其中的变化不会被列出。";
}

bool LstatLong(const std::string& path, struct stat& st) {
  const TPathAt at(path);
  return at && fstatat(at.Dir(), at.Name(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The path without its trailing "/" (except for "/" itself), as the mount table writes it.
std::string MountForm(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace

TInotifyChangeSource::TInotifyChangeSource() : TInotifyChangeSource(TSystem{}) {}

TInotifyChangeSource::TInotifyChangeSource(TSystem system) : system_(std::move(system)) {
  wakeFd_.reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wakeFd_) throw EOutOfResources("无法创建监视线程的唤醒事件");
}

TInotifyChangeSource::~TInotifyChangeSource() { Close(); }

// How the component's filters map onto inotify:
//   nfFileNameChange, nfDirNameChange -> IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO,
//       for files and for directories respectively (told apart by IN_ISDIR);
//   nfSizeChange, nfWriteChange       -> IN_MODIFY | IN_CLOSE_WRITE, reported as foModified;
//   nfAttributeChange, nfSecurityChange -> IN_ATTRIB (ownership, mode, ACLs, times);
//   nfAccessChange                    -> IN_ACCESS;
//   nfCreationDateChange              -> nothing: Linux has no event for a creation date.
// Watching a subtree needs IN_CREATE and the moves whatever the filter, to follow the tree.
// IN_DELETE_SELF keeps the mask valid when nothing else is asked for.
std::uint32_t TInotifyChangeSource::InotifyMask(std::uint32_t notifyFilter, bool watchSubTree) {
  std::uint32_t m = IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK | IN_DELETE_SELF;
  if (notifyFilter & (kFileName | kDirName)) {
    m |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  }
  if (watchSubTree) m |= IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO;
  if (notifyFilter & (kSize | kLastWrite)) m |= IN_MODIFY | IN_CLOSE_WRITE;
  if (notifyFilter & (kAttributes | kSecurity)) m |= IN_ATTRIB;
  if (notifyFilter & kLastAccess) m |= IN_ACCESS;
  return m;
}

void TInotifyChangeSource::Wake() {
  const std::uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can go wrong here.
  RetryOnEintr("write", [&] { return write(wakeFd_.get(), &one, sizeof one); });
}

bool TInotifyChangeSource::Open(const TWatchOptions& options, IChangeSink& sink) {
  Close();
  root_ = options.directory;
  if (root_.empty() || root_.back() != '/') root_ += '/';
  filter_ = options.notifyFilter;
  subtree_ = options.watchSubTree;
  mask_ = InotifyMask(filter_, subtree_);
  if (!NewInstance(sink)) return false;
  mountFd_.reset(
      RetryOnEintr("open", [] { return open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC); }));
  return ArmRoot(TWalk::Arm, sink);
}

// Places the watches from the root down. A root that does not exist is looked for again by
// WaitAndCollect; the user is told once.
bool TInotifyChangeSource::ArmRoot(TWalk mode, IChangeSink& sink) {
  realRoot_ = root_;
  if (char* real = realpath(root_.c_str(), nullptr)) {
    realRoot_ = real;
    std::free(real);
    if (realRoot_.back() != '/') realRoot_ += '/';
  }
  ReadMountTable();
  rootError_ = 0;
  incomplete_ = false;
  if (mode == TWalk::Arm) {
    Arm(sink);
  } else {
    Walk(TArmStart{-1, {}, {}}, mode, sink);
  }
  std::unordered_set<int>().swap(walkVisited_);  // as large as the tree; not needed until a rescan
  if (sink.Interrupted()) {
    Close();
    return false;
  }
  if (tree_.Root() >= 0) {
    if (rootMissing_) sink.Notice(TNoticeKind::nkResumed, DirectoryResumedNotice(root_));
    rootMissing_ = false;
    if (!incomplete_) sink.Live();
    return true;
  }
  if (rootError_ == ENOENT) {
    if (!rootMissing_ && mode == TWalk::Arm) {
      sink.Notice(TNoticeKind::nkGone, DirectoryMissingNotice(root_));
    }
    rootMissing_ = true;
    return false;
  }
  Close();
  return false;
}

// The watched directory was deleted, moved away or unmounted: nothing below the path it had is
// watched any more. The queued events name places that are gone, so a fresh instance replaces
// the old one.
void TInotifyChangeSource::RootGone(IChangeSink& sink) {
  fd_.reset();
  tree_.Clear();
  pairs_.TakeWaiting();
  scanned_.clear();
  vanished_.clear();
  recovery_.Reset();
  lastReadDrained_ = true;
  if (!NewInstance(sink)) {
    Close();
    return;
  }
  sink.MayHaveRemoved({}, true);
  sink.Notice(TNoticeKind::nkGone, DirectoryGoneNotice(root_));
  rootMissing_ = true;
  ArmRoot(TWalk::Report, sink);  // it may be back already
}

bool TInotifyChangeSource::NewInstance(IChangeSink& sink) {
  fd_.reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!fd_) {
    InstanceLimitReached(sink);
    return false;
  }
  recovery_.ReadComplete(NowRealNs());
  return true;
}

void TInotifyChangeSource::InstanceLimitReached(IChangeSink& sink) {
  const int error = errno;
  if (error == ENOMEM) sink.Notice(TNoticeKind::nkLimit, "内存不足，无法监视该目录。");
  if (error != EMFILE && error != ENFILE) return;
  std::string limit = FileLimit(error, system_.procSys);
  if (error == EMFILE) {
    // The same error for the instance limit and for a full descriptor table: a plain open
    // tells which one it is.
    const TUniqueFd probe(
        RetryOnEintr("open", [] { return open("/dev/null", O_RDONLY | O_CLOEXEC); }));
    if (probe || errno != EMFILE) {
      limit = "系统的监视实例数量上限 (" +
              InotifyLimit(system_.procSys, "max_inotify_instances", "max_user_instances") + ")";
    }
  }
  sink.Notice(TNoticeKind::nkLimit, "已达到" + limit + "，无法监视该目录。");
}

void TInotifyChangeSource::Close() {
  fd_.reset();  // the kernel drops every watch with it
  mountFd_.reset();
  tree_.Clear();
  pairs_.TakeWaiting();
  rootMissing_ = false;
  std::unordered_map<std::string, std::uint64_t>().swap(scanned_);
  std::unordered_map<std::string, std::uint64_t>().swap(vanished_);
  std::unordered_set<int>().swap(walkVisited_);
  std::unordered_set<std::string>().swap(pseudoMounts_);
  std::map<std::string, std::string>().swap(mountsBelow_);
  reader_.Release();
  recovery_.Reset();
  lastReadDrained_ = true;
}

// The mount table, once per arming and after each change of it: which mount points below the
// root hold pseudo file systems (never watched), and which mounts are there at all (a change
// below the root re-watches that place).
void TInotifyChangeSource::ReadMountTable() {
  pseudoMounts_.clear();
  mountsBelow_.clear();
  std::string table;
  if (mountFd_) {
    char buf[16384];
    for (off_t at = 0;;) {
      const ssize_t n =
          RetryOnEintr("pread", [&] { return pread(mountFd_.get(), buf, sizeof buf, at); });
      if (n <= 0) break;
      table.append(buf, static_cast<std::size_t>(n));
      at += n;
    }
  }
  const std::string below = MountForm(realRoot_);
  for (const TMountEntry& mount : ParseMountInfo(table)) {
    const std::string& point = mount.point;
    const bool inside = point == below || (point.size() > below.size() &&
                                           point.compare(0, below.size(), below) == 0 &&
                                           (below == "/" || point[below.size()] == '/'));
    if (!inside) continue;
    if (IsPseudoFsType(mount.type)) pseudoMounts_.insert(point);
    if (point != below) mountsBelow_[point] = mount.id;  // the last one listed is the one on top
  }
}

bool TInotifyChangeSource::IsPseudoFs(const std::string& rel) const {
  return !pseudoMounts_.empty() && pseudoMounts_.count(MountForm(realRoot_ + rel)) != 0;
}

// A mount or unmount below the root hides the watched directories under its mount point, or
// uncovers directories nobody watched: that place is watched anew, and what is there reported.
void TInotifyChangeSource::MountsChanged(IChangeSink& sink) {
  auto before = std::move(mountsBelow_);
  ReadMountTable();
  std::vector<std::string> changed;
  for (const auto& [point, id] : mountsBelow_) {
    const auto it = before.find(point);
    if (it == before.end() || it->second != id) changed.push_back(point);
  }
  for (const auto& [point, id] : before) {
    if (mountsBelow_.count(point) == 0) changed.push_back(point);
  }
  if (changed.empty()) return;
  sink.MayHaveRemoved({}, true);
  std::sort(changed.begin(), changed.end());
  const std::string base = MountForm(realRoot_);
  const std::size_t skip = base == "/" ? 1 : base.size() + 1;
  for (const std::string& point : changed) {
    if (sink.Interrupted() || tree_.Root() < 0) return;
    Rewatch(point.substr(skip), sink);
  }
  if (!incomplete_ && !recovery_.Pending()) sink.Live();
}

void TInotifyChangeSource::Rewatch(const std::string& rel, IChangeSink& sink) {
  const std::size_t slash = rel.rfind('/');
  const int parentWd =
      tree_.Find(slash == std::string::npos ? std::string() : rel.substr(0, slash));
  if (parentWd < 0) return;  // not watched itself (a pseudo file system, or beyond the limit)
  const std::string name = slash == std::string::npos ? rel : rel.substr(slash + 1);
  const int child = tree_.FindChild(parentWd, name);
  if (child >= 0) RemoveSubtree(child, true);
  Walk(TArmStart{parentWd, name, rel}, TWalk::Report, sink);
}

// Beyond PATH_MAX the directory is named by its open descriptor; that name is a link to follow.
int TInotifyChangeSource::AddWatch(const std::string& path, int dirFd, bool isRoot) {
  const std::uint32_t mask = mask_ | (isRoot ? IN_MOVE_SELF : 0);
  if (path.size() < PATH_MAX) return system_.addWatch(fd_.get(), path.c_str(), mask);
  const std::string byFd = "/proc/self/fd/" + std::to_string(dirFd);
  return system_.addWatch(fd_.get(), byFd.c_str(), mask & ~IN_DONT_FOLLOW);
}

void TInotifyChangeSource::OpenFailed(const std::string& path, int error, IChangeSink& sink) {
  if (error != ENOENT) Incomplete(sink);
  if ((error == EMFILE || error == ENFILE) && !fdLimitNoticed_) {
    fdLimitNoticed_ = true;
    sink.Notice(TNoticeKind::nkLimit,
                "已达到" + FileLimit(error, system_.procSys) + "，部分子目录未被监视。");
  } else if (error == ENAMETOOLONG && !pathNoticed_) {
    pathNoticed_ = true;
    sink.Notice(TNoticeKind::nkLimit, UnwatchablePathNotice(path, "路径过长"));
  }
}

// The first watches over the whole tree, placed by several threads at once.
void TInotifyChangeSource::Arm(IChangeSink& sink) {
  TArmTree tree;
  tree.root = root_;
  tree.addWatch = [this](const std::string& path, int dirFd, bool isRoot) {
    return AddWatch(path, dirFd, isRoot);
  };
  if (!pseudoMounts_.empty())
    tree.skip = [this](const std::string& rel) { return IsPseudoFs(rel); };
  tree.interrupted = [&sink] { return sink.Interrupted(); };
  tree.subtree = subtree_;
  TArmOutcome armed = ArmTree(tree, {TArmStart{-1, {}, {}}});
  rootError_ = armed.rootError;
  tree_.Adopt(armed.dirs);
  if (armed.watchError == ENOSPC) {
    WatchLimitReached(sink);
  } else if (armed.watchError != 0) {
    Incomplete(sink);
  }
  if (armed.openError != 0) OpenFailed(armed.openErrorPath, armed.openError, sink);
}

void TInotifyChangeSource::RemoveSubtree(int wd, bool removeOwnWatch) {
  for (int w : tree_.RemoveSubtree(wd)) {
    if (w != wd || removeOwnWatch) inotify_rm_watch(fd_.get(), w);
  }
}

std::string TInotifyChangeSource::ScanKey(int wd, const std::string& name) {
  std::string key(reinterpret_cast<const char*>(&wd), sizeof wd);
  key += name;
  return key;
}

bool TInotifyChangeSource::WasScanned(int wd, const std::string& name) const {
  return !scanned_.empty() && scanned_.count(ScanKey(wd, name)) != 0;
}

// Part of the tree has no watch: changes there go unseen, so the tree is not live until it is
// armed anew.
void TInotifyChangeSource::Incomplete(IChangeSink& sink) {
  if (incomplete_) return;
  incomplete_ = true;
  sink.MayHaveRemoved({}, true);
}

void TInotifyChangeSource::WatchLimitReached(IChangeSink& sink) {
  Incomplete(sink);
  if (limitNoticed_) return;
  limitNoticed_ = true;
  sink.Notice(TNoticeKind::nkLimit,
              "已达到系统的监视数量上限 (" +
                  InotifyLimit(system_.procSys, "max_inotify_watches", "max_user_watches") +
                  ")，部分子目录未被监视。");
}

void TInotifyChangeSource::Emit(IChangeSink& sink, TChangeKind kind, std::string rel, bool isDir) {
  // A write shows as IN_MODIFY per write plus IN_CLOSE_WRITE: one notice per run of them.
  if (kind == TChangeKind::ckModified) {
    if (lastModified_ == rel) return;  // rel is never empty: events name an entry
    lastModified_ = rel;
  } else {
    lastModified_.clear();
  }
  sink.Report(
      TChange{kind, std::move(rel), {}, isDir ? TEntryKind::ekDirectory : TEntryKind::ekFile});
}

// An addition, once: what a rescan found is not told again by the records that follow it, nor
// is what the records told found again by a rescan.
void TInotifyChangeSource::Added(IChangeSink& sink, std::string rel, bool isDir, bool byRescan) {
  if (!(filter_ & (isDir ? kDirName : kFileName))) return;
  const std::int64_t now = NowRealNs();
  if (byRescan ? !recovery_.ScanFound(rel, now) : !recovery_.RecordAdded(rel, now)) return;
  Emit(sink, TChangeKind::ckAdded, std::move(rel), isDir);
}

// A removal record tells the list by itself; one that is not asked for is told all the same.
void TInotifyChangeSource::Removed(IChangeSink& sink, std::string rel, bool isDir) {
  recovery_.Forget(rel);
  if (filter_ & (isDir ? kDirName : kFileName)) {
    Emit(sink, TChangeKind::ckRemoved, std::move(rel), isDir);
  } else {
    sink.MayHaveRemoved(std::move(rel), isDir);
  }
}

// Depth first, without recursion. Each directory is watched before it is listed, so anything
// created in it after the listing has an event queued.
void TInotifyChangeSource::Walk(TArmStart start, TWalk mode, IChangeSink& sink) {
  std::vector<TArmStart> stack;
  stack.push_back(std::move(start));
  walkVisited_.clear();
  const bool reportDirs = (filter_ & kDirName) != 0;
  const bool reportFiles = (filter_ & kFileName) != 0;
  const bool reporting = mode == TWalk::Report || mode == TWalk::Moved;
  std::size_t listed = 0;
  while (!stack.empty()) {
    if ((++listed & 63) == 0 && sink.Interrupted()) return;
    TArmStart dir = std::move(stack.back());
    stack.pop_back();
    const bool isRoot = dir.rel.empty();
    const std::string path = isRoot ? root_ : root_ + dir.rel;
    if (IsPseudoFs(dir.rel)) continue;
    TUniqueFd dfd(OpenLongPath(
        path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | (isRoot ? 0 : O_NOFOLLOW)));
    if (!dfd) {
      const int error = errno;
      if (isRoot) rootError_ = error;
      // A new directory renamed before it could be listed: its rename, still queued, must
      // list it at its new place.
      if (reporting && dir.parentWd >= 0 && error == ENOENT) {
        vanished_.emplace(ScanKey(dir.parentWd, dir.name), readIndex_);
      }
      OpenFailed(path, error, sink);
      continue;
    }
    int wd = -1;
    if (isRoot || dir.parentWd >= 0) {
      wd = AddWatch(path, dfd.get(), isRoot);
      if (wd >= 0) {
        if (!walkVisited_.insert(wd).second) continue;  // reached twice: a bind mount loop
        tree_.Link(wd, isRoot ? -1 : dir.parentWd, dir.name);
      } else if (errno == ENOSPC) {
        WatchLimitReached(sink);
      } else if (errno == ENOENT && reporting && dir.parentWd >= 0) {
        // Renamed between the open and the watch: listing it here would name its files by a
        // path that is gone. Its rename, still queued, lists it at the new place.
        vanished_.emplace(ScanKey(dir.parentWd, dir.name), readIndex_);
        continue;
      }
    }
    if (wd < 0 && isRoot) continue;
    DIR* d = fdopendir(dfd.get());
    if (d == nullptr) continue;
    const int listedFd = dfd.release();  // closed with d
    struct TEntry {
      std::string name;
      bool isDir;
      bool statOk;
      std::int64_t ctime;
    };
    std::vector<TEntry> entries;
    while (const dirent* e = readdir(d)) {
      const char* n = e->d_name;
      if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
      bool isDir = e->d_type == DT_DIR;
      struct stat st {};
      bool statOk = false;
      if (e->d_type == DT_UNKNOWN || mode == TWalk::Rescan) {
        statOk = fstatat(listedFd, n, &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (statOk && e->d_type == DT_UNKNOWN) isDir = S_ISDIR(st.st_mode);
      }
      entries.push_back(TEntry{n, isDir, statOk, statOk ? Ns(st.st_ctim) : 0});
    }
    struct stat listedStat {};
    const bool listedOk = !reporting || isRoot || fstat(listedFd, &listedStat) == 0;
    closedir(d);
    if (reporting && !isRoot) {
      // Moved while it was being listed: the names would carry a path that is gone. Its rename,
      // still queued, lists it again at the new place.
      struct stat now {};
      if (!listedOk || !LstatLong(path, now) || now.st_ino != listedStat.st_ino ||
          now.st_dev != listedStat.st_dev) {
        if (dir.parentWd >= 0) vanished_.emplace(ScanKey(dir.parentWd, dir.name), readIndex_);
        // Their creation events, if queued, would name them by the old path too: those are
        // dropped, and the new listing reports them.
        if (wd >= 0) {
          for (const TEntry& e : entries) {
            scanned_.try_emplace(ScanKey(wd, e.name), readIndex_ | kNotReported);
          }
        }
        continue;
      }
    }
    const std::string prefix = isRoot ? std::string() : dir.rel + '/';
    for (TEntry& e : entries) {
      switch (mode) {
        case TWalk::Arm:
          break;
        case TWalk::Report: {
          if (wd >= 0) {
            auto [it, inserted] = scanned_.try_emplace(ScanKey(wd, e.name), readIndex_);
            if (!inserted) {
              if (!(it->second & kNotReported)) continue;  // reported already
              it->second = readIndex_;
            }
          }
          Added(sink, prefix + e.name, e.isDir, false);
          break;
        }
        case TWalk::Moved:
          // Named at the old place before, if at all: named here again, and the creation
          // events still queued for it are dropped.
          if (wd >= 0) scanned_[ScanKey(wd, e.name)] = readIndex_;
          Added(sink, prefix + e.name, e.isDir, false);
          break;
        case TWalk::Rescan:
          if ((e.isDir ? reportDirs : reportFiles) && e.statOk && e.ctime >= rescanThreshold_) {
            Added(sink, prefix + e.name, e.isDir, true);
          }
          break;
      }
      if (e.isDir && subtree_) {
        std::string rel = prefix + e.name;
        stack.push_back(TArmStart{wd, std::move(e.name), std::move(rel)});
      }
    }
  }
}

void TInotifyChangeSource::NoteOverflow() {
  if (!recovery_.Pending()) {
    pendingBreak_ = true;
    overflowSeen_ = SteadyNow();
  }
  recovery_.Overflowed(SteadyNow());
}

void TInotifyChangeSource::ReadEvents(IChangeSink& sink) {
  for (int round = 0; round < kMaxReadsPerWake; ++round) {
    std::vector<TInotifyEvent> events;
    const std::int64_t start = NowRealNs();
    const TInotifyReader::TRead read = reader_.Read(fd_.get(), events);
    const bool drained = read.drained;
    if (read.overflow) {
      NoteOverflow();
    } else if (read.got && drained) {
      recovery_.ReadComplete(start);
    }
    if (!read.got) {
      lastReadDrained_ = drained;
      // The queue is empty: every event about a name listed by a scan has been seen.
      if (drained) {
        scanned_.clear();
        vanished_.clear();
        recovery_.Quiet();
      }
      return;
    }
    ++readIndex_;
    if (pendingBreak_) {
      pendingBreak_ = false;
      sink.MayHaveRemoved({}, true);  // until the rescan has made up for what was dropped
    }
    lastReadDrained_ = drained;
    Process(events, sink);
    if (tree_.Root() < 0) return;
    // A rename's two events are queued one after the other, but a read may fall between them.
    if (pairs_.Waiting() && (!drained || TInotifyReader::Readable(fd_.get(), kMovePartnerWaitMs))) {
      continue;
    }
    MovedOut(sink);
    if (drained) {
      for (auto* names : {&scanned_, &vanished_}) {
        for (auto it = names->begin(); it != names->end();) {
          it = (it->second & ~kNotReported) < readIndex_ ? names->erase(it) : std::next(it);
        }
      }
    }
    if (sink.Interrupted()) return;
    if (drained && scanned_.empty() && vanished_.empty()) return;
  }
}

void TInotifyChangeSource::Process(const std::vector<TInotifyEvent>& events, IChangeSink& sink) {
  lastModified_.clear();
  std::string dirRel;
  for (const TInotifyEvent& e : events) {
    if (e.kind != TInotifyKind::ikMovedTo) MovedOut(sink);
    if (e.wd == tree_.Root() &&
        (e.kind == TInotifyKind::ikWatchGone || e.kind == TInotifyKind::ikMovedSelf)) {
      tree_.Clear();  // the rest of the batch names places that are gone; see RootGone
      return;
    }
    if (e.kind == TInotifyKind::ikWatchGone) {
      if (tree_.Contains(e.wd)) {
        if (tree_.RelDir(e.wd, dirRel) && !dirRel.empty()) {
          dirRel.pop_back();
          sink.MayHaveRemoved(dirRel, true);
        }
        RemoveSubtree(e.wd, false);
      }
      continue;
    }
    if (e.kind == TInotifyKind::ikMovedSelf || !tree_.RelDir(e.wd, dirRel)) continue;
    std::string rel = dirRel + e.name;
    const TEntryKind entry = e.isDir ? TEntryKind::ekDirectory : TEntryKind::ekFile;
    switch (e.kind) {
      case TInotifyKind::ikMovedTo:
        if (auto renamed = pairs_.To(e.cookie, rel, entry)) {
          Renamed(std::move(*renamed), e, sink);
          break;
        }
        MovedOut(sink);
        [[fallthrough]];  // moved in from outside the tree
      case TInotifyKind::ikCreated:
        if (e.isDir && subtree_) {
          NewDirectory(e.wd, e.name, std::move(rel), sink);
        } else if (!WasScanned(e.wd, e.name)) {
          Added(sink, std::move(rel), e.isDir, false);
        }
        break;
      case TInotifyKind::ikDeleted:
        if (!scanned_.empty()) scanned_.erase(ScanKey(e.wd, e.name));
        Removed(sink, std::move(rel), e.isDir);
        break;
      case TInotifyKind::ikMovedFrom:
        if (!scanned_.empty()) scanned_.erase(ScanKey(e.wd, e.name));
        if (e.isDir) vanished_.erase(ScanKey(e.wd, e.name));
        recovery_.Forget(rel);
        pairs_.From(e.cookie, std::move(rel), entry);
        break;
      case TInotifyKind::ikModified:
        if (!e.isDir || (filter_ & kDirName)) {
          Emit(sink, TChangeKind::ckModified, std::move(rel), e.isDir);
        }
        break;
      default:
        break;
    }
    if (sink.Interrupted()) return;
  }
}

// Within the tree: a directory's watches follow it, and every file below it is named at its new
// place, as download clients finish a folder by renaming it. The walk also watches what was not
// watched yet (new and renamed before it was listed, or beyond the limit).
void TInotifyChangeSource::Renamed(TChange renamed, const TInotifyEvent& to, IChangeSink& sink) {
  const bool isDir = renamed.entry == TEntryKind::ekDirectory;
  const int moved = isDir && subtree_ ? tree_.Find(renamed.name) : -1;
  recovery_.RecordAdded(renamed.newName, NowRealNs());  // a rescan need not find it again
  std::string newRel = isDir && subtree_ ? renamed.newName : std::string();
  if (filter_ & (isDir ? kDirName : kFileName)) {
    lastModified_.clear();
    sink.Report(std::move(renamed));
  } else {
    sink.MayHaveRemoved(std::move(renamed.name), isDir);
  }
  if (!isDir || !subtree_) return;
  if (moved >= 0) tree_.Link(moved, to.wd, to.name);
  Walk(TArmStart{to.wd, to.name, std::move(newRel)}, TWalk::Moved, sink);
}

// Old names whose new name did not follow: moved out of the tree, or to a directory that is not
// watched.
void TInotifyChangeSource::MovedOut(IChangeSink& sink) {
  if (!pairs_.Waiting()) return;
  TChanges gone = pairs_.TakeWaiting();
  if (tree_.Root() < 0) return;  // the queued names are of places that are gone
  for (TChange& c : gone) {
    const bool isDir = c.entry == TEntryKind::ekDirectory;
    const int wd = isDir ? tree_.Find(c.name) : -1;
    Removed(sink, std::move(c.name), isDir);
    if (wd >= 0) RemoveSubtree(wd, true);
  }
}

void TInotifyChangeSource::NewDirectory(int parentWd, const std::string& name, std::string rel,
                                        IChangeSink& sink) {
  if (WasScanned(parentWd, name)) return;  // listed, watched and reported by an earlier scan
  Added(sink, rel, true, false);
  Walk(TArmStart{parentWd, name, std::move(rel)}, TWalk::Report, sink);
}

void TInotifyChangeSource::Rescan(IChangeSink& sink) {
  ++rescans_;
  rescanThreshold_ = recovery_.BeginRescan(SteadyNow());
  lastModified_.clear();
  incomplete_ = false;
  Walk(TArmStart{-1, {}, {}}, TWalk::Rescan, sink);
  if (!sink.Interrupted()) {
    // Directories that were not met again went away while events were lost.
    for (int wd : tree_.Except(walkVisited_)) {
      if (tree_.Contains(wd)) RemoveSubtree(wd, true);
    }
  }
  std::unordered_set<int>().swap(walkVisited_);
  const std::uint64_t recovered = recovery_.EndRescan(SteadyNow());
  if (sink.Interrupted() || tree_.Root() < 0) return;
  sink.Notice(TNoticeKind::nkRecovered, OverflowRecoveredNotice(recovered));
  if (!incomplete_ && !recovery_.Pending()) sink.Live();
}

void TInotifyChangeSource::WaitAndCollect(IChangeSink& sink) {
  pollfd fds[3] = {
      {wakeFd_.get(), POLLIN, 0}, {fd_.get(), POLLIN, 0}, {mountFd_.get(), POLLPRI, 0}};
  nfds_t count = 1;
  int timeout = -1;
  if (fd_) {
    count = mountFd_ ? 3 : 2;
    if (rootMissing_) {
      timeout = kMissingRootRetryMs;
    } else {
      if (recovery_.Pending()) {
        const std::int64_t wait = std::max<std::int64_t>(0, recovery_.Due() - SteadyNow());
        timeout = static_cast<int>(wait / 1'000'000 + 1);
      }
      if (!scanned_.empty() || !vanished_.empty()) timeout = 0;  // look for the empty queue
    }
  }
  if (RetryOnEintr("poll", [&] { return poll(fds, count, timeout); }) < 0) return;
  if (fds[0].revents & POLLIN) {
    std::uint64_t value;
    RetryOnEintr("read", [&] { return read(wakeFd_.get(), &value, sizeof value); });
  }
  if (!fd_ || sink.Interrupted()) return;
  if (rootMissing_) {
    ArmRoot(TWalk::Report, sink);  // all it holds is new to the user
    return;
  }
  if (count == 3 && (fds[2].revents & (POLLPRI | POLLERR))) MountsChanged(sink);
  if (tree_.Root() >= 0 && ((fds[1].revents & POLLIN) || !scanned_.empty() || !vanished_.empty())) {
    ReadEvents(sink);
    MovedOut(sink);
  }
  if (tree_.Root() < 0) {
    if (!sink.Interrupted()) RootGone(sink);
    return;
  }
  if (recovery_.Pending() && !sink.Interrupted()) {
    // Rescan once the queue has been emptied, so that the rescan follows what it missed; a
    // queue that never empties gets its rescan after a second anyway.
    if (SteadyNow() >= recovery_.Due() &&
        (lastReadDrained_ || SteadyNow() - overflowSeen_ >= 1'000'000'000)) {
      Rescan(sink);
    }
  }
}

}  // namespace mv
