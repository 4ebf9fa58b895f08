// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as it starts: every control with its class, caption, hint, geometry and tab
// order, the window's font and colours, the components' stored values, how the controls follow
// the window's size, and the routing of an error that escapes a handler.

#include <QCheckBox>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QRawFont>
#include <QStyleOptionFrame>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "GuiTestSupport.h"
#include "Unit_main/Application.h"
#include "Unit_main/Unit_main.h"
#include "media/MPlayer.h"

using mv::TForm_main;

namespace {

QString Home() { return QString::fromLocal8Bit(std::getenv("HOME")); }

QString HomeWithSlash() {
  QString home = Home();
  return home.endsWith('/') ? home : home + '/';
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm_main> form;

  QWidget* Control(const char* name) const {
    return form->findChild<QWidget*>(QString::fromLatin1(name));
  }

 private slots:
  void init() { form = std::make_unique<TForm_main>(); }
  void cleanup() { form.reset(); }

  void windowAsStored() {
    QCOMPARE(form->windowTitle(), QStringLiteral("Melvigil"));
    QCOMPARE(form->objectName(), QStringLiteral("Form_main"));
    QCOMPARE(form->pos(), QPoint(192, 114));
    QCOMPARE(form->size(), QSize(688, 446));
    QCOMPARE(form->font().family(), QStringLiteral("宋体"));
    QCOMPARE(form->font().pixelSize(), 16);
    QCOMPARE(form->palette().color(QPalette::Window), form->palette().color(QPalette::Button));
  }

  void controlsAsStored_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    auto row = [](const char* name, const char* cls, const char* parent, QRect r,
                  const char* caption = "", const char* hint = "") {
      QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                          << QString::fromLatin1(parent) << r << QString::fromUtf8(caption)
                          << QString::fromUtf8(hint);
    };
    row("CoolBar1", "mv::TCoolBar", "Form_main", {0, 0, 688, 139});
    row("Panel2", "mv::TPanel", "CoolBar1", {-9, -3, 671, 134});
    row("Label3", "mv::TLabel", "Panel2", {22, 9, 152, 19}, "做软件，找Orvel！");
    row("Label4", "mv::TLabel", "Panel2", {413, 8, 144, 16}, "下载更多的免费软件");
    row("Label1", "mv::TLabel", "Panel2", {9, 51, 64, 16}, "监视音乐");
    row("Edit1", "QLineEdit", "Panel2", {94, 47, 159, 24}, "*.wav;*.mp3;*.wma");
    row("Label2", "mv::TLabel", "Panel2", {271, 51, 64, 16}, "监视磁盘");
    row("Edit2", "QLineEdit", "Panel2", {345, 47, 108, 24});
    row("CheckBox1", "QCheckBox", "Panel2", {473, 46, 173, 32}, "监视所有创建文件");
    row("BitBtn1", "QPushButton", "Panel2", {82, 83, 87, 38}, "开始监视", "开始监视是否有音乐下载");
    row("BitBtn2", "QPushButton", "Panel2", {200, 83, 87, 38}, "播放音乐", "播放你选择的音乐");
    row("BitBtn5", "QPushButton", "Panel2", {318, 83, 87, 38}, "停止播放", "停止播放");
    row("BitBtn4", "QPushButton", "Panel2", {436, 83, 87, 38}, "自动更名",
        "如果音乐扩展名被隐藏，可以改回来");
    row("BitBtn3", "QPushButton", "Panel2", {555, 83, 87, 38}, "另存为", "把音乐另存为");
    row("MediaPlayer1", "mv::TMediaPlayerControl", "Panel2", {410, 130, 253, 20});
    row("Panel1", "mv::TPanel", "Form_main", {0, 139, 688, 307});
    row("ListBox1", "mv::TListBox", "Panel1", {1, 1, 686, 305});
  }
  void controlsAsStored() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    QWidget* control = Control(name.toLatin1().constData());
    QVERIFY2(control != nullptr, qPrintable(name));
    QVERIFY2(control->inherits(className.toLatin1().constData()),
             control->metaObject()->className());
    // Panel2 sits in CoolBar1's band, a clipping area of the bar.
    QWidget* parent = control->parentWidget();
    if (name == QLatin1String("Panel2")) parent = parent->parentWidget();
    QCOMPARE(parent->objectName(), parentName);
    QCOMPARE(control->geometry(), geometry);
    if (!caption.isEmpty()) QCOMPARE(control->property("text").toString(), caption);
    QCOMPARE(control->toolTip(), hint);
    if (auto* button = qobject_cast<QPushButton*>(control)) QVERIFY(button->icon().isNull());
  }

  void coolBarBandClipsPanel2() {
    QCOMPARE(form->CoolBar1->BandCount(), 1);
    QWidget* band = form->CoolBar1->Band(0);
    QCOMPARE(form->Panel2->parentWidget(), band);
    QCOMPARE(band->width(), 684);
    QCOMPARE(band->height(), 134);
    QVERIFY(form->CoolBar1->rect().contains(band->geometry()));
  }

  void tabOrderFollowsTabNumbers() {
    const QStringList expected{"BitBtn2",   "BitBtn3",      "BitBtn1", "Edit1",   "Edit2",
                               "CheckBox1", "MediaPlayer1", "BitBtn4", "BitBtn5", "ListBox1"};
    QStringList chain;
    QWidget* w = form->BitBtn2;
    do {
      if (w != form.get() && (w->focusPolicy() & Qt::TabFocus) && form->isAncestorOf(w)) {
        chain << w->objectName();
      }
      w = w->nextInFocusChain();
    } while (w != form->BitBtn2 && chain.size() <= expected.size());
    QCOMPARE(chain, expected);

    // With the window up, Tab walks the visible controls in that order; the invisible player is
    // passed over, and the first control has the focus at start.
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QCOMPARE(QApplication::focusWidget(), form->BitBtn2);
    QStringList walked;
    for (int i = 0; i < 10; ++i) {
      walked << QApplication::focusWidget()->objectName();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QStringList visible = expected;
    visible.removeAll(QStringLiteral("MediaPlayer1"));
    visible << QStringLiteral("BitBtn2");
    QCOMPARE(walked, visible);
  }

  void labelsAndPanelsLook() {
    QCOMPARE(form->Label3->palette().color(QPalette::WindowText), QColor(0x80, 0x00, 0x80));
    QCOMPARE(form->Label3->font().pixelSize(), 19);
    QCOMPARE(form->Label3->font().family(), QStringLiteral("宋体"));
    QCOMPARE(form->Label4->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xFF));
    QVERIFY(form->Label4->font().underline());
    QCOMPARE(form->Label4->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(form->Label1->font().pixelSize(), 16);
    QCOMPARE(form->Panel1->frameShape(), QFrame::Panel);
    QCOMPARE(form->Panel1->frameShadow(), QFrame::Sunken);
    QCOMPARE(form->Panel1->lineWidth(), 1);
    QCOMPARE(form->Panel2->frameShape(), QFrame::NoFrame);
    QCOMPARE(form->ListBox1->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(form->ListBox1->ItemHeight(), 16);
    QVERIFY(!form->CheckBox1->isChecked());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QVERIFY(!form->MediaPlayer1->isVisible());
    QVERIFY(form->ListBox1->isVisible());
  }

  void chineseCaptionsHaveGlyphs() {
    // The face the window's font resolves to must itself hold every character of the captions:
    // a Song-style face, not a fallback that leaves boxes.
    for (QWidget* control : std::initializer_list<QWidget*>{
             form->Label3, form->Label4, form->Label1, form->Label2, form->CheckBox1, form->BitBtn1,
             form->BitBtn2, form->BitBtn3, form->BitBtn4, form->BitBtn5, form->Edit1}) {
      const QRawFont raw = QRawFont::fromFont(control->font());
      QVERIFY2(raw.isValid(), qPrintable(control->objectName()));
      const QString caption =
          control->property("text").toString() + QStringLiteral("中止监视") + control->toolTip();
      for (QChar ch : caption) {
        QVERIFY2(raw.supportsCharacter(ch), qPrintable(control->objectName() + ": " + QString(ch) +
                                                       " in " + raw.familyName()));
      }
    }
    const QString family = QFontInfo(form->font()).family();
    QVERIFY2(QFont::substitutes(QStringLiteral("宋体")).contains(family, Qt::CaseInsensitive) ||
                 family == QStringLiteral("宋体"),
             qPrintable(family));
  }

  void maskFitsItsField() {
    QStyleOptionFrame option;
    option.initFrom(form->Edit1);
    option.lineWidth =
        form->Edit1->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, form->Edit1);
    const QRect contents =
        form->Edit1->style()->subElementRect(QStyle::SE_LineEditContents, &option, form->Edit1);
    // QLineEdit keeps two pixels free on either side of the text.
    const int room = contents.width() - 4;
    const int needed = QFontMetrics(form->Edit1->font()).horizontalAdvance(form->Edit1->text());
    QVERIFY2(needed <= room, qPrintable(QStringLiteral("%1 > %2").arg(needed).arg(room)));
    // Label3's caption shows whole in its own font: its ink ends inside the label (the last,
    // full-width "！" has its blank half outside).
    QVERIFY(QFontMetrics(form->Label3->font()).tightBoundingRect(form->Label3->text()).right() <
            form->Label3->width());
  }

  void panelsFollowTheWindowPanel2DoesNot() {
    const QRect button = form->BitBtn3->geometry();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->resize(900, 600);
    QCOMPARE(form->CoolBar1->geometry(), QRect(0, 0, 900, 139));
    QCOMPARE(form->Panel1->geometry(), QRect(0, 139, 900, 461));
    QCOMPARE(form->ListBox1->geometry(), QRect(1, 1, 898, 459));
    QCOMPARE(form->Panel2->geometry(), QRect(-9, -3, 671, 134));
    QCOMPARE(form->BitBtn3->geometry(), button);
    form->resize(300, 100);
    QCOMPARE(form->Panel1->geometry(), QRect(0, 139, 300, 0));
    QCOMPARE(form->ListBox1->geometry().size(), QSize(298, 0));
  }

  void componentsAsStored() {
    mv::TFileSystemWatcher& watcher = form->FileSystemWatcher1();
    QVERIFY(!watcher.Actived());
    QCOMPARE(QString::fromLocal8Bit(watcher.WatchedDir()), HomeWithSlash());
    QVERIFY(watcher.WatchSubTree());
    QVERIFY(watcher.NotifyFilters() == mv::TNotifyFilters{mv::TNotifyFilter::nfFileNameChange});
    QCOMPARE(watcher.LiveWorkerCount(), 0);
    QCOMPARE(form->Edit2->text(), HomeWithSlash());
    QVERIFY(form->Timer1().Enabled());
    QCOMPARE(form->Timer1().Interval(), 1000u);
    QVERIFY(form->Timer1().Running());
    QCOMPARE(form->SaveDialog1().Filter, std::string("音乐|*.*"));
    QVERIFY(!form->MediaPlayer().Opened());
  }

  void formCreateLeavesNoCurrentEntry() {
    QCOMPARE(form->ListBox1->ItemIndex(), -1);
    form->ListBox1->Add("/a.mp3");
    form->ListBox1->Add("/b.mp3");
    form->ListBox1->SetItemIndex(1);
    form->FormCreate();
    QCOMPARE(form->ListBox1->ItemIndex(), -1);
  }

  void escapedErrorsReachTheErrorBox() {
    mv::testing::TErrorLog log;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->ListBox1->Add("/tmp/one.mp3");
    form->ListBox1->SetItemIndex(-1);
    // Saving with entries but no current one reads entry -1.
    QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    // Stopping with nothing open is the player's error.
    QTest::mouseClick(form->BitBtn5, Qt::LeftButton);
    QCOMPARE(log.texts, (std::vector<std::string>{"列表索引越界 (-1)", "没有打开的 MCI 设备."}));
    // The program goes on.
    QTest::mouseClick(form->BitBtn4, Qt::LeftButton);
    QCOMPARE(form->ListBox1->Count(), 1);
    QCOMPARE(log.texts.size(), std::size_t{2});
  }

  void playWithoutCurrentEntryDoesNothing() {
    mv::testing::TErrorLog log;
    form->ListBox1->Add("/tmp/one.mp3");
    form->ListBox1->SetItemIndex(-1);
    form->BitBtn2->click();
    QVERIFY(!form->MediaPlayer().Opened());
    QVERIFY(log.texts.empty());
  }

  void label4OpensTheFreeSoftwarePage() {
    // A stand-in opener on PATH records what it was asked to open.
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    const QString record = bin.filePath(QStringLiteral("opened"));
    QFile script(bin.filePath(QStringLiteral("xdg-open")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\nprintf '%s|' \"$@\" > '" + record + ".tmp' && mv '" + record +
                  ".tmp' '" + record + "'\n")
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + oldPath);

    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTest::mouseClick(form->Label4, Qt::LeftButton, Qt::NoModifier, QPoint(20, 8));
    qputenv("PATH", oldPath);
    QTRY_VERIFY(QFile::exists(record));
    QFile opened(record);
    QVERIFY(opened.open(QIODevice::ReadOnly));
    QCOMPARE(opened.readAll(), QByteArray("https://www.gnu.org/philosophy/free-sw.html|"));
  }

  void pressingOffTheLabelIsNoClick() {
    int clicks = 0;
    form->Label4->OnClick = [&] { ++clicks; };
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTest::mousePress(form->Label4, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(form->Label4, Qt::LeftButton, Qt::NoModifier, QPoint(300, 5));
    QCOMPARE(clicks, 0);
    QTest::mouseClick(form->Label4, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(clicks, 1);
  }
};

int main(int argc, char** argv) {
  mv::TMediaPlayer::SetDefaultAudioSink("fakesink");
  mv::TApplication app(argc, argv);
  WindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
