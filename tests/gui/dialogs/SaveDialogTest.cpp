// SPDX-License-Identifier: GPL-3.0-or-later
// The save dialog: what it offers, what it returns, and what it does not ask.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <string>

#include "DialogTestSupport.h"
#include "dialogs/SaveDialog.h"

using mv::testsupport::ScopedHook;

namespace {

std::string Bytes(const QTemporaryDir& dir) { return QFile::encodeName(dir.path()).toStdString(); }

void Touch(const std::string& path, const char* content = "x") {
  std::ofstream(path, std::ios::binary) << content;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Watches, while a file dialog is up, for a question box that Qt would raise on top of it,
// answers it with Yes, and remembers having seen it.
class QuestionWatch {
 public:
  QuestionWatch() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        asked_ = true;
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
          yes->click();
        } else {
          box->reject();
        }
      }
    });
    timer_.start();
  }
  bool Asked() const { return asked_; }

 private:
  QTimer timer_;
  bool asked_ = false;
};

mv::TSaveDialog MusicDialog(const std::string& fileName) {
  mv::TSaveDialog dialog;
  dialog.Filter = "音乐|*.*";
  dialog.FileName = fileName;
  return dialog;
}

// Types `name` into the dialog's name field and confirms it.
void TypeAndSave(QFileDialog* fd, const QString& name) {
  auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (edit != nullptr) edit->setText(name);
  static_cast<QDialog*>(fd)->accept();
}

}  // namespace

class SaveDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void offersProposedNameAndTheSingleFilter() {
    QTemporaryDir dir;
    const std::string folder = Bytes(dir);
    Touch(folder + "/nodot");
    Touch(folder + "/with.ext");
    mv::TSaveDialog dialog = MusicDialog(folder + "/song");

    QStringList filters;
    QString proposed, directory, suffix;
    bool confirmOverwrite = true, saving = false, native = true, centred = false;
    bool listsNoDot = false, listsWithExt = false;
    ScopedHook hook([&](QDialog* d) {
      if (auto* fd = qobject_cast<QFileDialog*>(d)) {
        filters = fd->nameFilters();
        auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        proposed = edit != nullptr ? edit->text() : QString();
        directory = fd->directory().absolutePath();
        suffix = fd->defaultSuffix();
        confirmOverwrite = !fd->testOption(QFileDialog::DontConfirmOverwrite);
        native = !fd->testOption(QFileDialog::DontUseNativeDialog);
        saving = fd->acceptMode() == QFileDialog::AcceptSave;
        QPoint screenCentre = QGuiApplication::primaryScreen()->geometry().center();
        centred = (fd->frameGeometry().center() - screenCentre).manhattanLength() <= 2;
        // The filter shows every file, also names without a dot; the listing fills in later.
        auto* view = fd->findChild<QAbstractItemView*>(QStringLiteral("listView"));
        auto lists = [view](const QString& name) {
          QAbstractItemModel* model = view->model();
          for (int r = 0; r < model->rowCount(view->rootIndex()); ++r) {
            if (model->index(r, 0, view->rootIndex()).data().toString() == name) return true;
          }
          return false;
        };
        if (view != nullptr) {
          (void)QTest::qWaitFor([&] { return lists("nodot") && lists("with.ext"); }, 5000);
          listsNoDot = lists("nodot");
          listsWithExt = lists("with.ext");
        }
      }
      d->reject();
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(hook.Count(), 1);
    QCOMPARE(filters, QStringList{QString::fromUtf8("音乐 (*)")});
    QCOMPARE(proposed, QStringLiteral("song"));
    QCOMPARE(directory, dir.path());
    QVERIFY(suffix.isEmpty());
    QVERIFY(!confirmOverwrite);
    QVERIFY(!native);
    QVERIFY(saving);
    QVERIFY(centred);
    QVERIFY(listsNoDot);
    QVERIFY(listsWithExt);
    // Cancel leaves the name as it was.
    QCOMPARE(dialog.FileName, folder + "/song");
  }

  void cancelAndEscapeLeaveFileNameUnchanged() {
    mv::TSaveDialog dialog = MusicDialog("proposed.mp3");
    {
      ScopedHook hook([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
      QVERIFY(!dialog.Execute());
      QCOMPARE(hook.Count(), 1);
    }
    {
      ScopedHook hook([](QDialog* d) { d->close(); });
      QVERIFY(!dialog.Execute());
    }
    QCOMPARE(dialog.FileName, std::string("proposed.mp3"));
  }

  void nameIsSavedExactlyAsTyped() {
    QTemporaryDir dir;
    const std::string folder = Bytes(dir);
    mv::TSaveDialog dialog = MusicDialog(folder + "/x.mp3");
    ScopedHook hook([](QDialog* d) {
      if (auto* fd = qobject_cast<QFileDialog*>(d)) TypeAndSave(fd, QStringLiteral("renamed"));
      if (d->isVisible()) d->reject();
    });
    QVERIFY(dialog.Execute());
    QCOMPARE(dialog.FileName, folder + "/renamed");
  }

  void existingFileGivesNoOverwriteQuestion() {
    QTemporaryDir dir;
    const std::string target = Bytes(dir) + "/old.mp3";
    Touch(target, "keep");
    mv::TSaveDialog dialog = MusicDialog(target);
    QuestionWatch watch;
    ScopedHook hook([](QDialog* d) {
      if (auto* fd = qobject_cast<QFileDialog*>(d)) TypeAndSave(fd, QStringLiteral("old.mp3"));
      if (d->isVisible()) d->reject();
    });
    QVERIFY(dialog.Execute());
    QVERIFY(!watch.Asked());
    QCOMPARE(dialog.FileName, target);
    QCOMPARE(Read(target), std::string("keep"));  // choosing a name writes nothing
  }

  // The same choice with the prompt option asked for: proves the watch above can see a question.
  void overwritePromptOptionAsks() {
    QTemporaryDir dir;
    const std::string target = Bytes(dir) + "/old.mp3";
    Touch(target);
    mv::TSaveDialog dialog = MusicDialog(target);
    dialog.Options |= mv::TSaveDialog::ofOverwritePrompt;
    QuestionWatch watch;
    ScopedHook hook([](QDialog* d) {
      if (auto* fd = qobject_cast<QFileDialog*>(d)) TypeAndSave(fd, QStringLiteral("old.mp3"));
      if (d->isVisible()) d->reject();
    });
    QVERIFY(dialog.Execute());
    QVERIFY(watch.Asked());
  }

  // Names are bytes: one that is not valid text comes back byte for byte.
  void undecodableNamesRoundTrip() {
    QTemporaryDir dir;
    const std::string folder = Bytes(dir);
    mv::testsupport::ScopedRemoveAll cleanup(folder);
    {
      mv::TSaveDialog dialog = MusicDialog(folder +
                                           "/a\xFF"
                                           "b");
      ScopedHook hook([](QDialog* d) {
        if (auto* fd = qobject_cast<QFileDialog*>(d)) static_cast<QDialog*>(fd)->accept();
        if (d->isVisible()) d->reject();
      });
      QVERIFY(dialog.Execute());
      QCOMPARE(dialog.FileName, folder +
                                    "/a\xFF"
                                    "b");
    }
    {
      // An existing file picked by the text it shows as.
      Touch(folder + "/c\xFF");
      mv::TSaveDialog dialog = MusicDialog(folder + "/other");
      ScopedHook hook([](QDialog* d) {
        if (auto* fd = qobject_cast<QFileDialog*>(d))
          TypeAndSave(fd, QString::fromLocal8Bit("c\xFF"));
        if (d->isVisible()) d->reject();
      });
      QVERIFY(dialog.Execute());
      QCOMPARE(dialog.FileName, folder + "/c\xFF");
    }
  }

  void filterTextsMapToDialogFilters() {
    QStringList filters;
    ScopedHook hook([&](QDialog* d) {
      if (auto* fd = qobject_cast<QFileDialog*>(d)) filters = fd->nameFilters();
      d->reject();
    });
    mv::TSaveDialog dialog;
    dialog.Filter = "Music|*.mp3; *.wav|All|*.*|Dangling";
    QVERIFY(!dialog.Execute());
    QCOMPARE(filters,
             (QStringList{QStringLiteral("Music (*.mp3 *.wav)"), QStringLiteral("All (*)")}));
  }
};

QTEST_MAIN(SaveDialogTest)
#include "SaveDialogTest.moc"
