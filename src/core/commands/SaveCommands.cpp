// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/SaveCommands.h"

#include "commands/EntryActions.h"
#include "utility/FileRules.h"
#include "utility/GuessFileExt.h"
#include "utility/ListItems.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

// A bulk copy's cancel waits for the end of the current file, so between chunks it only
// reports bytes.
bool BytesOnly(void* context, std::uint64_t copied, std::uint64_t total) {
  static_cast<TProgress*>(context)->Bytes(copied, total);
  return true;
}

bool BytesOrCancel(void* context, std::uint64_t copied, std::uint64_t total) {
  auto* progress = static_cast<TProgress*>(context);
  progress->Bytes(copied, total);
  return !progress->Cancelled();
}

}  // namespace

void TDirectProgress::Step(int done) {
  done_ = done;
  if (OnStep) OnStep(done);
}

void TDirectProgress::Bytes(std::uint64_t copied, std::uint64_t total) {
  // The total first: a reader that sees the new count then never sees a smaller file's total.
  totalBytes_ = total;
  bytes_ = copied;
}

std::string BulkCopyTarget(const std::string& dir, const std::string& entry,
                           std::string_view mask) {
  std::string target = dir + NameOnly(entry);
  if (!ExtensionInMask(target, mask)) target += GuessFileExt(entry);
  return target;
}

int CopyEntriesToDirectory(const std::vector<std::string>& entries, const std::string& dir,
                           std::string_view mask, TProgress* progress, const TFileReport& report) {
  const std::string folder = WithDirDelimiter(dir);
  int count = 0;
  int done = 0;
  for (const std::string& entry : entries) {
    if (progress && progress->Cancelled()) break;
    const std::string target = BulkCopyTarget(folder, entry, mask);
    const TFileResult r =
        CopyFileOverwrite(entry, target, progress ? &BytesOnly : nullptr, progress);
    if (r) ++count;
    if (report) report(entry, target, r ? TFileOutcome::Done : TFileOutcome::Failed, r.Reason());
    if (progress) progress->Step(++done);
  }
  return count;
}

bool CopySingle(const std::string& source, const std::string& target, TProgress* progress) {
  return static_cast<bool>(
      CopyFileOverwrite(source, target, progress ? &BytesOrCancel : nullptr, progress));
}

void SaveSelected(TListBoxStrings& list, const std::string& maskText, ISaveUi& ui) {
  if (list.SelCount() < 2) {
    // Index -1 raises the list's index error here, before any dialog.
    const std::string source = list.Get(list.ItemIndex());
    std::string fileName = NameOnly(source);
    if (!ui.ExecuteSaveDialog(fileName)) return;
    bool ok = false;
    ui.RunWithProgress(1, [&source, &fileName, &ok](TProgress& progress) {
      ok = CopySingle(source, fileName, &progress);
      progress.Step(1);
    });
    if (ok) ui.ShowInfoMessage(kCopyDone);
    return;
  }
  std::string dir;
  if (ui.ChooseDirectory(dir) && !dir.empty()) return SaveSelectedInto(list, dir, maskText, ui);
  ui.ShowInfoMessage(FormatD(kCopiedCount, 0));
}

void SaveSelectedInto(TListBoxStrings& list, const std::string& dir, const std::string& maskText,
                      ISaveUi& ui, const TFileReport& report) {
  // The work runs off the window thread: it gets its own copy of the selected entries.
  const std::vector<std::string> selected = SelectedPaths(list);
  int count = 0;
  ui.RunWithProgress(static_cast<int>(selected.size()), [&](TProgress& progress) {
    count = CopyEntriesToDirectory(selected, dir, maskText, &progress, report);
  });
  ui.ShowInfoMessage(FormatD(kCopiedCount, count));
}

void RenameAll(TListBoxStrings& list, const std::function<std::string()>& maskText,
               const TFileReport& report) {
  for (int i = list.Count() - 1; i >= 0; --i) {
    const std::string entry = list.Get(i);
    const std::string mask = maskText ? maskText() : std::string();
    if (ExtensionInMask(entry, mask)) {
      if (report) report(entry, std::string(), TFileOutcome::SkippedInMask, std::string());
      continue;
    }
    const std::string ext = GuessFileExt(entry);
    if (ext.empty()) {
      // The new name would be the old one: nothing to do, no file is touched.
      if (report) report(entry, entry, TFileOutcome::SkippedUnknownType, std::string());
      continue;
    }
    const std::string target = entry + ext;
    const TFileResult r = RenameFileTo(entry, target);
    if (!report) continue;
    TFileOutcome outcome = r ? TFileOutcome::Done : TFileOutcome::Failed;
    if (r.Fault() == TFileFault::OpenForWriting) outcome = TFileOutcome::SkippedOpenForWriting;
    report(entry, target, outcome, r.Reason());
  }
}

}  // namespace mv
