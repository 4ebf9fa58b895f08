// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Unit_main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <map>

#include "Unit_main/Guarded.h"
#include "Unit_main/ListMenu.h"
#include "Unit_main/WritingMark.h"
#include "dialogs/FormLoader.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ModalRun.h"
#include "utility/SysUtils.h"

namespace mv {

TForm_main* Form_main = nullptr;

namespace {

template <class Widget>
Widget* As(const std::map<std::string, QWidget*>& made, const char* name) {
  auto* widget = qobject_cast<Widget*>(made.at(name));
  if (widget == nullptr) throw Exception(std::string("wrong class for ") + name);
  return widget;
}

// The widget of the control's role, with what only that role has.
QWidget* NewWidget(const TControlDesc& control, QWidget* parent) {
  switch (control.role) {
    case TControlRole::CoolBar:
      return new TCoolBar(parent);
    case TControlRole::Panel: {
      auto* panel = new TPanel(parent);
      panel->SetBevelOuter(control.bevelOuter);
      return panel;
    }
    case TControlRole::Label:
      return new TLabel(parent);
    case TControlRole::Edit:
      return new QLineEdit(parent);
    case TControlRole::CheckBox:
      return new QCheckBox(parent);
    case TControlRole::Button: {
      auto* button = new QPushButton(parent);
      button->setAutoDefault(false);  // Enter in an edit starts no command.
      return button;
    }
    case TControlRole::MediaPlayer:
      return new TMediaPlayerControl(parent);
    case TControlRole::ListBox: {
      auto* list = new TListBox(parent);
      list->SetItemHeight(control.itemHeight);
      return list;
    }
    default:
      throw Exception("no widget for the role of " + control.name);
  }
}

// The family of the window's font, with the Song-style fonts that stand in for it where it is
// not installed. Installed once, before the first window is built.
void InstallFontSubstitutes() {
  static const bool installed = [] {
    // The original face first, where someone has installed it; then Song-style faces of the
    // free CJK font packages, so that glyph widths stay close to the original's.
    QFont::insertSubstitutions(
        QString::fromUtf8(kSongFamily),
        {QStringLiteral("SimSun"), QStringLiteral("NSimSun"), QStringLiteral("AR PL UMing CN"),
         QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL SungtiL GB"),
         QStringLiteral("Noto Serif CJK SC")});
    return true;
  }();
  (void)installed;
}

}  // namespace

TForm_main::TForm_main(QWidget* parent, std::unique_ptr<IMediaDevice> device) : QWidget(parent) {
  InstallFontSubstitutes();
  ApplyForm(*this, Form_mainDesc().form);

  CreateControls();
  CreateComponents(std::move(device));
  ConnectHandlers();
  ApplyTabOrder(*this, Form_mainDesc().form);
  // The link is reached from the keyboard too, after the described tab stops.
  Label4->SetKeyboardLink(QString::fromUtf8("在浏览器中打开网页"));
  QWidget::setTabOrder(ListBox1, Label4);
  // Screen readers name each edit by the label in front of it.
  Label1->setBuddy(Edit1);
  Label2->setBuddy(Edit2);
  BitBtn2->setFocus(Qt::OtherFocusReason);
  AlignControls();
  SetMinimumSizeKeepingPanel2();
  FormCreate();
}

TForm_main::~TForm_main() {
  if (Form_main == this) Form_main = nullptr;
  // The program first, while the list it fills still exists: no more ticks, no more watcher
  // events, the player's device closed.
  program_.reset();
}

void TForm_main::CreateControls() {
  const TFormDesc& form = Form_mainDesc().form;
  std::map<std::string, QWidget*> made{{form.name, this}};
  for (const TControlDesc& control : form.controls) {
    QWidget* parent = made.at(control.parent);
    if (auto* coolBar = qobject_cast<TCoolBar*>(parent); coolBar && control.bandWidth > 0) {
      parent = coolBar->AddBand(control.bandWidth, control.bandMinHeight);
    }
    QWidget* widget = NewWidget(control, parent);
    ApplyControl(*widget, control);
    made[control.name] = widget;
  }
  CoolBar1 = As<TCoolBar>(made, "CoolBar1");
  Panel2 = As<TPanel>(made, "Panel2");
  Label3 = As<TLabel>(made, "Label3");
  Label4 = As<TLabel>(made, "Label4");
  Label1 = As<TLabel>(made, "Label1");
  Edit1 = As<QLineEdit>(made, "Edit1");
  Label2 = As<TLabel>(made, "Label2");
  Edit2 = As<QLineEdit>(made, "Edit2");
  CheckBox1 = As<QCheckBox>(made, "CheckBox1");
  BitBtn1 = As<QPushButton>(made, "BitBtn1");
  BitBtn2 = As<QPushButton>(made, "BitBtn2");
  BitBtn5 = As<QPushButton>(made, "BitBtn5");
  BitBtn4 = As<QPushButton>(made, "BitBtn4");
  BitBtn3 = As<QPushButton>(made, "BitBtn3");
  MediaPlayer1 = As<TMediaPlayerControl>(made, "MediaPlayer1");
  Panel1 = As<TPanel>(made, "Panel1");
  ListBox1 = As<TListBox>(made, "ListBox1");
  // A path in the locale's encoding, not one of the program's own texts.
  Edit2->setText(QString::fromLocal8Bit(Form_mainDesc().form.Control("Edit2").caption));
}

void TForm_main::CreateComponents(std::unique_ptr<IMediaDevice> device) {
  saveDialog1_.Filter = Form_mainDesc().SaveDialog1.filter;
  saveUi_ = std::make_unique<TWindowSaveUi>(this, saveDialog1_);
  saveUi_->OnFinished = [this] {
    if (!closePending_) return;
    closePending_ = false;
    // After the command that ran the copy has returned.
    QTimer::singleShot(0, this, Guarded([this] { close(); }));
  };
  program_ = std::make_unique<TProgram>(
      dispatcher_, *ListBox1,
      TProgramControls{.maskText = [this] { return MaskText(); },
                       .directoryText = [this] { return DirectoryText(); },
                       .listAllFiles = [this] { return CheckBox1->isChecked(); }},
      *saveUi_, std::move(device));
  ShowWritingState(*ListBox1, program_->Downloads());
  program_->OnWatchingChanged = [this](bool) {
    BitBtn1->setText(QString::fromUtf8(program_->WatchCaption()));
  };
}

void TForm_main::ConnectHandlers() {
  Label4->OnClick = [this] { Label4Click(); };
  QObject::connect(BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));
  QObject::connect(BitBtn2, &QPushButton::clicked, this, Guarded([this] { BitBtn2Click(); }));
  QObject::connect(BitBtn5, &QPushButton::clicked, this, Guarded([this] { BitBtn5Click(); }));
  QObject::connect(BitBtn4, &QPushButton::clicked, this, Guarded([this] { BitBtn4Click(); }));
  QObject::connect(BitBtn3, &QPushButton::clicked, this, Guarded([this] { BitBtn3Click(); }));
  ListBox1->OnDblClick = [this] { ListBox1DblClick(); };
  // Enter plays the current entry, as a double click does.
  ListBox1->OnEnter = [this] { ListBox1DblClick(); };
  listDetails_ = std::make_unique<TListDetails>(*ListBox1, dispatcher_);
  // The list's own menu and dragging out; 播放 is the play command.
  new TListMenu(*ListBox1, [this] { ListBox1DblClick(); });
}

void TForm_main::AlignControls() {
  // CoolBar1 keeps to the top edge, Panel1 fills the rest, ListBox1 fills Panel1 inside its
  // bevel; the controls inside Panel2 keep their places.
  const int barHeight = Form_mainDesc().form.Control("CoolBar1").bounds.height;
  const int w = width();
  const int below = std::max(0, height() - barHeight);
  CoolBar1->setGeometry(0, 0, w, barHeight);
  Panel1->setGeometry(0, barHeight, w, below);
  ListBox1->setGeometry(1, 1, std::max(0, w - 2), std::max(0, below - 2));
}

void TForm_main::SetMinimumSizeKeepingPanel2() {
  // Every control of Panel2 stays whole and reachable, with a few rows of the list below.
  const QPoint panelEnd = Panel2->mapTo(this, QPoint(Panel2->width(), Panel2->height()));
  const int barHeight = CoolBar1->height();
  setMinimumSize(panelEnd.x(), std::max(panelEnd.y(), barHeight) + 2 + 3 * ListBox1->ItemHeight());
}

void TForm_main::resizeEvent(QResizeEvent* event) {
  RunGuarded([&] {
    QWidget::resizeEvent(event);
    AlignControls();
  });
}

void TForm_main::closeEvent(QCloseEvent* event) {
  RunGuarded([&] {
    if (saveUi_->Busy()) {
      // The copy goes on while the user decides; the window closes once it has ended.
      event->ignore();
      if (askingToClose_) return;
      askingToClose_ = true;
      const TCloseAnswer answer = AskCloseDuringCopy();
      askingToClose_ = false;
      if (answer == TCloseAnswer::KeepOpen) return;
      if (answer == TCloseAnswer::CancelCopy) saveUi_->CancelRunning();
      closePending_ = true;
      return;
    }
    QWidget::closeEvent(event);
  });
}

TForm_main::TCloseAnswer TForm_main::AskCloseDuringCopy() {
  QMessageBox box(QMessageBox::Question, QString::fromUtf8(kInfoCaption),
                  QString::fromUtf8(kCloseDuringCopyQuestion), QMessageBox::NoButton, this);
  QPushButton* finish = box.addButton(QString::fromUtf8(kCloseAfterCopy), QMessageBox::AcceptRole);
  QPushButton* cancel =
      box.addButton(QString::fromUtf8(kCancelCopyAndClose), QMessageBox::DestructiveRole);
  QPushButton* keep = box.addButton(QString::fromUtf8(kKeepOpen), QMessageBox::RejectRole);
  // Letting the copy finish loses nothing; Esc or closing the box keeps the window.
  box.setDefaultButton(finish);
  box.setEscapeButton(keep);
  box.setWindowModality(Qt::ApplicationModal);
  detail::KeepMinimumWidth(box);
  detail::RunModal(box);
  if (box.clickedButton() == finish) return TCloseAnswer::FinishCopy;
  if (box.clickedButton() == cancel) return TCloseAnswer::CancelCopy;
  return TCloseAnswer::KeepOpen;
}

void TForm_main::CloseCancellingCopy() {
  if (!saveUi_->Busy()) {
    close();
    return;
  }
  saveUi_->CancelRunning();
  closePending_ = true;
}

std::string TForm_main::MaskText() const { return Edit1->text().toLocal8Bit().toStdString(); }

std::string TForm_main::DirectoryText() const { return Edit2->text().toLocal8Bit().toStdString(); }

// --- handlers -----------------------------------------------------------------------------

void TForm_main::FormCreate() { program_->FormCreate(); }

void TForm_main::Label4Click() { program_->OpenHomePage(); }

void TForm_main::BitBtn1Click() { program_->StartOrStopWatching(); }

void TForm_main::BitBtn2Click() { program_->PlayCurrent(); }

void TForm_main::ListBox1DblClick() { program_->PlayCurrent(); }

void TForm_main::BitBtn5Click() { program_->StopPlaying(); }

void TForm_main::BitBtn3Click() { program_->SaveSelected(); }

void TForm_main::BitBtn4Click() { program_->RenameAll(); }

}  // namespace mv
