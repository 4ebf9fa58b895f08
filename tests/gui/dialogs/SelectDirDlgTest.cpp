// SPDX-License-Identifier: GPL-3.0-or-later
// The directory chooser: layout, options, starting folder, ways out, and its file-system
// controls.

#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "DialogTestSupport.h"
#include "dialogs/FileControls.h"
#include "dialogs/FormLoader.h"
#include "dialogs/SelectDirDlg.h"
#include "utility/SysUtils.h"

using mv::TSelectDirDlg;
using mv::testsupport::ScopedHook;

namespace {

std::string Bytes(const QTemporaryDir& dir) { return QFile::encodeName(dir.path()).toStdString(); }

void MakeDir(const std::string& path) { std::filesystem::create_directories(path); }
void Touch(const std::string& path) { std::ofstream(path, std::ios::binary) << "x"; }
bool IsDir(const std::string& path) { return std::filesystem::is_directory(path); }

QRect At(QWidget* w) { return w->geometry(); }

int Scaled(int v, int dpi) { return (v * dpi + 48) / 96; }

QStringList Texts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

// What a user's double-click sends: press and release, then the second press as a double-click.
void DoubleClick(QListWidget* list, QListWidgetItem* item) {
  list->scrollToItem(item);
  QCoreApplication::processEvents();  // let the list lay out and scroll
  const QPoint at = list->visualItemRect(item).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// Closes whatever dialog a hook was given, so that a failing check never leaves a test blocked.
void Close(QDialog* d) {
  if (d->isVisible()) d->reject();
}

// Restores the process's current directory at the end of a scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& path) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~ScopedCwd() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

}  // namespace

class SelectDirDlgTest : public QObject {
  Q_OBJECT

 private slots:
  // The dialog as built, against its stored description (with help, so nothing has moved).
  void layoutMatchesItsDescription() {
    const mv::TFormDesc& desc = mv::SelectDirDlgDesc();
    TSelectDirDlg dlg;
    dlg.SetHelpContext(7);
    QCOMPARE(dlg.windowTitle(), mv::FromUtf8(desc.caption));
    QCOMPARE(dlg.size(), QSize(desc.bounds.width, desc.bounds.height));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());  // a fixed dialog border
    for (const mv::TControlDesc& row : desc.controls) {
      const QString name = mv::FromUtf8(row.name);
      auto* control = dlg.findChild<QWidget*>(name);
      QVERIFY2(control != nullptr, qPrintable(name));
      // The path label is moved onto the edit's place.
      const QRect bounds =
          mv::ToRect(row.name == "DirLabel" ? desc.Control("DirEdit").bounds : row.bounds);
      if (row.autoSize) {
        QCOMPARE(control->pos(), bounds.topLeft());
      } else {
        QCOMPARE(control->geometry(), bounds);
      }
      if (!row.caption.empty()) {
        QCOMPARE(control->property("text").toString(), mv::FromUtf8(row.caption));
      }
      if (auto* label = qobject_cast<QLabel*>(control); label && !row.focusControl.empty()) {
        QCOMPARE(label->buddy()->objectName(), mv::FromUtf8(row.focusControl));
      }
      if (auto* button = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(button->isDefault(), row.isDefault);
      }
      QCOMPARE(control->isVisibleTo(&dlg), row.visible || row.name == "DirLabel");
    }
    QCOMPARE(dlg.DirList()->ItemHeight(), desc.Control("DirList").itemHeight);
    QCOMPARE(dlg.FileList()->ItemHeight(), desc.Control("FileList").itemHeight);

    QList<QWidget*> wanted;
    for (const mv::TControlDesc* row : desc.TabChain()) {
      wanted << dlg.findChild<QWidget*>(mv::FromUtf8(row->name));
    }
    QList<QWidget*> order;
    QWidget* w = wanted.front();
    do {
      if (wanted.contains(w)) order << w;
      w = w->nextInFocusChain();
    } while (w != wanted.front() && order.size() < wanted.size());
    QCOMPARE(order, wanted);
  }

  void helpContextZeroShowsOnlyOkAndCancel() {
    QRect ok, cancel;
    bool okVisible = false, cancelVisible = false, helpVisible = true, netVisible = true;
    bool listHasFocus = false;
    ScopedHook hook([&](QDialog* d) {
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        ok = At(dlg->OKButton());
        cancel = At(dlg->CancelButton());
        okVisible = dlg->OKButton()->isVisible();
        cancelVisible = dlg->CancelButton()->isVisible();
        helpVisible = dlg->HelpButton()->isVisible();
        netVisible = dlg->NetButton()->isVisible();
        listHasFocus = dlg->focusWidget() == dlg->DirList();
      }
      Close(d);
    });
    std::string dir;
    QVERIFY(!mv::SelectDirectory(dir, mv::sdPrompt, 0));
    QCOMPARE(hook.Count(), 1);
    const int dpi = qApp->primaryScreen()->logicalDotsPerInchX() > 0
                        ? static_cast<int>(qApp->primaryScreen()->logicalDotsPerInchX())
                        : 96;
    QCOMPARE(ok, QRect(Scaled(256, dpi), Scaled(224, dpi), Scaled(77, dpi), Scaled(27, dpi)));
    QCOMPARE(cancel, QRect(Scaled(340, dpi), Scaled(224, dpi), Scaled(77, dpi), Scaled(27, dpi)));
    QVERIFY(okVisible);
    QVERIFY(cancelVisible);
    QVERIFY(!helpVisible);
    QVERIFY(!netVisible);
    QVERIFY(listHasFocus);
  }

  void scalingTo120Dpi() {
    TSelectDirDlg dlg;
    dlg.SetHelpContext(1);
    dlg.ScaleTo(120);
    QCOMPARE(dlg.size(), QSize(530, 319));
    QCOMPARE(At(dlg.DirEdit()), QRect(10, 30, 391, 25));
    QCOMPARE(At(dlg.DirList()), QRect(10, 90, 266, 173));
    QCOMPARE(At(dlg.OKButton()), QRect(215, 280, 96, 34));
    QCOMPARE(At(dlg.HelpButton()), QRect(425, 280, 96, 34));
    QCOMPARE(dlg.DriveCaption()->pos(), QPoint(290, 220));
    QCOMPARE(dlg.DirList()->ItemHeight(), 21);
    QCOMPARE(dlg.FileList()->ItemHeight(), 16);
    const QRect screen = dlg.screen()->geometry();
    QCOMPARE(dlg.pos(), QPoint(screen.width() / 2 - 530 / 2, screen.height() / 2 - 319 / 2));
    // Help context 0 after scaling: OK and Cancel take the scaled places.
    dlg.SetHelpContext(0);
    QCOMPARE(At(dlg.OKButton()), QRect(320, 280, 96, 34));
    QCOMPARE(At(dlg.CancelButton()), QRect(425, 280, 96, 34));
  }

  // The entry scales by the screen's logical dots per inch; the 120-dpi run of this test
  // sets MELVIGIL_EXPECT_DPI so that it fails if the environment did not take effect.
  void entryFollowsScreenDpi() {
    int dpi = 0;
    QSize size;
    QPoint pos;
    QRect screen;
    ScopedHook hook([&](QDialog* d) {
      dpi = d->logicalDpiX();
      size = d->size();
      pos = d->pos();
      screen = d->screen()->geometry();
      Close(d);
    });
    std::string dir;
    QVERIFY(!mv::SelectDirectory(dir, mv::sdPrompt, 0));
    if (const char* expect = std::getenv("MELVIGIL_EXPECT_DPI")) QCOMPARE(dpi, std::atoi(expect));
    QCOMPARE(size, QSize(Scaled(424, dpi), Scaled(255, dpi)));
    QCOMPARE(pos, QPoint(screen.width() / 2 - size.width() / 2,
                         screen.height() / 2 - size.height() / 2));
  }

  void startFolderShowsPathSubfoldersAndFiles() {
    QTemporaryDir tmp;
    const std::string root = Bytes(tmp);
    MakeDir(root + "/music/beta");
    MakeDir(root + "/music/alpha");
    MakeDir(root + "/music/.hidden");
    Touch(root + "/music/one.mp3");
    Touch(root + "/music/noext");
    Touch(root + "/music/.dotfile");

    std::string shownDir, labelPath, editBytes;
    QStringList folders, files;
    int current = -1;
    QString lastPathItem;
    ScopedHook hook([&](QDialog* d) {
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        shownDir = dlg->DirList()->Directory();
        labelPath = dlg->DirLabel()->Path();
        folders = Texts(dlg->DirList());
        files = Texts(dlg->FileList());
        current = dlg->DirList()->currentRow();
        lastPathItem = dlg->DirList()->currentItem() ? dlg->DirList()->currentItem()->text() : "";
        editBytes = dlg->DirEdit()->text().toStdString();
      }
      Close(d);
    });
    std::string dir = root + "/music/";  // a trailing "/" is fine
    QVERIFY(!mv::SelectDirectory(dir, mv::sdPrompt, 0));
    QCOMPARE(shownDir, root + "/music");
    QCOMPARE(labelPath, root + "/music");
    QCOMPARE(editBytes, root + "/music");
    // "/" and every component down to "music", then its visible sub-folders.
    const int depth = static_cast<int>(QString::fromStdString(root).count('/')) + 1;
    QCOMPARE(folders.size(), depth + 1 + 2);
    QCOMPARE(folders.first(), QStringLiteral("/"));
    QCOMPARE(folders.mid(depth + 1), (QStringList{"alpha", "beta"}));
    QCOMPARE(current, depth);
    QCOMPARE(lastPathItem, QStringLiteral("music"));
    QCOMPARE(files, (QStringList{"noext", "one.mp3"}));
  }

  void doubleClickOpensAFolderAndOkReturnsTheLabelsFolder() {
    QTemporaryDir tmp;
    const std::string root = Bytes(tmp);
    MakeDir(root + "/a/deeper");
    std::string label;
    bool editHidden = false;
    int dialogs = 0;
    ScopedHook hook([&](QDialog* d) {
      ++dialogs;
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        editHidden = !dlg->DirEdit()->isVisible() && dlg->DirLabel()->isVisible();
        QListWidget* list = dlg->DirList();
        QList<QListWidgetItem*> hits = list->findItems("deeper", Qt::MatchExactly);
        if (hits.size() == 1) DoubleClick(list, hits.front());
        label = dlg->DirLabel()->Path();
        dlg->OKButton()->click();  // never prompts with options 4
      }
      Close(d);
    });
    std::string dir = root + "/a";
    QVERIFY(mv::SelectDirectory(dir, mv::sdPrompt, 0));
    QVERIFY(editHidden);
    QCOMPARE(label, root + "/a/deeper");
    QCOMPARE(dir, root + "/a/deeper");
    QCOMPARE(dialogs, 1);
  }

  void promptWithoutAllowCreateNeverAsks() {
    // With options 4 the result is always an existing folder, so there is nothing to ask about,
    // even when the folder vanishes while the dialog is up.
    QTemporaryDir tmp;
    const std::string gone = Bytes(tmp) + "/gone";
    MakeDir(gone);
    int dialogs = 0;
    ScopedHook hook([&](QDialog* d) {
      ++dialogs;
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        std::filesystem::remove(gone);
        dlg->OKButton()->click();
      }
      Close(d);
    });
    std::string dir = gone;
    QVERIFY(mv::SelectDirectory(dir, mv::sdPrompt, 0));
    QCOMPARE(dialogs, 1);
    QCOMPARE(dir, gone);
  }

  void missingFolderIsQuestionedAndNoKeepsTheDialogOpen() {
    QTemporaryDir tmp;
    const std::string wanted = Bytes(tmp) + "/new/deeper";
    QString question, caption;
    QMessageBox::StandardButtons buttons;
    bool stillOpenAfterNo = false;
    QPointer<QDialog> chooser;
    ScopedHook hook([&](QDialog* d) {
      if (auto* box = qobject_cast<QMessageBox*>(d)) {
        question = box->text();
        buttons = box->standardButtons();
        box->button(QMessageBox::No)->click();
      } else if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        chooser = dlg;
        QVERIFY(dlg->DirEdit()->isVisible());
        QVERIFY(!dlg->DirLabel()->isVisible());
        dlg->DirEdit()->setText(QString::fromStdString(wanted));
        dlg->OKButton()->click();  // the question comes up here and is answered No
        stillOpenAfterNo = dlg->isVisible() && dlg->result() == QDialog::Rejected;
        dlg->CancelButton()->click();
      }
      Close(d);
    });
    std::string dir = "/";
    QVERIFY(!mv::SelectDirectory(dir, mv::sdAllowCreate | mv::sdPrompt, 0));
    QCOMPARE(hook.Count(), 2);
    QCOMPARE(question, QString::fromUtf8("指定的目录不存在. 创建吗?"));
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(stillOpenAfterNo);
    QCOMPARE(dir, std::string("/"));
    QVERIFY(!IsDir(wanted));
    QVERIFY(chooser.isNull());
  }

  void yesAcceptsTheTypedFolder_data() {
    QTest::addColumn<unsigned>("options");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("created");
    QTest::newRow("allow+prompt") << unsigned{5} << true << false;
    QTest::newRow("allow+prompt+create") << unsigned{7} << true << true;
    QTest::newRow("allow+create, no prompt") << unsigned{3} << false << true;
    QTest::newRow("allow only") << unsigned{1} << false << false;
  }
  void yesAcceptsTheTypedFolder() {
    QFETCH(unsigned, options);
    QFETCH(bool, asks);
    QFETCH(bool, created);
    QTemporaryDir tmp;
    const std::string wanted = Bytes(tmp) + "/x/y/z";
    int questions = 0;
    ScopedHook hook([&](QDialog* d) {
      if (auto* box = qobject_cast<QMessageBox*>(d)) {
        ++questions;
        box->button(QMessageBox::Yes)->click();
      } else if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        dlg->DirEdit()->setText(QString::fromStdString(wanted));
        dlg->OKButton()->click();
      }
      Close(d);
    });
    std::string dir;
    QVERIFY(mv::SelectDirectory(dir, options, 0));
    QCOMPARE(dir, wanted);
    QCOMPARE(questions, asks ? 1 : 0);
    QCOMPARE(IsDir(wanted), created);
  }

  void existingTypedFolderIsNotQuestioned() {
    QTemporaryDir tmp;
    int questions = 0;
    ScopedHook hook([&](QDialog* d) {
      if (qobject_cast<QMessageBox*>(d) != nullptr) ++questions;
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) dlg->OKButton()->click();
      Close(d);
    });
    std::string dir = Bytes(tmp);
    QVERIFY(mv::SelectDirectory(dir, mv::sdAllowCreate | mv::sdPrompt, 0));
    QCOMPARE(questions, 0);
    QCOMPARE(dir, Bytes(tmp));
  }

  void cancelAndEscapeLeaveDirUnchanged_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("cancel button") << false;
    QTest::newRow("escape key") << true;
  }
  void cancelAndEscapeLeaveDirUnchanged() {
    QFETCH(bool, escape);
    QTemporaryDir tmp;
    MakeDir(Bytes(tmp) + "/sub");
    ScopedHook hook([&](QDialog* d) {
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        dlg->DirList()->SetDirectory(Bytes(tmp) + "/sub");  // the user moved somewhere else
        if (escape) {
          QTest::keyClick(dlg->DirList(), Qt::Key_Escape);
        } else {
          dlg->CancelButton()->click();
        }
      }
      Close(d);
    });
    std::string dir = Bytes(tmp);
    QVERIFY(!mv::SelectDirectory(dir, mv::sdAllowCreate | mv::sdPerformCreate, 0));
    QCOMPARE(dir, Bytes(tmp));
    QVERIFY(hook.Seen()[0].isNull());
  }

  void unenterableStartFallsBackToCurrentDirectory() {
    QTemporaryDir tmp;
    ScopedCwd cwd(Bytes(tmp));
    Touch(Bytes(tmp) + "/plainfile");
    for (const std::string& start : {std::string("/no/such/folder"), Bytes(tmp) + "/plainfile"}) {
      std::string shown;
      ScopedHook hook([&](QDialog* d) {
        if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
          shown = dlg->DirList()->Directory();
          dlg->OKButton()->click();
        }
        Close(d);
      });
      std::string dir = start;
      QVERIFY(mv::SelectDirectory(dir, mv::sdPrompt, 0));
      QCOMPARE(shown, Bytes(tmp));
      QCOMPARE(dir, Bytes(tmp));
    }
  }

  void unreadableStartFallsBackToo() {
    if (geteuid() == 0) QSKIP("root enters every folder");
    QTemporaryDir tmp;
    ScopedCwd cwd(Bytes(tmp));
    const std::string locked = Bytes(tmp) + "/locked";
    MakeDir(locked);
    chmod(locked.c_str(), 0);
    std::string shown;
    ScopedHook hook([&](QDialog* d) {
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) shown = dlg->DirList()->Directory();
      Close(d);
    });
    std::string dir = locked;
    QVERIFY(!mv::SelectDirectory(dir, mv::sdPrompt, 0));
    chmod(locked.c_str(), 0700);
    QCOMPARE(shown, Bytes(tmp));
    QCOMPARE(dir, locked);
  }

  void emptyDirStartsInCurrentDirectory() {
    QTemporaryDir tmp;
    ScopedCwd cwd(Bytes(tmp));
    ScopedHook hook([](QDialog* d) {
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) dlg->OKButton()->click();
      Close(d);
    });
    std::string dir;
    QVERIFY(mv::ChooseDirectory(false, dir));
    QCOMPARE(dir, Bytes(tmp));
  }

  void dialogIsDestroyedOnEveryWayOut() {
    QTemporaryDir tmp;
    QPointer<QDialog> seen;
    auto run = [&](unsigned options, const std::function<void(TSelectDirDlg*)>& act) {
      ScopedHook hook([&](QDialog* d) {
        if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
          seen = dlg;
          act(dlg);
        }
        Close(d);
      });
      std::string dir = Bytes(tmp);
      return mv::SelectDirectory(dir, options, 0);
    };
    QVERIFY(run(mv::sdPrompt, [](TSelectDirDlg* d) { d->OKButton()->click(); }));
    QVERIFY(seen.isNull());
    QVERIFY(!run(mv::sdPrompt, [](TSelectDirDlg* d) { d->CancelButton()->click(); }));
    QVERIFY(seen.isNull());
    QVERIFY(!run(mv::sdPrompt, [](TSelectDirDlg* d) { d->close(); }));
    QVERIFY(seen.isNull());
    // A folder that cannot be created: the error leaves the entry, the dialog does not stay.
    bool threw = false;
    try {
      run(mv::sdAllowCreate | mv::sdPerformCreate, [](TSelectDirDlg* d) {
        d->DirEdit()->setText(QStringLiteral("/proc/1/no-such/folder"));
        d->OKButton()->click();
      });
    } catch (const mv::Exception& e) {
      threw = QString::fromUtf8(e.what()).contains(QStringLiteral("/proc/1/no-such/folder"));
    }
    QVERIFY(threw);
    QVERIFY(seen.isNull());
  }

  void parentDestroyedWhileOpen() {
    auto* parent = new QWidget;
    parent->show();
    ScopedHook hook([&](QDialog*) { delete parent; });
    std::string dir = "/";
    QVERIFY(!mv::SelectDirectory(dir, mv::sdPrompt, 0, parent));
    QCOMPARE(dir, std::string("/"));
    QVERIFY(hook.Seen()[0].isNull());
  }

  void undecodableFolderNamesRoundTrip_data() {
    QTest::addColumn<unsigned>("options");
    QTest::newRow("path label") << unsigned{mv::sdPrompt};
    QTest::newRow("unedited edit") << unsigned{mv::sdAllowCreate | mv::sdPrompt};
  }
  void undecodableFolderNamesRoundTrip() {
    QFETCH(unsigned, options);
    QTemporaryDir tmp;
    const std::string odd = Bytes(tmp) +
                            "/d\xFF"
                            "e";
    mv::testsupport::ScopedRemoveAll cleanup(odd);
    MakeDir(odd + "/in\xFF");
    ScopedHook hook([](QDialog* d) {
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) dlg->OKButton()->click();
      Close(d);
    });
    std::string dir = odd;
    QVERIFY(mv::SelectDirectory(dir, options, 0));
    QCOMPARE(dir, odd);

    // Entered by double-click, the sub-folder keeps its bytes too.
    ScopedHook enter([&](QDialog* d) {
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        QListWidget* list = dlg->DirList();
        DoubleClick(list, list->item(list->count() - 1));
        dlg->OKButton()->click();
      }
      Close(d);
    });
    QVERIFY(mv::SelectDirectory(dir, options, 0));
    QCOMPARE(dir, odd + "/in\xFF");
  }

  void longPathIsShortenedInTheMiddle() {
    QTemporaryDir tmp;
    std::string deep = Bytes(tmp);
    for (int i = 0; i < 12; ++i) deep += "/a-rather-long-folder-name-" + std::to_string(i);
    MakeDir(deep);
    TSelectDirDlg dlg;
    dlg.SetDirectory(deep);
    mv::TPathLabel* label = dlg.DirLabel();
    QCOMPARE(label->Path(), deep);
    QVERIFY(label->text() != QString::fromStdString(deep));
    QVERIFY(label->text().contains(QChar(0x2026)));
    QVERIFY(label->text().startsWith(QStringLiteral("/")));
    QVERIFY(label->text().endsWith(QStringLiteral("11")));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
  }

  void drivePickerSwitchesTheFolderList() {
    TSelectDirDlg dlg;
    mv::TDriveComboBox* drives = dlg.DriveList();
    QVERIFY(drives->count() >= 1);
    QCOMPARE(drives->Drives().front(), std::string("/"));
    const char* home = std::getenv("HOME");
    if (home != nullptr && IsDir(home)) {
      const std::string h = std::filesystem::weakly_canonical(home).string();
      QVERIFY(std::find(drives->Drives().begin(), drives->Drives().end(), h) !=
              drives->Drives().end());
    }
    QTemporaryDir tmp;
    dlg.SetDirectory(Bytes(tmp));
    QCOMPARE(drives->Drive(), mv::MountOf(drives->Drives(), Bytes(tmp)));
    // Any other drive: the folder list moves to its root.
    int other = drives->currentIndex() == 0 ? 1 : 0;
    QVERIFY(other < drives->count());
    drives->setCurrentIndex(other);
    const std::string chosen = drives->Drives()[static_cast<std::size_t>(other)];
    QCOMPARE(drives->Drive(), chosen);
    QCOMPARE(dlg.DirList()->Directory(), chosen);
    QCOMPARE(dlg.DirLabel()->Path(), chosen);
  }

  void mountTableIsFilteredForPicking() {
    // /proc/self/mountinfo: id parent major:minor root point options [optional...] - type source
    const std::string table =
        "21 1 0:21 / /sys rw shared:21 - sysfs sysfs rw\n"
        "22 1 0:22 / /proc rw - proc proc rw\n"
        "23 1 0:23 / /dev rw shared:23 - devtmpfs udev rw\n"
        "24 1 0:24 / /dev/pts rw - devpts devpts rw\n"
        "25 1 0:25 / /run rw shared:25 - tmpfs tmpfs rw\n"
        "26 1 0:26 / /run/user/1000 rw - tmpfs tmpfs rw\n"
        "27 1 0:27 / / rw shared:27 - ext4 /dev/sda1 rw\n"
        "28 1 0:28 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
        "29 1 0:29 / /tmp rw shared:29 - tmpfs tmpfs rw\n"
        "30 1 0:30 / /mnt/queue rw - mqueue mqueue rw\n"
        "31 1 0:31 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
        "32 1 0:32 / /run/media/u/CARD rw shared:32 - exfat /dev/sdc1 rw\n"
        "33 1 0:33 / /home rw - ext4 /dev/sda2 rw\n"
        "34 1 0:34 / /snap/core/1 ro shared:34 - squashfs /dev/loop0 rw\n"
        "35 1 0:35 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
        "36 1 0:36 / /run/user/1000/gvfs rw shared:36 - fuse.gvfsd-fuse gvfsd-fuse rw\n"
        "37 1 0:37 / /home rw - ext4 /dev/sda2 rw\n"
        "garbage\n"
        "99 1 0:99 / /mnt/unfinished rw shared:1\n";
    std::vector<std::string> mounts = mv::PickableMounts(table, "/home/u");
    QCOMPARE(mounts, (std::vector<std::string>{"/", "/home", "/home/u", "/media/usb stick",
                                               "/run/media/u/CARD", "/tmp"}));
    QCOMPARE(mv::MountOf(mounts, "/home/u/music"), std::string("/home/u"));
    QCOMPARE(mv::MountOf(mounts, "/home/ux"), std::string("/home"));
    QCOMPARE(mv::MountOf(mounts, "/media/usb stick"), std::string("/media/usb stick"));
    QCOMPARE(mv::MountOf(mounts, "/var/x"), std::string("/"));
  }

  void chooseDirectoryPassesTheProgramsOptions() {
    QTemporaryDir tmp;
    std::vector<unsigned> options;
    bool helpHidden = true;
    ScopedHook hook([&](QDialog* d) {
      if (auto* dlg = qobject_cast<TSelectDirDlg*>(d)) {
        options.push_back(dlg->Options());
        helpHidden = helpHidden && !dlg->HelpButton()->isVisible();
        dlg->DirList()->SetDirectory(Bytes(tmp));
        if (options.size() == 1) dlg->OKButton()->click();
      }
      Close(d);
    });
    std::string dir;
    QVERIFY(mv::ChooseDirectory(false, dir));
    QCOMPARE(dir, Bytes(tmp));
    QVERIFY(!mv::ChooseDirectory(true, dir));
    QCOMPARE(dir, Bytes(tmp));
    QCOMPARE(options, (std::vector<unsigned>{mv::sdPrompt, mv::sdAllowCreate | mv::sdPrompt}));
    QVERIFY(helpHidden);
  }
};

QTEST_MAIN(SelectDirDlgTest)
#include "SelectDirDlgTest.moc"
