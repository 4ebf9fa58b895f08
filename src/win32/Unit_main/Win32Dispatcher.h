// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main thread's dispatcher for the Windows window: tasks posted from any thread run on the
// thread that created it, from its message loop, through a message-only window.

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "Unit_main/HiddenWindow.h"
#include "utility/Dispatcher.h"

namespace mv {

class TWin32Dispatcher final : public IMainThreadDispatcher {
 public:
  TWin32Dispatcher();
  TWin32Dispatcher(const TWin32Dispatcher&) = delete;
  TWin32Dispatcher& operator=(const TWin32Dispatcher&) = delete;

  // Queues task and wakes the window; an error escaping task goes to the error box.
  void Post(std::function<void()> task) override;
  // Runs what is queued now (tests that pump messages themselves need not call it).
  int RunPending();

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
  bool wakePosted_ = false;
  // Last: its messages find the queue still there until it is gone.
  THiddenWindow window_;
};

}  // namespace mv
