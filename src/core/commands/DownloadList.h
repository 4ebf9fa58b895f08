// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The download list: the watcher's change handler that appends new music files, and the
// once-a-second sweep that drops entries whose files have gone. Shared by the window and
// melvigil-cli.
//
// Threading: construct, destroy and call every member on the main (window) thread, the thread
// that runs the dispatcher. The list is touched only there. The sweep's existence checks run on
// a worker thread of this object; their result comes back through dispatcher.Post, and the
// removals then happen on the main thread. Posted tasks that arrive after the object is gone
// are dropped, and the destructor waits for a running check to stop (it stops within one file
// check), so the object may be destroyed at any time.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FileSystemWatcher/FileSystemWatcher.h"
#include "utility/Dispatcher.h"
#include "utility/ListItems.h"

namespace mv {

class TDownloadList {
 public:
  using TEntryEvent = std::function<void(const std::string& entry)>;

  // maskText: the music mask as typed (Edit1), read afresh at every event.
  // listAllFiles: the "list every created file" switch (CheckBox1), read at every event.
  TDownloadList(TListBoxStrings& list, IMainThreadDispatcher& dispatcher,
                std::function<std::string()> maskText, std::function<bool()> listAllFiles);
  ~TDownloadList();
  TDownloadList(const TDownloadList&) = delete;
  TDownloadList& operator=(const TDownloadList&) = delete;

  // The watcher's OnChange. The operation is not looked at: every event is treated alike.
  // FileName1 is appended when its extension is in the mask, it is not yet an entry (ASCII
  // case ignored) and it is a file; FileName2 (a rename's new name) gets the same test, so a
  // download finished by renaming (song.mp3.part -> song.mp3) is listed; with the all-files
  // switch on and nothing added, FileName1 is appended when it is a new entry and a file.
  void FileChanged(TFileOperation FileOperation, const std::string& FileName1,
                   const std::string& FileName2);

  // The once-a-second tick. Starts a sweep unless one is still running (then it does nothing).
  // The checking thread keeps its own copy of the entries, fed with the entries appended here
  // and the sweep's removals, and checks every one; then the main thread removes - last to
  // first, in batches - the entries found missing that are still missing when re-checked and
  // still in the list. So a tick costs the main thread next to nothing until files go. When
  // the list was changed by someone else (its count differs from what this object expects, or
  // an entry was not where it should be), the next sweep first copies the list afresh, in
  // slices of a few milliseconds, each a task of its own on the dispatcher.
  void Sweep();

  // True from a Sweep that started a sweep until its last removal batch has run.
  bool SweepRunning() const;
  // Counts finished sweeps (for tests and benchmarks: "one full sweep has happened since").
  unsigned long SweepsDone() const;
  // Counts the sweeps that had to copy the list afresh (diagnostics).
  unsigned long FullCopies() const;

  // Called on the main thread after an entry is appended / after the sweep removed it.
  TEntryEvent OnAppended;
  TEntryEvent OnRemoved;

 private:
  struct TState;
  struct TMissing;
  bool Consider(const std::string& name);
  void SnapshotSlice(unsigned long sweep, std::size_t from);
  void HandOver(unsigned long sweep, bool replace);
  void RemoveBatch(unsigned long sweep, std::shared_ptr<std::vector<TMissing>> missing,
                   std::size_t remaining);

  TListBoxStrings& list_;
  IMainThreadDispatcher& dispatcher_;
  std::function<std::string()> maskText_;
  std::function<bool()> listAllFiles_;
  std::shared_ptr<TState> state_;
};

}  // namespace mv
