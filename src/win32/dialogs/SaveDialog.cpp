// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SaveDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <deque>
#include <utility>
#include <vector>

#include "dialogs/AnsiText.h"
#include "forms/FormControls.h"

namespace mv {
namespace {

constexpr DWORD kNameBuffer = 260;

std::deque<testing::SaveDialogAnswer>& Answers() {
  static std::deque<testing::SaveDialogAnswer> answers;
  return answers;
}
std::vector<testing::SaveDialogOffer>& Offers() {
  static std::vector<testing::SaveDialogOffer> offers;
  return offers;
}

// Centres the explorer-style dialog once it has finished initialising.
UINT_PTR CALLBACK CentreHook(HWND child, UINT msg, WPARAM, LPARAM lParam) {
  if (msg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE) {
    const HWND dialog = GetParent(child);
    RECT r{};
    if (GetWindowRect(dialog, &r))
      CentreOnScreen(dialog, r.right - r.left, r.bottom - r.top, SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return 0;
}

// Disables the thread's enabled windows but owner for the dialog's time, and gives back the
// activation and focus afterwards. The owner must stay enabled for the system dialog to take it
// as its owner; the dialog disables it itself.
class TDisabledWindows {
 public:
  explicit TDisabledWindows(HWND owner)
      : owner_(owner), active_(GetActiveWindow()), focus_(GetFocus()) {
    EnumThreadWindows(GetCurrentThreadId(), Disable, reinterpret_cast<LPARAM>(this));
  }
  ~TDisabledWindows() {
    for (HWND w : disabled_)
      if (IsWindow(w)) EnableWindow(w, TRUE);
    if (active_ != nullptr && IsWindow(active_)) SetActiveWindow(active_);
    if (focus_ != nullptr && IsWindow(focus_)) SetFocus(focus_);
  }
  TDisabledWindows(const TDisabledWindows&) = delete;
  TDisabledWindows& operator=(const TDisabledWindows&) = delete;

 private:
  static BOOL CALLBACK Disable(HWND w, LPARAM data) {
    auto* self = reinterpret_cast<TDisabledWindows*>(data);
    if (w != self->owner_ && IsWindowVisible(w) && IsWindowEnabled(w)) {
      EnableWindow(w, FALSE);
      self->disabled_.push_back(w);
    }
    return TRUE;
  }
  HWND owner_;
  HWND active_;
  HWND focus_;
  std::vector<HWND> disabled_;
};

}  // namespace

bool TSaveDialog::Execute(HWND owner) {
  std::string filter = AnsiText(Filter);
  std::replace(filter.begin(), filter.end(), '|', '\0');
  filter.append(2, '\0');
  std::vector<char> name(kNameBuffer, '\0');
  FileName.copy(name.data(), kNameBuffer - 1);
  const std::string initialDir = AnsiText(InitialDir);

  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.hInstance = GetModuleHandleA(nullptr);
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(FilterIndex);
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = kNameBuffer;
  ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
  // The hook always; each option is the flag of the same value; the explorer bit is toggled, so
  // it is on unless the old style was asked for.
  constexpr DWORD kPassed = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x100 | 0x200 | 0x400 | 0x800 | 0x1000 |
                            0x2000 | 0x4000 | 0x8000 | 0x10000 | 0x20000 | 0x40000 | 0x80000 |
                            0x100000 | 0x400000 | 0x800000 | 0x2000000 | 0x10000000;
  ofn.Flags = (OFN_ENABLEHOOK | (Options & kPassed)) ^ OFN_EXPLORER;
  ofn.lpfnHook = CentreHook;

  if (!Answers().empty()) {
    Offers().push_back({name.data(), filter, ofn.Flags, ofn.nMaxFile, ofn.lStructSize});
    const testing::SaveDialogAnswer answer = Answers().front();
    Answers().pop_front();
    if (answer.confirmed) FileName = answer.fileName;
    return answer.confirmed;
  }

  BOOL confirmed = FALSE;
  {
    TDisabledWindows disabled(owner);
    confirmed = GetSaveFileNameA(&ofn);
  }
  if (!confirmed) return false;
  name.back() = '\0';
  FileName = name.data();
  Options = (Options & ~unsigned(ofExtensionDifferent | ofReadOnly)) |
            (ofn.Flags & (OFN_EXTENSIONDIFFERENT | OFN_READONLY));
  FilterIndex = static_cast<int>(ofn.nFilterIndex);
  return true;
}

void testing::QueueSaveDialogAnswer(SaveDialogAnswer answer) {
  Answers().push_back(std::move(answer));
}
void testing::ClearSaveDialogAnswers() { Answers().clear(); }
std::vector<testing::SaveDialogOffer> testing::TakeSaveDialogOffers() {
  return std::exchange(Offers(), {});
}

}  // namespace mv
