// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Unit_main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>

#include "Unit_main/Guarded.h"
#include "commands/DownloadList.h"
#include "commands/PlayCommands.h"
#include "commands/SaveCommands.h"
#include "commands/WatchControl.h"
#include "dialogs/MessageBox.h"
#include "media/MPlayer.h"
#include "utility/ShellOpen.h"

namespace mv {

TForm_main* Form_main = nullptr;

namespace {

// The stored description's values, at 96 dots per inch.
constexpr int kClientWidth = 688;
constexpr int kClientHeight = 446;
constexpr int kLeft = 192;
constexpr int kTop = 114;
constexpr int kCoolBarHeight = 139;
const QColor kPurple(0x80, 0x00, 0x80);
const QColor kBlue(0x00, 0x00, 0xFF);

const char* const kSongFamily = "宋体";

QFont SongFont(int pixels) {
  QFont font(QString::fromUtf8(kSongFamily));
  font.setPixelSize(pixels);
  return font;
}

template <class Widget>
Widget* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* widget = new Widget(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

TLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                  const char* caption) {
  auto* label = Make<TLabel>(parent, name, left, top, width, height);
  label->setText(QString::fromUtf8(caption));
  label->setTextFormat(Qt::PlainText);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, int left, int top, const char* caption,
                        const char* hint) {
  auto* button = Make<QPushButton>(parent, name, left, top, 87, 38);
  button->setText(QString::fromUtf8(caption));
  button->setToolTip(QString::fromUtf8(hint));
  button->setAutoDefault(false);
  return button;
}

void SetTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  widget->setPalette(palette);
}

std::string ToBytes(const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString FromBytes(const std::string& bytes) {
  return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

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

TForm_main::TForm_main(QWidget* parent) : QWidget(parent) {
  InstallFontSubstitutes();
  setObjectName(QStringLiteral("Form_main"));
  setWindowTitle(QStringLiteral("Melvigil"));
  setFont(SongFont(16));
  // The face colour of buttons as the background.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  setPalette(palette);
  setAutoFillBackground(true);
  move(kLeft, kTop);
  resize(kClientWidth, kClientHeight);

  CreateControls();
  CreateComponents();
  ConnectHandlers();
  SetTabOrder();
  AlignControls();
  FormCreate();
}

TForm_main::~TForm_main() {
  if (Form_main == this) Form_main = nullptr;
  // Components first, in an order where nothing is left to post into a window that is going:
  // no more ticks, no more watcher events, no sweep, the player's device closed.
  timer1_->SetOnTimer({});
  fileSystemWatcher1_.reset();
  downloads_.reset();
  delete MediaPlayer1;
  MediaPlayer1 = nullptr;
}

void TForm_main::CreateControls() {
  CoolBar1 = Make<TCoolBar>(this, "CoolBar1", 0, 0, kClientWidth, kCoolBarHeight);
  QWidget* band = CoolBar1->AddBand(684, 134);

  Panel2 = Make<TPanel>(band, "Panel2", -9, -3, 671, 134);
  Panel2->SetBevelOuter(TPanel::TBevel::None);

  Label3 = MakeLabel(Panel2, "Label3", 22, 9, 152, 19, "做软件，找Orvel！");
  Label3->setFont(SongFont(19));
  SetTextColor(Label3, kPurple);

  Label4 = MakeLabel(Panel2, "Label4", 413, 8, 144, 16, "下载更多的免费软件");
  QFont underlined = SongFont(16);
  underlined.setUnderline(true);
  Label4->setFont(underlined);
  SetTextColor(Label4, kBlue);
  Label4->setCursor(Qt::PointingHandCursor);

  Label1 = MakeLabel(Panel2, "Label1", 9, 51, 64, 16, "监视音乐");
  Edit1 = Make<QLineEdit>(Panel2, "Edit1", 94, 47, 159, 24);
  Edit1->setText(QStringLiteral("*.wav;*.mp3;*.wma"));

  Label2 = MakeLabel(Panel2, "Label2", 271, 51, 64, 16, "监视磁盘");
  Edit2 = Make<QLineEdit>(Panel2, "Edit2", 345, 47, 108, 24);
  Edit2->setText(FromBytes(DefaultWatchedDir()));

  CheckBox1 = Make<QCheckBox>(Panel2, "CheckBox1", 473, 46, 173, 32);
  CheckBox1->setText(QString::fromUtf8("监视所有创建文件"));
  CheckBox1->setChecked(false);

  BitBtn1 = MakeButton(Panel2, "BitBtn1", 82, 83, kCaptionStartWatching, "开始监视是否有音乐下载");
  BitBtn2 = MakeButton(Panel2, "BitBtn2", 200, 83, "播放音乐", "播放你选择的音乐");
  BitBtn5 = MakeButton(Panel2, "BitBtn5", 318, 83, "停止播放", "停止播放");
  BitBtn4 = MakeButton(Panel2, "BitBtn4", 436, 83, "自动更名", "如果音乐扩展名被隐藏，可以改回来");
  BitBtn3 = MakeButton(Panel2, "BitBtn3", 555, 83, "另存为", "把音乐另存为");

  MediaPlayer1 = new TMediaPlayerControl(dispatcher_, Panel2);
  MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
  MediaPlayer1->setGeometry(410, 130, 253, 20);

  Panel1 =
      Make<TPanel>(this, "Panel1", 0, kCoolBarHeight, kClientWidth, kClientHeight - kCoolBarHeight);
  Panel1->SetBevelOuter(TPanel::TBevel::Lowered);
  ListBox1 = Make<TListBox>(Panel1, "ListBox1", 1, 1, kClientWidth - 2,
                            kClientHeight - kCoolBarHeight - 2);
  ListBox1->SetItemHeight(16);
}

void TForm_main::CreateComponents() {
  fileSystemWatcher1_ = std::make_unique<TFileSystemWatcher>(dispatcher_);
  fileSystemWatcher1_->SetActived(false);
  fileSystemWatcher1_->SetWatchedDir(DefaultWatchedDir());
  fileSystemWatcher1_->SetWatchSubTree(true);
  fileSystemWatcher1_->SetNotifyFilters({TNotifyFilter::nfFileNameChange});

  timer1_ = std::make_unique<TTimer>();

  saveDialog1_.Filter = "音乐|*.*";
  saveUi_ = std::make_unique<TWindowSaveUi>(this, saveDialog1_);
  saveUi_->OnFinished = [this] {
    if (!closePending_) return;
    closePending_ = false;
    // After the command that ran the copy has returned.
    QTimer::singleShot(0, this, Guarded([this] { close(); }));
  };

  downloads_ = std::make_unique<TDownloadList>(
      *ListBox1, dispatcher_, [this] { return MaskText(); },
      [this] { return CheckBox1->isChecked(); });
}

void TForm_main::ConnectHandlers() {
  Label4->OnClick = [this] { Label4Click(); };
  QObject::connect(BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));
  QObject::connect(BitBtn2, &QPushButton::clicked, this, Guarded([this] { BitBtn2Click(); }));
  QObject::connect(BitBtn5, &QPushButton::clicked, this, Guarded([this] { BitBtn5Click(); }));
  QObject::connect(BitBtn4, &QPushButton::clicked, this, Guarded([this] { BitBtn4Click(); }));
  QObject::connect(BitBtn3, &QPushButton::clicked, this, Guarded([this] { BitBtn3Click(); }));
  ListBox1->OnDblClick = [this] { ListBox1DblClick(); };

  fileSystemWatcher1_->SetOnChange(
      [this](TFileOperation op, const std::string& name1, const std::string& name2) {
        FileSystemWatcher1Change(op, name1, name2);
      });
  fileSystemWatcher1_->SetOnNotice([](const std::string& text) { mv::ShowInfoMessage(text); });
  // Last: the timer ticks from here on, whether or not watching is on.
  timer1_->SetOnTimer([this](TTimer&) { Timer1Timer(); });
}

void TForm_main::SetTabOrder() {
  // Panel2's controls by their tab numbers, then Panel1's list.
  QWidget* const order[] = {BitBtn2,   BitBtn3,      BitBtn1, Edit1,   Edit2,
                            CheckBox1, MediaPlayer1, BitBtn4, BitBtn5, ListBox1};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  BitBtn2->setFocus(Qt::OtherFocusReason);
}

void TForm_main::AlignControls() {
  // CoolBar1 keeps to the top edge, Panel1 fills the rest, ListBox1 fills Panel1 inside its
  // bevel; the controls inside Panel2 keep their places.
  const int w = width();
  const int below = std::max(0, height() - kCoolBarHeight);
  CoolBar1->setGeometry(0, 0, w, kCoolBarHeight);
  Panel1->setGeometry(0, kCoolBarHeight, w, below);
  ListBox1->setGeometry(1, 1, std::max(0, w - 2), std::max(0, below - 2));
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
      // Let the running copy finish its current file, then close.
      saveUi_->CancelRunning();
      closePending_ = true;
      event->ignore();
      return;
    }
    QWidget::closeEvent(event);
  });
}

std::string TForm_main::MaskText() const { return ToBytes(Edit1->text()); }

std::string TForm_main::DirectoryText() const { return ToBytes(Edit2->text()); }

// --- handlers -----------------------------------------------------------------------------

void TForm_main::FormCreate() { ListBox1->SetItemIndex(-1); }

void TForm_main::Label4Click() { ShellOpen(kFreeSoftwarePage, ""); }

void TForm_main::BitBtn1Click() {
  // Captions are the program's own texts, UTF-8 like every literal here.
  const QByteArray current = BitBtn1->text().toUtf8();
  std::string caption(current.constData(), static_cast<std::size_t>(current.size()));
  mv::StartOrStopWatching(*fileSystemWatcher1_, DirectoryText(), caption);
  BitBtn1->setText(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

void TForm_main::FileSystemWatcher1Change(TFileOperation FileOperation,
                                          const std::string& FileName1,
                                          const std::string& FileName2) {
  downloads_->FileChanged(FileOperation, FileName1, FileName2);
}

void TForm_main::Timer1Timer() { downloads_->Sweep(); }

void TForm_main::BitBtn2Click() { mv::PlayCurrent(*ListBox1, MediaPlayer()); }

void TForm_main::ListBox1DblClick() { mv::PlayCurrent(*ListBox1, MediaPlayer()); }

void TForm_main::BitBtn5Click() { mv::StopPlaying(MediaPlayer()); }

void TForm_main::BitBtn3Click() { mv::SaveSelected(*ListBox1, MaskText(), *saveUi_); }

void TForm_main::BitBtn4Click() {
  mv::RenameAll(*ListBox1, [this] { return MaskText(); });
}

}  // namespace mv
