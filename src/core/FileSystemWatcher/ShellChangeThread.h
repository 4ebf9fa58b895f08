// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The worker behind one activation of TFileSystemWatcher: a thread that waits on the change
// source and hands each batch of records to the main thread, where it is decoded into handler
// calls. Never reused once told to stop.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "FileSystemWatcher/ChangeSource.h"
#include "FileSystemWatcher/FileSystemWatcher.h"
#include "utility/Dispatcher.h"

namespace mv {

// What a worker tells its component besides the handler calls, each on the main thread and read
// when the worker's task runs, so that a handler assigned later still receives it.
struct TWorkerHooks {
  std::function<void(TNoticeKind, const std::string&)> notice;  // of limit notices the first only
  std::function<void(bool watching)> armed;                     // after each (re)open
  // In order with the changes: the tree is watched in full (root with its delimiter), and
  // something at path may be gone (broken: continuity lost over the tree).
  std::function<void(const std::string& root)> live;
  std::function<void(const std::string& path, bool subtree, bool broken)> mayHaveRemoved;
};

class TShellChangeThread {
 public:
  // The handler is fixed for the worker's life. The thread starts at Resume.
  TShellChangeThread(IMainThreadDispatcher& mainThread, TFileDealMethod handler,
                     std::unique_ptr<IChangeSource> source, std::shared_ptr<TWorkerHooks> hooks);
  // Terminates the worker and waits for its thread to end (which it does promptly: a worker
  // waiting on the main thread is released by the terminate flag).
  ~TShellChangeThread();
  TShellChangeThread(const TShellChangeThread&) = delete;
  TShellChangeThread& operator=(const TShellChangeThread&) = delete;

  // Main thread. Stores the options (the directory with its delimiter appended) and makes the
  // worker reopen the directory with them.
  void SetDirectoryOptions(const std::string& directory, bool active, std::uint32_t notifyFilter,
                           bool watchSubTree);
  // Main thread. Starts the thread.
  void Resume();
  // Any thread. Sets the terminate flag and wakes the worker at once; batches it has handed over
  // and that have not run yet deliver nothing.
  void Terminate();
  // True once the thread body has returned (or never started).
  bool Finished() const { return finished_.load(); }
  // Waits for the thread body to return.
  void Join();

 private:
  struct TShared;
  class TSink;
  void Execute();

  IMainThreadDispatcher& mainThread_;
  std::shared_ptr<TShared> shared_;
  std::thread thread_;
  std::atomic<bool> finished_{true};
};

}  // namespace mv
