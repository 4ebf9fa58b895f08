// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Win32Dispatcher.h"

#include "dialogs/ErrorBox.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

constexpr const char* kClassName = "MelvigilDispatcher";
constexpr UINT kRunTasks = WM_APP + 1;

}  // namespace

TWin32Dispatcher::TWin32Dispatcher() : window_(kClassName, kRunTasks, [this] { RunPending(); }) {
  if (window_.Handle() == nullptr) throw EOutOfResources("CreateWindowEx");
}

void TWin32Dispatcher::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(task));
  // One wake-up message at a time: a burst of posts costs one message.
  if (!wakePosted_) wakePosted_ = PostMessageA(window_.Handle(), kRunTasks, 0, 0) != 0;
}

int TWin32Dispatcher::RunPending() {
  int count = 0;
  std::unique_lock lock(mutex_);
  wakePosted_ = false;
  // Only what is queued now: tasks that post again run at the next wake-up, so that painting
  // and input get their turn.
  std::deque<std::function<void()>> batch;
  batch.swap(queue_);
  lock.unlock();
  for (auto& task : batch) {
    RunGuarded(task);
    ++count;
  }
  return count;
}

}  // namespace mv
