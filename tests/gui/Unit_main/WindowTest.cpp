// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as it starts: every control and component against the stored description,
// the tab order, fonts with the glyphs they need, how the controls follow the window's size,
// and the routing of an error that escapes a handler.

#include <QAccessible>
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
#include "dialogs/FormLoader.h"
#include "media/MPlayer.h"

using mv::TForm_main;

namespace {

QString Home() { return QString::fromLocal8Bit(std::getenv("HOME")); }

QString HomeWithSlash() {
  QString home = Home();
  return home.endsWith('/') ? home : home + '/';
}

const char* ClassOf(mv::TControlRole role) {
  switch (role) {
    case mv::TControlRole::CoolBar:
      return "mv::TCoolBar";
    case mv::TControlRole::Panel:
      return "mv::TPanel";
    case mv::TControlRole::Label:
      return "mv::TLabel";
    case mv::TControlRole::Edit:
      return "QLineEdit";
    case mv::TControlRole::CheckBox:
      return "QCheckBox";
    case mv::TControlRole::Button:
      return "QPushButton";
    case mv::TControlRole::MediaPlayer:
      return "mv::TMediaPlayerControl";
    case mv::TControlRole::ListBox:
      return "mv::TListBox";
    default:
      return "not on the main window";
  }
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
  void init() {
    form = std::make_unique<TForm_main>(nullptr, mv::CreateMediaDevice({"fakesink", {}}));
  }
  void cleanup() { form.reset(); }

  // The live window against its stored description, control by control.
  void windowMatchesItsDescription() {
    const mv::TMainFormDesc& desc = mv::Form_mainDesc();
    QCOMPARE(form->objectName(), mv::FromUtf8(desc.form.name));
    QCOMPARE(form->windowTitle(), mv::FromUtf8(desc.form.caption));
    QCOMPARE(form->geometry(), mv::ToRect(desc.form.bounds));
    QCOMPARE(form->font().family(), mv::FromUtf8(desc.form.font.family));
    QCOMPARE(form->font().pixelSize(), desc.form.font.pixelHeight);
    QCOMPARE(form->palette().color(QPalette::Window), form->palette().color(QPalette::Button));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    for (const mv::TControlDesc& row : desc.form.controls) {
      const QString name = mv::FromUtf8(row.name);
      QWidget* control = Control(row.name.c_str());
      QVERIFY2(control != nullptr, qPrintable(name));
      QVERIFY2(control->inherits(ClassOf(row.role)),
               qPrintable(name + ": " + control->metaObject()->className()));
      // A cool bar's control sits in a band, a clipping area of the bar.
      QWidget* parent = control->parentWidget();
      if (row.bandWidth > 0) {
        QCOMPARE(parent->size(), QSize(row.bandWidth, row.bandMinHeight));
        parent = parent->parentWidget();
      }
      QCOMPARE(parent->objectName(), mv::FromUtf8(row.parent));
      QCOMPARE(control->geometry(), mv::ToRect(row.bounds));
      if (control->property("text").isValid()) {
        QCOMPARE(control->property("text").toString(), mv::FromUtf8(row.caption));
      }
      QCOMPARE(control->toolTip(), mv::FromUtf8(row.hint));
      if (auto* button = qobject_cast<QPushButton*>(control)) QVERIFY(button->icon().isNull());
      const QFont expectedFont = mv::ToFont(row.font, parent->font());
      QCOMPARE(control->font().family(), expectedFont.family());
      QCOMPARE(control->font().pixelSize(), expectedFont.pixelSize());
      QCOMPARE(control->font().underline(), row.font.underline);
      if (row.color.kind == mv::TColor::TKind::Rgb) {
        QCOMPARE(control->palette().color(QPalette::WindowText),
                 QColor(row.color.red, row.color.green, row.color.blue));
      }
      QCOMPARE(control->cursor().shape() == Qt::PointingHandCursor,
               row.cursor == mv::TCursor::HandPoint);
      QCOMPARE(control->isVisible(), row.visible);
      if (auto* panel = qobject_cast<mv::TPanel*>(control)) {
        QCOMPARE(panel->BevelOuter(), row.bevelOuter);
        const bool lowered = row.bevelOuter == mv::TBevel::Lowered;
        QCOMPARE(panel->frameShape(), lowered ? QFrame::Panel : QFrame::NoFrame);
        if (lowered) QCOMPARE(panel->frameShadow(), QFrame::Sunken);
      }
      if (auto* list = qobject_cast<mv::TListBox*>(control)) {
        QCOMPARE(list->ItemHeight(), row.itemHeight);
        QCOMPARE(list->selectionMode() == QAbstractItemView::ExtendedSelection, row.multiSelect);
      }
    }
    QVERIFY(!form->CheckBox1->isChecked());
  }

  void componentsMatchTheirDescription() {
    const mv::TMainFormDesc& desc = mv::Form_mainDesc();
    mv::TFileSystemWatcher& watcher = form->FileSystemWatcher1();
    QCOMPARE(watcher.Actived(), desc.FileSystemWatcher1.actived);
    QCOMPARE(watcher.WatchedDir(), desc.FileSystemWatcher1.watchedDir);
    QCOMPARE(watcher.WatchSubTree(), desc.FileSystemWatcher1.watchSubTree);
    QVERIFY(watcher.NotifyFilters() == desc.FileSystemWatcher1.notifyFilters);
    QCOMPARE(watcher.LiveWorkerCount(), 0);
    // The platform's default directory: here the home directory.
    QCOMPARE(QString::fromLocal8Bit(watcher.WatchedDir()), HomeWithSlash());
    QCOMPARE(form->Edit2->text(), HomeWithSlash());
    QCOMPARE(form->Timer1().Enabled(), desc.Timer1.enabled);
    QCOMPARE(form->Timer1().Interval(), desc.Timer1.interval);
    QVERIFY(form->Timer1().Running());
    QCOMPARE(form->SaveDialog1().Filter, desc.SaveDialog1.filter);
    QVERIFY(!form->MediaPlayer().Opened());
  }

  void tabOrderFollowsTabNumbers() {
    QStringList expected;
    for (const mv::TControlDesc* row : mv::Form_mainDesc().form.TabChain()) {
      expected << mv::FromUtf8(row->name);
    }
    // The link follows the described tab stops.
    expected << QStringLiteral("Label4");
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
    for (int i = 0; i < 11; ++i) {
      walked << QApplication::focusWidget()->objectName();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QStringList visible = expected;
    visible.removeAll(QStringLiteral("MediaPlayer1"));
    visible << QStringLiteral("BitBtn2");
    QCOMPARE(walked, visible);
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
    // No smaller than Panel2 with every button whole, and three rows of the list.
    form->resize(300, 100);
    QCOMPARE(form->size(), form->minimumSize());
    for (QWidget* control : form->Panel2->findChildren<QWidget*>()) {
      if (!control->isVisibleTo(form.get())) continue;
      const QRect inWindow(control->mapTo(form.get(), QPoint(0, 0)), control->size());
      QVERIFY2(form->rect().contains(inWindow), qPrintable(control->objectName()));
    }
    QVERIFY(form->ListBox1->height() >= 3 * form->ListBox1->ItemHeight());
  }

  // Enter plays the current entry, the link opens by Enter or Space, the edits carry their
  // labels' names for screen readers.
  void keyboardAndScreenReaders() {
    mv::testing::TErrorLog log;  // the device's error for a file that is no music
    QTemporaryDir dir;
    const std::string song = dir.filePath(QStringLiteral("song.mp3")).toStdString();
    QFile file(QString::fromStdString(song));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not music") > 0);
    file.close();
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    form->ListBox1->Add(song);
    form->ListBox1->setFocus();
    form->ListBox1->SetItemIndex(-1);
    QTest::keyClick(form->ListBox1, Qt::Key_Return);  // no current entry: nothing
    QCOMPARE(form->MediaPlayer().FileName(), std::string());
    form->ListBox1->SetItemIndex(0);
    QTest::keyClick(form->ListBox1, Qt::Key_Return);
    QCOMPARE(form->MediaPlayer().FileName(), song);

    int clicks = 0;
    form->Label4->OnClick = [&] { ++clicks; };
    QTest::keyClick(form->ListBox1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->Label4);
    QTest::keyClick(form->Label4, Qt::Key_Return);
    QTest::keyClick(form->Label4, Qt::Key_Space);
    QCOMPARE(clicks, 2);

    for (auto [edit, label] :
         {std::pair{form->Edit1, "监视音乐"}, std::pair{form->Edit2, "监视磁盘"}}) {
      QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(edit);
      QVERIFY(iface != nullptr);
      QCOMPARE(iface->text(QAccessible::Name), QString::fromUtf8(label));
    }
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
  mv::TApplication app(argc, argv);
  WindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
