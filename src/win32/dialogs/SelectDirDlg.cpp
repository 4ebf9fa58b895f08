// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SelectDirDlg.h"

#include <winnetwk.h>

#include <deque>
#include <utility>

#include "dialogs/AnsiText.h"
#include "dialogs/ErrorBox.h"
#include "forms/FormControls.h"
#include "utility/FileRules.h"

namespace mv {
namespace {

std::deque<testing::SelectDirAnswer>& DirAnswers() {
  static std::deque<testing::SelectDirAnswer> answers;
  return answers;
}
std::vector<testing::SelectDirOffer>& DirOffers() {
  static std::vector<testing::SelectDirOffer> offers;
  return offers;
}

using TConnectionDialog = DWORD(APIENTRY*)(HWND, DWORD);

TConnectionDialog FindConnectionDialog() {
  HMODULE mpr = LoadLibraryA("mpr.dll");
  if (mpr == nullptr) return nullptr;
  return reinterpret_cast<TConnectionDialog>(
      reinterpret_cast<void*>(GetProcAddress(mpr, "WNetConnectionDialog")));
}

// Creates dir and every missing parent.
void ForceDirectories(std::string dir) {
  while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  if (dir.empty() || DirectoryError(dir) == 0) return;
  const std::string::size_type parent = dir.find_last_of("\\/");
  if (parent != std::string::npos && parent > 0) ForceDirectories(dir.substr(0, parent));
  CreateDirectoryA(dir.c_str(), nullptr);
}

class TSelectDirDlg {
 public:
  TSelectDirDlg(std::string dir, unsigned options, int helpContext)
      : dir_(std::move(dir)), options_(options), helpContext_(helpContext) {}

  INT_PTR Run(HWND owner) {
    // An empty template: the controls are made at their pixel bounds in WM_INITDIALOG.
    struct alignas(4) {
      DLGTEMPLATE header;
      WORD menu, windowClass, title;
    } dialog{};
    dialog.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK;
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &dialog.header, owner, Proc,
                                   reinterpret_cast<LPARAM>(this));
  }

  const std::string& Dir() const { return dir_; }

 private:
  static INT_PTR CALLBACK Proc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    auto* self = reinterpret_cast<TSelectDirDlg*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (self == nullptr) return FALSE;
    INT_PTR result = FALSE;
    RunGuarded([&] { result = self->Handle(dialog, msg, wParam, lParam); });
    return result;
  }

  void Build() {
    TControlFactory factory;
    factory.dpi = dpi_;
    factory.fontFor = [this](const TControlDesc&) { return font_; };
    factory.idFor = [](const TControlDesc& control) { return SelectDirControlId(control.name); };
    CreateFormControls(SelectDirDlgDesc(), dialog_, factory);
    // The path label lies on the edit's bounds; one of the two shows.
    Place(idDirLabel, "DirEdit");
  }

  void Place(int id, const char* boundsOf) {
    const TBounds r = Scaled(SelectDirDlgDesc().Control(boundsOf).bounds, dpi_);
    SetWindowPos(GetDlgItem(dialog_, id), nullptr, r.left, r.top, r.width, r.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void Show(int id, bool visible) {
    ShowWindow(GetDlgItem(dialog_, id), visible ? SW_SHOW : SW_HIDE);
  }

  // The folder list, path label and file list show folder (relative to the current one, or
  // absolute); false when it cannot be entered.
  bool ListFolder(const std::string& folder) {
    std::string spec = folder;
    if (!spec.empty() && spec.back() != '\\' && spec.back() != ':') spec += '\\';
    spec += "*.*";
    std::vector<char> buffer(spec.begin(), spec.end());
    buffer.resize(MAX_PATH * 2, '\0');
    if (!DlgDirListA(dialog_, buffer.data(), idDirList, idDirLabel, DDL_DIRECTORY | DDL_EXCLUSIVE))
      return false;
    char files[] = "*.*";
    DlgDirListA(dialog_, files, idFileList, 0, DDL_READWRITE);
    DirListChanged();
    return true;
  }

  void DirListChanged() {
    char current[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    SetDlgItemTextA(dialog_, idDirLabel, current);
    SetDlgItemTextA(dialog_, idDirEdit, current);
    SendDlgItemMessageA(dialog_, idDirEdit, EM_SETSEL, 0, -1);
    char drives[] = "*.*";
    DlgDirListComboBoxA(dialog_, drives, idDriveList, 0, DDL_DRIVES | DDL_EXCLUSIVE);
    // The combo box lists "[-c-]"; select the current drive.
    if (current[0] != '\0' && current[1] == ':') {
      const char key[] = {'[', '-', static_cast<char>(current[0] | 0x20), '-', ']', '\0'};
      SendDlgItemMessageA(dialog_, idDriveList, CB_SELECTSTRING, WPARAM(-1),
                          reinterpret_cast<LPARAM>(key));
    }
  }

  void SetStartingFolder() {
    if (dir_.empty()) {
      ListFolder(".");
      return;
    }
    std::string spec = dir_;
    if (spec.back() != '\\') spec += '\\';
    spec += "*.*";
    char full[MAX_PATH * 2] = {};
    char* namePart = nullptr;
    const DWORD n = GetFullPathNameA(spec.c_str(), sizeof full, full, &namePart);
    if (n > 2 && n < sizeof full && full[1] == ':' && namePart != nullptr) {
      std::string path(full, namePart);
      if (path.size() > 3 && path.back() == '\\') path.pop_back();
      if (ListFolder(path)) return;
    }
    // A folder that cannot be entered: the current directory of the current drive.
    ListFolder(".");
  }

  bool AllowCreate() const { return (options_ & sdAllowCreate) != 0; }

  void Layout() {
    Show(idNetButton, connectionDialog_ != nullptr);
    Show(idDirEdit, AllowCreate());
    Show(idDirLabel, !AllowCreate());
    if (helpContext_ == 0) {
      // Without help the button goes and OK and Cancel move into the places on its side.
      Show(idHelpButton, false);
      Place(IDOK, "CancelButton");
      Place(IDCANCEL, "HelpButton");
    }
    const TBounds client = Scaled(SelectDirDlgDesc().bounds, dpi_);
    RECT r{0, 0, client.width, client.height};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(dialog_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(dialog_, GWL_EXSTYLE));
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    CentreOnScreen(dialog_, r.right - r.left, r.bottom - r.top, 0);
  }

  bool Accept() {
    const std::string chosen =
        WindowText(GetDlgItem(dialog_, AllowCreate() ? idDirEdit : idDirLabel));
    if (AllowCreate() && (options_ & sdPrompt) != 0 && DirectoryError(chosen) != 0) {
      const int answer =
          MessageBoxA(dialog_, AnsiText(kCreateDirQuestion).c_str(),
                      AnsiText(kSelectDirCaption).c_str(), MB_YESNO | MB_ICONQUESTION);
      if (answer != IDYES) return false;
    }
    dir_ = chosen;
    if (options_ & sdPerformCreate) ForceDirectories(dir_);
    return true;
  }

  INT_PTR Handle(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_INITDIALOG: {
        dialog_ = dialog;
        dpi_ = ScreenDpi();
        // The system's dialog font, which already follows the screen's dots per inch.
        font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        SetWindowTextA(dialog, AnsiText(kSelectDirCaption).c_str());
        connectionDialog_ = FindConnectionDialog();
        Build();
        SetStartingFolder();
        Layout();
        SetFocus(GetDlgItem(dialog, idDirList));
        return FALSE;  // the focus is set
      }
      case WM_CTLCOLORLISTBOX:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, idFileList)) {
          const HDC dc = reinterpret_cast<HDC>(wParam);
          SetTextColor(dc, ColorRef(SelectDirDlgDesc().Control("FileList").color));
          SetBkColor(dc, GetSysColor(COLOR_WINDOW));
          return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        }
        return FALSE;
      case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDOK) {
          if (Accept()) EndDialog(dialog, IDOK);
        } else if (id == IDCANCEL) {
          EndDialog(dialog, IDCANCEL);
        } else if (id == idDirList && code == LBN_DBLCLK) {
          char folder[MAX_PATH * 2] = {};
          if (DlgDirSelectExA(dialog, folder, sizeof folder, idDirList)) ListFolder(folder);
        } else if (id == idDriveList && code == CBN_SELCHANGE) {
          char drive[16] = {};
          DlgDirSelectComboBoxExA(dialog, drive, sizeof drive, idDriveList);
          if (!ListFolder(drive)) DirListChanged();
        } else if (id == idNetButton && connectionDialog_ != nullptr) {
          connectionDialog_(dialog, RESOURCETYPE_DISK);
        }
        // Help: there is no help system to show the help context in.
        return TRUE;
      }
      default:
        return FALSE;
    }
  }

  std::string dir_;
  unsigned options_;
  int helpContext_;
  HWND dialog_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;
  TConnectionDialog connectionDialog_ = nullptr;
};

// The dialog lists folders by making them current; the caller's current directory comes back.
class TKeepCurrentDirectory {
 public:
  TKeepCurrentDirectory() { GetCurrentDirectoryA(sizeof saved_, saved_); }
  ~TKeepCurrentDirectory() {
    if (saved_[0] != '\0') SetCurrentDirectoryA(saved_);
  }
  TKeepCurrentDirectory(const TKeepCurrentDirectory&) = delete;
  TKeepCurrentDirectory& operator=(const TKeepCurrentDirectory&) = delete;

 private:
  char saved_[MAX_PATH + 1] = {};
};

}  // namespace

int SelectDirControlId(const std::string& name) {
  static const std::pair<const char*, int> ids[] = {
      {"DirEdit", idDirEdit},           {"DirLabel", idDirLabel},
      {"DriveList", idDriveList},       {"DirList", idDirList},
      {"FileList", idFileList},         {"NetButton", idNetButton},
      {"HelpButton", idHelpButton},     {"DirNameCaption", idDirNameCaption},
      {"DirCaption", idDirCaption},     {"FileCaption", idFileCaption},
      {"DriveCaption", idDriveCaption}, {"OKButton", IDOK},
      {"CancelButton", IDCANCEL},
  };
  for (const auto& [control, id] : ids)
    if (name == control) return id;
  return 0;
}

bool SelectDirectory(std::string& dir, unsigned options, int helpContext, HWND owner) {
  if (!DirAnswers().empty()) {
    DirOffers().push_back({dir, options, helpContext});
    const testing::SelectDirAnswer answer = DirAnswers().front();
    DirAnswers().pop_front();
    if (!answer.confirmed) return false;
    dir = answer.dir;
    if (options & sdPerformCreate) ForceDirectories(dir);
    return true;
  }
  TKeepCurrentDirectory keep;
  TSelectDirDlg dialog(dir, options, helpContext);
  if (dialog.Run(owner) != IDOK) return false;
  dir = dialog.Dir();
  return true;
}

bool ChooseDirectory(bool flag, std::string& dir, HWND owner) {
  return SelectDirectory(dir, flag ? (sdAllowCreate | sdPrompt) : sdPrompt, 0, owner);
}

void testing::QueueSelectDirAnswer(SelectDirAnswer answer) {
  DirAnswers().push_back(std::move(answer));
}
void testing::ClearSelectDirAnswers() { DirAnswers().clear(); }
std::vector<testing::SelectDirOffer> testing::TakeSelectDirOffers() {
  return std::exchange(DirOffers(), {});
}

}  // namespace mv
