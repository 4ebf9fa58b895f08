// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/FileSystemWatcher.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/ShellChangeThread.h"
#include "utility/NameRules.h"

namespace mv {

const char* FileOperationName(TFileOperation op) {
  static constexpr const char* kNames[] = {"foAdded", "foRemoved", "foModified", "foRenamed"};
  const auto i = static_cast<std::size_t>(op);
  return i < std::size(kNames) ? kNames[i] : "";
}

std::uint32_t NotifyFilterMask(TNotifyFilters filters) {
  static constexpr std::uint32_t kBits[] = {0x001, 0x002, 0x004, 0x008, 0x010, 0x020, 0x040, 0x100};
  std::uint32_t mask = 0;
  for (unsigned i = 0; i < 8; ++i) {
    if (filters.Contains(static_cast<TNotifyFilter>(i))) mask |= kBits[i];
  }
  return mask;
}

std::string DirectoryGoneNotice(const std::string& dir) {
  return "监视的目录已不存在：" + dir + "。它重新出现后将自动继续监视。";
}

std::string DirectoryMissingNotice(const std::string& dir) {
  return "监视的目录不存在：" + dir + "。它出现后将自动开始监视。";
}

std::string DirectoryResumedNotice(const std::string& dir) {
  return "监视的目录已重新出现，继续监视：" + dir;
}

std::string OverflowRecoveredNotice(std::uint64_t names) {
  return "系统的变化通知溢出，重新扫描找回了 " + std::to_string(names) + " 个名称。";
}

TFileSystemWatcher::TFileSystemWatcher(IMainThreadDispatcher& mainThread,
                                       TChangeSourceFactory sourceFactory)
    : mainThread_(mainThread),
      sourceFactory_(sourceFactory ? std::move(sourceFactory)
                                   : TChangeSourceFactory(CreatePlatformChangeSource)),
      watchedDir_(DefaultWatchedDir()),
      hooks_(std::make_shared<TWorkerHooks>()) {
  // Posted tasks of a worker run only while it is not terminated, and the component terminates
  // its workers before it goes: they never outlive it.
  hooks_->live = [this](const std::string& root) { BecameLive(root); };
  hooks_->mayHaveRemoved = [this](const std::string& path, bool subtree, bool broken) {
    MayHaveRemoved(path, subtree, broken);
  };
}

TFileSystemWatcher::~TFileSystemWatcher() {
  if (worker_) worker_->Terminate();
  for (auto& w : retired_) w->Terminate();
  // Terminated workers never wait on the main thread again, so joining them here cannot block
  // on this thread.
  worker_.reset();
  ReapWorkers(true);
}

void TFileSystemWatcher::SetActived(bool value) {
  if (value == actived_) return;
  actived_ = value;
  Reconfigure();
  if (actived_) {
    Start();
  } else {
    Stop();
  }
}

void TFileSystemWatcher::SetWatchedDir(const std::string& value) {
  const std::string dir = PlatformWatchedDir(value);
  if (AsciiCompareNoCase(dir, watchedDir_) == 0) return;
  watchedDir_ = dir;
  Reconfigure();
}

void TFileSystemWatcher::SetWatchSubTree(bool value) {
  if (value == watchSubTree_) return;
  watchSubTree_ = value;
  Reconfigure();
}

void TFileSystemWatcher::SetNotifyFilters(TNotifyFilters value) {
  if (value == notifyFilters_) return;
  notifyFilters_ = value;
  Reconfigure();
}

void TFileSystemWatcher::SetOnChange(TFileDealMethod handler) {
  onChange_ = std::move(handler);
  if (onChange_ && actived_) {
    Start();
  } else {
    Stop();
  }
  Reconfigure();
}

void TFileSystemWatcher::SetOnNotice(std::function<void(const std::string&)> handler) {
  if (!handler) {
    hooks_->notice = nullptr;
    return;
  }
  hooks_->notice = [handler = std::move(handler)](TNoticeKind kind, const std::string& text) {
    if (kind != TNoticeKind::nkRecovered) handler(text);
  };
}

void TFileSystemWatcher::SetOnNoticeOfKind(
    std::function<void(TNoticeKind, const std::string&)> handler) {
  hooks_->notice = std::move(handler);
}

void TFileSystemWatcher::SetOnMayHaveRemoved(
    std::function<void(const std::string& path, bool subtree)> handler) {
  onMayHaveRemoved_ = std::move(handler);
}

bool TFileSystemWatcher::IsLive() const { return live_ && actived_ && worker_ != nullptr; }

std::string TFileSystemWatcher::LiveRoot() const { return IsLive() ? liveRoot_ : std::string(); }

void TFileSystemWatcher::BecameLive(const std::string& root) {
  if (!actived_ || !worker_) return;
  live_ = true;
  liveRoot_ = root;
  // Whatever happened while the tree was not watched in full is unknown.
  if (onMayHaveRemoved_) onMayHaveRemoved_(root, true);
}

void TFileSystemWatcher::MayHaveRemoved(const std::string& path, bool subtree, bool broken) {
  if (broken) live_ = false;
  if (onMayHaveRemoved_) onMayHaveRemoved_(path, subtree);
}

void TFileSystemWatcher::SetOnArmed(std::function<void(bool watching)> handler) {
  hooks_->armed = std::move(handler);
}

int TFileSystemWatcher::LiveWorkerCount() {
  ReapWorkers(false);
  int count = worker_ && !worker_->Finished() ? 1 : 0;
  for (const auto& w : retired_) count += w->Finished() ? 0 : 1;
  return count;
}

void TFileSystemWatcher::Reconfigure() {
  if (!worker_) return;
  live_ = false;  // until the reopened watch says it is armed
  ++resetCount_;
  worker_->SetDirectoryOptions(watchedDir_, actived_, NotifyFilterMask(notifyFilters_),
                               watchSubTree_);
}

void TFileSystemWatcher::Start() {
  if (!onChange_) return;
  // At most one worker delivers: a second start retires the running one first.
  Stop();
  worker_ = std::make_unique<TShellChangeThread>(mainThread_, onChange_, sourceFactory_(), hooks_);
  Reconfigure();
  worker_->Resume();
}

void TFileSystemWatcher::Stop() {
  live_ = false;
  if (worker_) {
    worker_->Terminate();
    retired_.push_back(std::move(worker_));
  }
  ReapWorkers(false);
}

void TFileSystemWatcher::ReapWorkers(bool wait) {
  auto ended = [wait](const std::unique_ptr<TShellChangeThread>& w) {
    if (!wait && !w->Finished()) return false;
    w->Join();
    return true;
  };
  retired_.erase(std::remove_if(retired_.begin(), retired_.end(), ended), retired_.end());
}

}  // namespace mv
