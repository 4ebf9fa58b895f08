// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "另存为" (BitBtn3) and "自动更名" (BitBtn4): copy listed files elsewhere, adding the detected
// extension where the file's own is not in the mask, and rename listed files in place. Every
// copy and rename goes through FileRules.h: a rename never replaces a file, a copy never
// damages its source or (when it fails) the old target. Neither command changes the list.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mv {

class TListBoxStrings;

inline constexpr const char* kCopyDone = "复制完成";
inline constexpr const char* kCopiedCount = "成功复制%d个文件";

// What a long copy tells its progress display, and how it learns of a cancel. Called from the
// thread that runs the work (a worker thread in the window): implementations must be
// thread-safe.
class TProgress {
 public:
  virtual ~TProgress() = default;
  // done files of the total given to RunWithProgress are finished (called after each file,
  // whether its copy succeeded or not).
  virtual void Step(int done) = 0;
  // Bytes of the file being copied now, called between chunks of a large file.
  virtual void Bytes(std::uint64_t copied, std::uint64_t total) = 0;
  // True once the user pressed cancel. A bulk copy stops after the current file; the single
  // copy of one large file stops at once and leaves any old target as it was.
  virtual bool Cancelled() const = 0;
};

// The window's side of the save command.
class ISaveUi {
 public:
  virtual ~ISaveUi() = default;
  // SaveDialog1: fileName in (the proposed name, no directory) and out (the chosen full path).
  // False on cancel; no overwrite question.
  virtual bool ExecuteSaveDialog(std::string& fileName) = 0;
  // ChooseDirectory(false, dir): dir comes in empty; false on cancel (dir unchanged). The
  // returned folder may lack a trailing delimiter.
  virtual bool ChooseDirectory(std::string& dir) = 0;
  // ShowInfoMessage: caption "提示", information icon, OK.
  virtual void ShowInfoMessage(const std::string& text) = 0;
  // Runs work(progress) and returns when it has finished. total: the number of files. The
  // window runs work on a worker thread and keeps its event loop going meanwhile (painting,
  // a progress display of files done of all once it takes over about half a second, a cancel
  // button). work touches no window object (it gets copies of the entries and the mask), so it
  // may run on any thread. An exception thrown by work must be rethrown by RunWithProgress on
  // the calling thread.
  virtual void RunWithProgress(int total, const std::function<void(TProgress&)>& work) = 0;
};

// Per-file outcome of the copy and rename cores, for melvigil-cli's report. Called on the
// thread that runs the work.
enum class TFileOutcome {
  Done,
  Failed,
  SkippedInMask,          // rename: the entry's extension is already in the mask (to is empty)
  SkippedUnknownType,     // rename: nothing detected, the new name would be the old (to == from)
  SkippedOpenForWriting,  // rename: another program is still writing the file
};
// reason: why a copy or rename failed or was skipped, in plain words; empty otherwise.
using TFileReport = std::function<void(const std::string& from, const std::string& to,
                                       TFileOutcome outcome, const std::string& reason)>;

// A progress that only records, for melvigil-cli and tests. Cancel() may be called from any
// thread, or from OnStep, and is honoured like the window's cancel button.
class TDirectProgress final : public TProgress {
 public:
  std::function<void(int done)> OnStep;
  void Step(int done) override;
  void Bytes(std::uint64_t copied, std::uint64_t total) override;
  bool Cancelled() const override { return cancelled_; }
  void Cancel() { cancelled_ = true; }
  int LastDone() const { return done_; }
  std::uint64_t LastBytes() const { return bytes_; }
  // The size of the file whose bytes LastBytes counts.
  std::uint64_t LastTotalBytes() const { return totalBytes_; }

 private:
  std::atomic<int> done_ = 0;
  std::atomic<std::uint64_t> bytes_ = 0;
  std::atomic<std::uint64_t> totalBytes_ = 0;
  std::atomic<bool> cancelled_ = false;
};

// --- the commands, as the window calls them (main thread) --------------------------------

// SaveSelected, maskText = Edit1's text (ASCII case ignored).
// Fewer than two entries selected: source := list.Get(list.ItemIndex()) (index -1 raises
// EStringListError, nothing is copied); the save dialog proposes the source's name part; on
// confirm the source is copied over the chosen path (inside ui.RunWithProgress with total 1)
// and "复制完成" is shown only when the copy succeeded.
// Two or more selected: ui.ChooseDirectory with an empty dir; when one is chosen,
// SaveSelectedInto it; after a cancelled choice "成功复制0个文件".
void SaveSelected(TListBoxStrings& list, const std::string& maskText, ISaveUi& ui);
// Every selected entry, however many, first to last, is copied into dir
// (CopyEntriesToDirectory inside ui.RunWithProgress); then "成功复制%d个文件" with the count.
void SaveSelectedInto(TListBoxStrings& list, const std::string& dir, const std::string& maskText,
                      ISaveUi& ui, const TFileReport& report = {});

// RenameAll: every entry, last to first, whose extension is not in the mask (read afresh
// for each entry) is renamed to entry + GuessFileExt(entry). An empty detected extension means
// the same name: that entry is skipped. Results are ignored and the list is unchanged (the
// sweep drops the old names). report (optional) hears of every entry, skipped ones included.
void RenameAll(TListBoxStrings& list, const std::function<std::string()>& maskText,
               const TFileReport& report = {});

// --- the cores beneath them (any thread; they touch no list) -------------------------------

// dir (already ending in a delimiter) + name part of entry, + GuessFileExt(entry) when the
// target's extension is not in the mask.
std::string BulkCopyTarget(const std::string& dir, const std::string& entry, std::string_view mask);
// Copies each entry, first to last, to BulkCopyTarget(WithDirDelimiter(dir), ...),
// replacing existing targets; stops after the current file once progress->Cancelled(). Returns
// the number of successful copies. progress may be null. dir must not be empty.
int CopyEntriesToDirectory(const std::vector<std::string>& entries, const std::string& dir,
                           std::string_view mask, TProgress* progress,
                           const TFileReport& report = {});
// The single-file copy: source over target, replacing it; bytes go to progress (may be null),
// whose cancel stops the copy and leaves the old target as it was. True on success.
bool CopySingle(const std::string& source, const std::string& target, TProgress* progress);

}  // namespace mv
