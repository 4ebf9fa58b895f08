// SPDX-License-Identifier: GPL-3.0-or-later
// The window end to end, offscreen, with the real watcher on a temporary directory tree, real
// files, the playback device on a fake sink, and the dialogs answered as a user would.

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "GuiTestSupport.h"
#include "Unit_main/Application.h"
#include "Unit_main/Unit_main.h"
#include "dialogs/DialogHooks.h"
#include "dialogs/FileControls.h"
#include "dialogs/SelectDirDlg.h"
#include "media/MPlayer.h"
#include "utility/SysUtils.h"

using mv::TForm_main;

namespace {

// How long the window may take to list a new file or drop a vanished one: the sweep runs once a
// second, the rest is slack for a loaded machine.
constexpr int kListWithinMs = 5000;
constexpr int kDropWithinMs = 3500;

std::string Bytes(const QString& path) { return path.toLocal8Bit().toStdString(); }

void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
  file.write(content);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The start of an MP3 with an ID3 tag.
QByteArray Id3Mp3() {
  return QByteArray("ID3\x03\x00\x00\x00\x00\x00\x00", 10) + QByteArray(200, 'x');
}

// One second of silence as 8 kHz 8-bit mono PCM.
QByteArray SilentWav() {
  const int samples = 8000;
  QByteArray wav;
  auto u32 = [&](quint32 v) {
    for (int i = 0; i < 4; ++i) wav.append(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  auto u16 = [&](quint16 v) {
    wav.append(static_cast<char>(v & 0xFF));
    wav.append(static_cast<char>(v >> 8));
  };
  wav.append("RIFF");
  u32(36 + samples);
  wav.append("WAVEfmt ");
  u32(16);
  u16(1);  // PCM
  u16(1);  // mono
  u32(8000);
  u32(8000);
  u16(1);
  u16(8);
  wav.append("data");
  u32(samples);
  wav.append(QByteArray(samples, static_cast<char>(0x80)));
  return wav;
}

}  // namespace

class WindowE2ETest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm_main> form;
  std::unique_ptr<QTemporaryDir> tree;
  bool armed = false;

  QString Path(const QString& relative) const { return tree->filePath(relative); }
  std::vector<std::string> Listed() const { return form->ListBox1->Items(); }
  bool IsListed(const QString& path) const { return form->ListBox1->ContainsNoCase(Bytes(path)); }

  void StartWatching() {
    form->Edit2->setText(tree->path() + '/');
    armed = false;
    form->FileSystemWatcher1().SetOnArmed([this](bool watching) { armed = watching; });
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    QCOMPARE(form->BitBtn1->text(), QStringLiteral("中止监视"));
    QTRY_VERIFY_WITH_TIMEOUT(armed, kListWithinMs);
  }

 private slots:
  void init() {
    tree = std::make_unique<QTemporaryDir>();
    QVERIFY(tree->isValid());
    form = std::make_unique<TForm_main>(nullptr, mv::CreateMediaDevice({"fakesink", {}}));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }
  void cleanup() {
    mv::testing::SetLiveDialogHook({});
    form.reset();
    tree.reset();
  }

  void newMusicIsListedAndVanishedFilesDrop() {
    mv::testing::TErrorLog errors;
    QVERIFY(QDir(tree->path()).mkpath(QStringLiteral("sub/deeper")));
    StartWatching();

    WriteFile(Path("song.mp3"), Id3Mp3());
    QTRY_VERIFY_WITH_TIMEOUT(IsListed(Path("song.mp3")), kListWithinMs);
    QCOMPARE(Listed(), (std::vector<std::string>{Bytes(Path("song.mp3"))}));

    // Below the watched directory, extension in capitals; files outside the mask are not listed.
    WriteFile(Path("note.txt"), "text");
    WriteFile(Path("sub/deeper/clip.MP3"), Id3Mp3());
    QTRY_VERIFY_WITH_TIMEOUT(IsListed(Path("sub/deeper/clip.MP3")), kListWithinMs);
    QVERIFY(!IsListed(Path("note.txt")));

    // With the switch on, every created file.
    form->CheckBox1->setChecked(true);
    WriteFile(Path("setup.bin"), "MZ");
    QTRY_VERIFY_WITH_TIMEOUT(IsListed(Path("setup.bin")), kListWithinMs);
    form->CheckBox1->setChecked(false);

    // The mask is read at every event.
    form->Edit1->setText(QStringLiteral("*.ogg"));
    WriteFile(Path("late.mp3"), Id3Mp3());
    WriteFile(Path("tune.ogg"), "OggS");
    QTRY_VERIFY_WITH_TIMEOUT(IsListed(Path("tune.ogg")), kListWithinMs);
    QVERIFY(!IsListed(Path("late.mp3")));
    QCOMPARE(form->ListBox1->Count(), 4);

    // A deleted file leaves the list within about a second.
    QVERIFY(QFile::remove(Path("song.mp3")));
    QTRY_VERIFY_WITH_TIMEOUT(!IsListed(Path("song.mp3")), kDropWithinMs);
    QCOMPARE(form->ListBox1->Count(), 3);
    QVERIFY(errors.texts.empty());
  }

  void stoppingEndsTheEventsButNotTheSweep() {
    StartWatching();
    WriteFile(Path("one.wav"), SilentWav());
    QTRY_VERIFY_WITH_TIMEOUT(IsListed(Path("one.wav")), kListWithinMs);

    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    QCOMPARE(form->BitBtn1->text(), QStringLiteral("开始监视"));
    QVERIFY(!form->FileSystemWatcher1().Actived());
    QTRY_COMPARE(form->FileSystemWatcher1().LiveWorkerCount(), 0);

    WriteFile(Path("two.wav"), SilentWav());
    // The sweep still runs: a vanished entry goes while watching is off ...
    QVERIFY(QFile::remove(Path("one.wav")));
    QTRY_VERIFY_WITH_TIMEOUT(!IsListed(Path("one.wav")), kDropWithinMs);
    // ... and nothing new came in meanwhile.
    QVERIFY(!IsListed(Path("two.wav")));
    QCOMPARE(form->ListBox1->Count(), 0);
  }

  void playsTheCurrentEntryAndStops() {
    mv::testing::TErrorLog errors;
    WriteFile(Path("a.wav"), SilentWav());
    WriteFile(Path("b.wav"), SilentWav());
    form->ListBox1->Add(Bytes(Path("a.wav")));
    form->ListBox1->Add(Bytes(Path("b.wav")));

    form->ListBox1->SetItemIndex(0);
    QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    QVERIFY(form->MediaPlayer().Opened());
    QCOMPARE(form->MediaPlayer().FileName(), Bytes(Path("a.wav")));

    // Double-clicking an entry plays that entry instead.
    const QPoint row1 = form->ListBox1->visualRect(form->ListBox1->model()->index(1, 0)).center();
    QTest::mouseDClick(form->ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier, row1);
    QCOMPARE(form->MediaPlayer().FileName(), Bytes(Path("b.wav")));
    QVERIFY(form->MediaPlayer().Opened());

    QTest::mouseClick(form->BitBtn5, Qt::LeftButton);
    QVERIFY(errors.texts.empty());

    // An entry whose file has just gone is not played.
    QVERIFY(QFile::remove(Path("a.wav")));
    form->ListBox1->SetItemIndex(0);
    QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    QCOMPARE(form->MediaPlayer().FileName(), Bytes(Path("b.wav")));
  }

  void savesOneEntryOverAnExistingFile() {
    mv::testing::TInfoLog info;
    WriteFile(Path("song.mp3"), Id3Mp3());
    WriteFile(Path("kept.mp3"), "old content");
    form->ListBox1->Add(Bytes(Path("song.mp3")));
    form->ListBox1->SetItemIndex(0);
    QStringList offered;
    mv::testing::SetLiveDialogHook([&](QDialog* d) {
      auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (qobject_cast<QFileDialog*>(d) != nullptr && edit != nullptr) {
        offered << edit->text() << static_cast<QFileDialog*>(d)->nameFilters();
        edit->setText(Path("kept.mp3"));
        d->accept();
      }
      if (d->isVisible()) d->reject();
    });

    QTest::mouseClick(form->BitBtn3, Qt::LeftButton);

    QCOMPARE(offered, (QStringList{QStringLiteral("song.mp3"), QStringLiteral("音乐 (*)")}));
    QCOMPARE(ReadFile(Path("kept.mp3")), Id3Mp3());
    QCOMPARE(info.texts, (std::vector<std::string>{"复制完成"}));
    QCOMPARE(info.captions, (std::vector<std::string>{"提示"}));
    QCOMPARE(form->ListBox1->Count(), 1);
  }

  void savesTheSelectedEntriesIntoADirectory() {
    mv::testing::TInfoLog info;
    QVERIFY(QDir(tree->path()).mkdir(QStringLiteral("out")));
    WriteFile(Path("a"), Id3Mp3());
    WriteFile(Path("b.mp3"), "b");
    WriteFile(Path("c.wma"), "c");
    WriteFile(Path("d.mp3"), "d");
    for (const char* name : {"a", "b.mp3", "c.wma", "d.mp3"}) {
      form->ListBox1->Add(Bytes(Path(QString::fromLatin1(name))));
    }
    for (int row : {0, 1, 2}) {
      form->ListBox1->selectionModel()->select(form->ListBox1->model()->index(row, 0),
                                               QItemSelectionModel::Select);
    }
    std::vector<unsigned> offered;
    std::string startedIn;
    bool choose = true;
    mv::testing::SetLiveDialogHook([&](QDialog* d) {
      if (auto* chooser = qobject_cast<mv::TSelectDirDlg*>(d)) {
        offered.push_back(chooser->Options());
        startedIn = chooser->DirList()->Directory();
        chooser->DirList()->SetDirectory(Bytes(Path("out")));
        if (choose) chooser->OKButton()->click();
      }
      if (d->isVisible()) d->reject();
    });

    QTest::mouseClick(form->BitBtn3, Qt::LeftButton);

    QCOMPARE(offered, std::vector<unsigned>{mv::sdPrompt});
    // No folder is proposed: the chooser starts in the current directory.
    QCOMPARE(startedIn, Bytes(QDir::currentPath()));
    QCOMPARE(info.texts, (std::vector<std::string>{"成功复制3个文件"}));
    QCOMPARE(ReadFile(Path("out/a.mp3")), Id3Mp3());
    QCOMPARE(ReadFile(Path("out/b.mp3")), QByteArray("b"));
    QCOMPARE(ReadFile(Path("out/c.wma")), QByteArray("c"));
    QVERIFY(!QFile::exists(Path("out/d.mp3")));

    // A cancelled choice still reports, with 0.
    choose = false;
    QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    QCOMPARE(info.texts.back(), std::string("成功复制0个文件"));
  }

  void autoRenameAddsTheDetectedExtension() {
    WriteFile(Path("x"), Id3Mp3());
    WriteFile(Path("y.mp3"), "y");
    form->ListBox1->Add(Bytes(Path("x")));
    form->ListBox1->Add(Bytes(Path("y.mp3")));
    QTest::mouseClick(form->BitBtn4, Qt::LeftButton);
    QVERIFY(QFile::exists(Path("x.mp3")));
    QVERIFY(!QFile::exists(Path("x")));
    QVERIFY(QFile::exists(Path("y.mp3")));
    // The old name leaves the list with the next sweep; the new one is not added.
    QTRY_VERIFY_WITH_TIMEOUT(!IsListed(Path("x")), kDropWithinMs);
    QCOMPARE(Listed(), (std::vector<std::string>{Bytes(Path("y.mp3"))}));
  }

  void longCopyShowsProgressStaysResponsiveAndCancels() {
    form->SaveUi().ShowDelayMs = 100;
    std::atomic<bool> sawCancel{false};
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] { ++ticks; });
    ticker.start(20);

    QString label;
    bool dialogModal = false;
    QString captionDuringRun;
    QTimer::singleShot(600, form.get(), [&] {
      auto* dialog = form->findChild<QProgressDialog*>();
      if (dialog == nullptr) return;
      label = dialog->labelText();
      dialogModal = dialog->isVisible() && dialog->windowModality() != Qt::NonModal;
      // The window takes no input meanwhile.
      QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
      captionDuringRun = form->BitBtn1->text();
      auto* cancel = dialog->findChild<QPushButton*>();
      if (cancel != nullptr && cancel->text() == QStringLiteral("取消")) cancel->click();
    });

    QElapsedTimer clock;
    clock.start();
    form->SaveUi().RunWithProgress(3, [&](mv::TProgress& progress) {
      progress.Step(1);
      // Only a cancel ends this work (or the test's patience).
      for (int i = 0; i < 1000 && !progress.Cancelled(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      sawCancel = progress.Cancelled();
    });

    QVERIFY(sawCancel);
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(label, QStringLiteral("已复制 1 / 3 个文件"));
    QVERIFY(dialogModal);
    QCOMPARE(captionDuringRun, QStringLiteral("开始监视"));
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY(!form->SaveUi().Busy());
    QVERIFY(form->findChild<QProgressDialog*>() == nullptr);
  }

  // One large file: the bar and the text give the same percentage.
  void oneLargeCopyShowsOnePercentage() {
    form->SaveUi().ShowDelayMs = 50;
    QString label;
    int barPercent = -1;
    QTimer::singleShot(600, form.get(), [&] {
      if (auto* dialog = form->findChild<QProgressDialog*>()) {
        label = dialog->labelText();
        barPercent = (dialog->value() - dialog->minimum()) * 100 /
                     std::max(1, dialog->maximum() - dialog->minimum());
        dialog->cancel();
      }
    });
    form->SaveUi().RunWithProgress(1, [&](mv::TProgress& progress) {
      progress.Bytes(40, 100);
      for (int i = 0; i < 1000 && !progress.Cancelled(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    QCOMPARE(label, QStringLiteral("已复制 0 / 1 个文件 (40%)"));
    QCOMPARE(barPercent, 40);
  }

  void quickCopyShowsNoProgressAndWorkErrorsComeBack() {
    bool sawDialog = false;
    form->SaveUi().RunWithProgress(1, [&](mv::TProgress&) {});
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
      sawDialog = sawDialog || form->findChild<QProgressDialog*>() != nullptr;
    });
    probe.start(5);
    std::string message;
    try {
      form->SaveUi().RunWithProgress(1, [](mv::TProgress&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        throw mv::EFOpenError("不能打开文件 /nowhere");
      });
    } catch (const mv::EFOpenError& e) {
      message = e.what();
    }
    QCOMPARE(message, std::string("不能打开文件 /nowhere"));
    QVERIFY(!sawDialog);
    QVERIFY(!form->SaveUi().Busy());
  }

  // Closing while a copy runs asks first; the copy finishes or is cancelled as answered, and
  // the window closes once it has ended (or stays, if so answered). A quit signal asks nothing.
  void closingDuringACopyAsksFirst_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<bool>("closes");
    QTest::newRow("finish") << QStringLiteral("复制完再关闭") << false << true;
    QTest::newRow("cancel") << QStringLiteral("取消复制并关闭") << true << true;
    QTest::newRow("keep open") << QStringLiteral("不关闭") << false << false;
    QTest::newRow("quit signal") << QString() << true << true;
  }

  void closingDuringACopyAsksFirst() {
    QFETCH(QString, answer);
    QFETCH(bool, cancelled);
    QFETCH(bool, closes);
    QString question;
    mv::testing::SetLiveDialogHook([&](QDialog* d) {
      auto* box = qobject_cast<QMessageBox*>(d);
      if (box == nullptr) return;
      question = box->windowTitle() + '|' + box->text();
      for (QAbstractButton* b : box->buttons()) {
        if (b->text() == answer) b->click();
      }
    });
    QTimer::singleShot(100, form.get(), [&] {
      if (answer.isEmpty()) {
        form->CloseCancellingCopy();
      } else {
        form->close();
      }
    });
    bool sawCancel = false;
    int rounds = 0;
    form->SaveUi().RunWithProgress(2, [&](mv::TProgress& progress) {
      // Long enough for the question to come and go; a cancel ends it early.
      for (; rounds < 100 && !progress.Cancelled(); ++rounds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      sawCancel = progress.Cancelled();
    });
    mv::testing::SetLiveDialogHook({});
    QCOMPARE(question, answer.isEmpty() ? QString()
                                        : QString::fromUtf8("提示|") +
                                              QString::fromUtf8(mv::kCloseDuringCopyQuestion));
    QCOMPARE(sawCancel, cancelled);
    QCOMPARE(rounds == 100, !cancelled);  // a finished copy ran to its end
    if (closes) {
      QTRY_VERIFY(!form->isVisible());
    } else {
      QTest::qWait(100);
      QVERIFY(form->isVisible());
    }
  }
};

int main(int argc, char** argv) {
  mv::TApplication app(argc, argv);
  WindowE2ETest test;
  return QTest::qExec(&test, argc, argv);
}

#include "WindowE2ETest.moc"
