// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SaveDialog.h"

#include <commdlg.h>

#include <deque>
#include <vector>

#include "dialogs/AnsiText.h"

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
    if (GetWindowRect(dialog, &r)) {
      const int w = r.right - r.left;
      const int h = r.bottom - r.top;
      SetWindowPos(dialog, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2 - w / 2,
                   GetSystemMetrics(SM_CYSCREEN) / 2 - h / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  return 0;
}

// Disables the thread's enabled windows except the dialog's owner chain for the dialog's time,
// and gives back the activation and focus afterwards.
class TDisabledWindows {
 public:
  TDisabledWindows() : active_(GetActiveWindow()), focus_(GetFocus()) {
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
  // The owner must stay enabled for the system dialog to take it as its owner; the dialog
  // disables it itself.
  void Keep(HWND owner) {
    for (HWND& w : disabled_) {
      if (w == owner) {
        EnableWindow(w, TRUE);
        w = nullptr;
      }
    }
  }

 private:
  static BOOL CALLBACK Disable(HWND w, LPARAM self) {
    if (IsWindowVisible(w) && IsWindowEnabled(w)) {
      EnableWindow(w, FALSE);
      reinterpret_cast<TDisabledWindows*>(self)->disabled_.push_back(w);
    }
    return TRUE;
  }
  HWND active_;
  HWND focus_;
  std::vector<HWND> disabled_;
};

}  // namespace

DWORD TSaveDialog::PlatformFlags() const {
  DWORD flags = OFN_ENABLEHOOK;
  // Each option is the flag of the same value; the explorer bit is toggled, so it is on unless
  // the old style was asked for.
  static constexpr DWORD kPassed[] = {0x1,      0x2,      0x4,       0x8,       0x10,    0x100,
                                      0x200,    0x400,    0x800,     0x1000,    0x2000,  0x4000,
                                      0x8000,   0x10000,  0x20000,   0x40000,   0x80000, 0x100000,
                                      0x400000, 0x800000, 0x2000000, 0x10000000};
  for (DWORD bit : kPassed)
    if (Options & bit) flags |= bit;
  flags ^= OFN_EXPLORER;
  return flags;
}

std::string TSaveDialog::PlatformFilter() const {
  std::string filter = AnsiText(Filter);
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.append(2, '\0');
  return filter;
}

bool TSaveDialog::Execute(HWND owner) {
  std::string filter = PlatformFilter();
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
  ofn.Flags = PlatformFlags();
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
    TDisabledWindows disabled;
    disabled.Keep(owner);
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
  std::vector<SaveDialogOffer> offers;
  offers.swap(Offers());
  return offers;
}

}  // namespace mv
