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

namespace text {
// Told once when the list is full; %d is the limit.
inline constexpr const char* kListFull = "下载列表已满 (%d 项)，新的文件不再列出";
// After the path of an entry still being written, where a window shows the entry's state.
inline constexpr const char* kBeingWrittenMark = "（下载中）";
}  // namespace text

class TDownloadList {
 public:
  using TEntryEvent = std::function<void(const std::string& entry)>;

  // Beyond this many entries new files are not listed: the list, its index and a sweep that
  // checks everything (watching off) stay within a few tens of MiB and under a second.
  static constexpr int kDefaultEntryLimit = 200000;

  // maskText: the music mask as typed (Edit1), read afresh at every event.
  // listAllFiles: the "list every created file" switch (CheckBox1), read at every event.
  TDownloadList(TListBoxStrings& list, IMainThreadDispatcher& dispatcher,
                std::function<std::string()> maskText, std::function<bool()> listAllFiles);
  ~TDownloadList();
  TDownloadList(const TDownloadList&) = delete;
  TDownloadList& operator=(const TDownloadList&) = delete;

  // The watcher's OnChange. Every operation is listed alike (the operation only tells whether a
  // listed name's writing state is to be tested again).
  // FileName1 is appended when its extension is in the mask, it is not yet an entry (ASCII
  // case ignored) and it is a file; FileName2 (a rename's new name) gets the same test, so a
  // download finished by renaming (song.mp3.part -> song.mp3) is listed; with the all-files
  // switch on and nothing added, FileName1 is appended when it is a new entry and a file.
  // A full list appends nothing and says so once through OnNotice.
  void FileChanged(TFileOperation FileOperation, const std::string& FileName1,
                   const std::string& FileName2);

  // Lets the sweep rely on the watcher: takes its OnMayHaveRemoved and asks it IsLive and
  // LiveRoot at every tick. The watcher must outlive every later call of Sweep.
  void AttachWatcher(TFileSystemWatcher& watcher);
  // The watcher's OnMayHaveRemoved: the file (or, with subtree, everything below the directory)
  // may have gone; entries there are checked at the next sweep.
  void MayHaveRemoved(const std::string& path, bool subtree);

  // The once-a-second tick. Starts a sweep unless one is still running (then it does nothing).
  // An entry is checked when it may have gone: every entry while no watch is live; while one
  // is, the entries outside its directory and those an event may have removed, and every entry
  // once after the watch became live or lost continuity. Idle under a live watch, a tick costs
  // next to nothing. The checking thread gets the entries to check in small slices copied on
  // the main thread; then the main thread removes - last to first, in batches - the entries
  // found missing that are still missing when re-checked and still in the list.
  void Sweep();

  // True while the entry's file was, when last tested, held open for writing by another
  // program (a download in progress). Decided when the entry is appended, tested again when
  // the watcher reports a change of that name, and at every tick for these entries only: the
  // cost follows the downloads under way, not the length of the list. Meant for the rows on
  // screen; entry is the list's text.
  bool IsBeingWritten(const std::string& entry) const;

  // Main thread; for tests. Beyond limit entries nothing is appended.
  void SetEntryLimit(int limit);

  // True from a Sweep that started a sweep until its last removal batch has run.
  bool SweepRunning() const;
  // Counts finished sweeps (for tests and benchmarks: "one full sweep has happened since").
  unsigned long SweepsDone() const;
  // Counts the existence checks the sweeps made (diagnostics).
  unsigned long long EntriesChecked() const;

  // Called on the main thread after an entry is appended / after the sweep removed it.
  TEntryEvent OnAppended;
  TEntryEvent OnRemoved;
  // Called on the main thread when a listed entry's IsBeingWritten changes after it was
  // appended (a row to repaint).
  TEntryEvent OnWritingChanged;
  // A notice for the user, in Chinese (the list is full).
  std::function<void(const std::string&)> OnNotice;

 private:
  struct TState;
  struct TCheck;
  bool Consider(const std::string& name, bool mayBeWritten);
  void CountDirs(const std::string& entry, int delta);
  void Feed(unsigned long sweep);
  void Checked(unsigned long sweep, std::vector<TCheck> missing);
  void RemoveBatch(unsigned long sweep);
  void Finish();
  void StartChecker();
  void TestWriting(const std::string& entry);
  void RetestWriting();
  void RetestSlice();

  TListBoxStrings& list_;
  IMainThreadDispatcher& dispatcher_;
  std::function<std::string()> maskText_;
  std::function<bool()> listAllFiles_;
  std::function<std::string()> liveRoot_;
  std::shared_ptr<TState> state_;
};

}  // namespace mv
