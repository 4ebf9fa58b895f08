// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SelectDirDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <filesystem>
#include <system_error>

#include "dialogs/FileControls.h"
#include "dialogs/FormLoader.h"
#include "dialogs/LocalNames.h"
#include "dialogs/ModalRun.h"
#include "utility/SysUtils.h"

namespace mv {
namespace {

constexpr int kDesignDpi = 96;
constexpr const char* kConfirmCaption = "确认";
constexpr const char* kCannotCreateDir = "无法创建目录 ";

const TControlDesc& Row(const std::string& name) { return SelectDirDlgDesc().Control(name); }

// Pixels of the 96-dpi design at `dpi`, rounded to the nearest (halves away from zero).
int Scaled(int pixels, int dpi) {
  const long long product = static_cast<long long>(pixels) * dpi;
  return static_cast<int>((product + (product >= 0 ? 48 : -48)) / kDesignDpi);
}

void CreateFolder(const std::string& dir) {
  std::error_code ec;
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  if (dir.empty() || !detail::DirectoryExists(dir)) throw Exception(kCannotCreateDir + dir);
}

}  // namespace

TSelectDirDlg::TSelectDirDlg(QWidget* parent) : QDialog(parent) {
  BuildControls();
  // No network-connection dialog exists on this platform, so the button stays hidden.
  netButton_->hide();
  SetOptions(0);
  // The folder list starts in the current directory; the step below fills label, files and edit.
  if (!dirList_->SetDirectory(detail::CurrentDirectory())) dirList_->SetDirectory("/");
  DirListChanged();
  Relayout();
  dirList_->setFocus();
}

TSelectDirDlg::~TSelectDirDlg() = default;

void TSelectDirDlg::BuildControls() {
  ApplyForm(*this, SelectDirDlgDesc());
  // Created in this order, each set from its row at once.
  const auto make = [this]<class Widget>(Widget*& control, const char* name) {
    control = new Widget(this);
    ApplyControl(*control, Row(name));
  };
  make(dirEdit_, "DirEdit");
  make(dirLabel_, "DirLabel");
  make(dirList_, "DirList");
  make(fileList_, "FileList");
  make(driveList_, "DriveList");
  make(dirNameCaption_, "DirNameCaption");
  make(dirCaption_, "DirCaption");
  make(fileCaption_, "FileCaption");
  make(driveCaption_, "DriveCaption");
  make(netButton_, "NetButton");
  make(okButton_, "OKButton");
  make(cancelButton_, "CancelButton");
  make(helpButton_, "HelpButton");
  // Each caption names the control that its accelerator focuses.
  for (QLabel* caption : {dirNameCaption_, dirCaption_, fileCaption_, driveCaption_}) {
    const std::string& buddy = Row(caption->objectName().toStdString()).focusControl;
    caption->setBuddy(findChild<QWidget*>(FromUtf8(buddy)));
  }
  okButton_->setDefault(Row("OKButton").isDefault);
  connect(okButton_, &QPushButton::clicked, this, &TSelectDirDlg::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &TSelectDirDlg::reject);
  connect(helpButton_, &QPushButton::clicked, this, [this] { emit HelpRequested(helpContext_); });

  connect(dirList_, &TDirectoryListBox::DirectoryChanged, this, &TSelectDirDlg::DirListChanged);
  connect(driveList_, &TDriveComboBox::DriveChanged, this, &TSelectDirDlg::DriveListChanged);
  ApplyTabOrder(*this, SelectDirDlgDesc());
}

void TSelectDirDlg::Relayout() {
  auto scaled = [this](const QWidget* control) {
    const TBounds& r = Row(control->objectName().toStdString()).bounds;
    return QRect(Scaled(r.left, dpi_), Scaled(r.top, dpi_), Scaled(r.width, dpi_),
                 Scaled(r.height, dpi_));
  };
  const TBounds& client = SelectDirDlgDesc().bounds;
  setFixedSize(Scaled(client.width, dpi_), Scaled(client.height, dpi_));
  // Labels size themselves to their text, as the classic labels do; only their place is fixed.
  for (QLabel* label : {dirNameCaption_, dirCaption_, fileCaption_, driveCaption_}) {
    label->move(scaled(label).topLeft());
    label->adjustSize();
  }
  const std::initializer_list<QWidget*> fixed = {dirEdit_,   dirList_,   fileList_,
                                                 driveList_, netButton_, helpButton_};
  for (QWidget* control : fixed) {
    control->setGeometry(scaled(control));
  }
  // The path label sits where the edit is and takes its place when the edit is hidden.
  dirLabel_->setGeometry(dirEdit_->geometry());
  dirList_->SetItemHeight(Scaled(Row("DirList").itemHeight, dpi_));
  fileList_->SetItemHeight(Scaled(Row("FileList").itemHeight, dpi_));
  if (helpContext_ == 0) {
    // Without help the button goes and OK and Cancel move into the places on its side.
    okButton_->setGeometry(scaled(cancelButton_));
    cancelButton_->setGeometry(scaled(helpButton_));
    helpButton_->hide();
  } else {
    okButton_->setGeometry(scaled(okButton_));
    cancelButton_->setGeometry(scaled(cancelButton_));
    helpButton_->show();
  }
}

void TSelectDirDlg::SetDirectory(const std::string& dir) {
  if (dir.empty()) return;
  if (dirList_->SetDirectory(detail::FullPath(dir))) return;
  // A folder that cannot be entered is no reason to refuse the dialog.
  if (!dirList_->SetDirectory(detail::CurrentDirectory())) dirList_->SetDirectory("/");
}

std::string TSelectDirDlg::Directory() const {
  if ((options_ & sdAllowCreate) == 0) return dirLabel_->Path();
  const QString typed = dirEdit_->text();
  // Unedited, the edit returns the folder's own bytes, whatever text they showed as.
  if (typed == detail::ToDisplay(editBytes_)) return editBytes_;
  return detail::ToLocalPath(typed);
}

void TSelectDirDlg::SetOptions(unsigned options) {
  options_ = options;
  const bool allowCreate = (options & sdAllowCreate) != 0;
  dirEdit_->setVisible(allowCreate);
  dirLabel_->setVisible(!allowCreate);
}

void TSelectDirDlg::SetHelpContext(int helpContext) {
  helpContext_ = helpContext;
  Relayout();
}

void TSelectDirDlg::ScaleTo(int dpi) {
  dpi_ = dpi > 0 ? dpi : kDesignDpi;
  Relayout();
  CentreOnScreen(*this);
  fileList_->ApplyGreyText();
}

void TSelectDirDlg::DirListChanged() {
  const std::string& dir = dirList_->Directory();
  dirLabel_->SetPath(dir);
  fileList_->SetDirectory(dir);
  editBytes_ = dir;
  dirEdit_->setText(detail::ToDisplay(dir));
  dirEdit_->selectAll();
  QSignalBlocker quiet(driveList_);
  driveList_->SetDriveOf(dir);
}

void TSelectDirDlg::DriveListChanged() {
  if (!dirList_->SetDirectory(driveList_->Drive())) {
    // An unreadable mount point: show the folder that is still current.
    QSignalBlocker quiet(driveList_);
    driveList_->SetDriveOf(dirList_->Directory());
  }
}

void TSelectDirDlg::accept() {
  constexpr unsigned kAsk = sdAllowCreate | sdPrompt;
  if ((options_ & kAsk) == kAsk && !detail::DirectoryExists(Directory())) {
    QMessageBox ask(QMessageBox::Question, QString::fromUtf8(kConfirmCaption),
                    QString::fromUtf8(kCreateDirQuestion), QMessageBox::Yes | QMessageBox::No,
                    this);
    if (detail::RunModal(ask) != QMessageBox::Yes) return;
  }
  QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

bool SelectDirectory(std::string& dir, unsigned options, int helpContext, QWidget* parent) {
  // Destroyed on every way out, even if the parent has already taken it down with itself.
  QPointer<TSelectDirDlg> dialog = new TSelectDirDlg(parent);
  struct Destroy {
    QPointer<TSelectDirDlg>& d;
    ~Destroy() { delete d.data(); }
  } destroy{dialog};

  dialog->SetDirectory(dir);
  dialog->SetOptions(options);
  // The layout is in pixels of a 96-dpi screen while fonts follow the screen's logical dpi. With
  // Qt's own high-dpi scaling the logical dpi stays 96 and Qt scales both; only where fonts are
  // rendered at another dpi does the layout have to grow with them.
  const int dpi = dialog->logicalDpiX();
  if (dpi != kDesignDpi) {
    dialog->ScaleTo(dpi);
  } else {
    CentreOnScreen(*dialog);
  }
  dialog->SetHelpContext(helpContext);
  if (detail::RunModal(*dialog) != QDialog::Accepted || dialog.isNull()) return false;
  dir = dialog->Directory();
  if ((options & sdPerformCreate) != 0) CreateFolder(dir);
  return true;
}

bool ChooseDirectory(bool flag, std::string& dir) {
  unsigned options = flag ? (sdAllowCreate | sdPrompt) : sdPrompt;
  return SelectDirectory(dir, options, 0, QApplication::activeWindow());
}

}  // namespace mv
