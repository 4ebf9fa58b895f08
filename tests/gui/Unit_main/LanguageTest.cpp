// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's standard texts and the media library's errors are Chinese whatever the user's locale
// (ctest runs this once in the user's locale and once under LC_ALL=C).

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QtTest>
#include <stdexcept>
#include <string>

#include "Unit_main/Language.h"
#include "dialogs/DialogHooks.h"
#include "dialogs/ErrorBox.h"
#include "dialogs/MessageBox.h"
#include "dialogs/SaveDialog.h"
#include "media/MPlayer.h"
#include "utility/Dispatcher.h"

namespace {

// True when the text holds a character from the CJK blocks.
bool HasChinese(const QString& text) {
  for (QChar c : text) {
    if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) return true;
  }
  return false;
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT

 public:
  explicit LanguageTest(bool installed) : installed_(installed) {}

 private slots:
  void qtCatalogueIsInstalled() { QVERIFY(installed_); }

  void saveDialogSpeaksChinese() {
    QStringList english, texts;
    mv::testing::SetLiveDialogHook([&](QDialog* d) {
      auto* fd = qobject_cast<QFileDialog*>(d);
      if (fd != nullptr) {
        for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
          auto* label = fd->findChild<QLabel*>(QLatin1String(name));
          texts << (label != nullptr ? label->text() : QStringLiteral("(no %1)").arg(name));
        }
        auto* buttons = fd->findChild<QDialogButtonBox*>();
        for (QAbstractButton* b :
             buttons != nullptr ? buttons->buttons() : QList<QAbstractButton*>{})
          texts << b->text();
      }
      d->reject();
    });
    mv::TSaveDialog dialog;
    dialog.Filter = "音乐|*.*";
    dialog.FileName = "song.mp3";
    QVERIFY(!dialog.Execute());
    mv::testing::SetLiveDialogHook({});
    QCOMPARE(texts.size(), 5);  // three labels, Save and Cancel
    for (const QString& t : texts) QVERIFY2(HasChinese(t), qPrintable(t));
  }

  void boxesSayOkInChinese() {
    mv::testing::SetErrorBoxCapture({});
    QString ok;
    mv::testing::SetLiveDialogHook([&](QDialog* d) {
      if (auto* box = qobject_cast<QMessageBox*>(d)) {
        if (QAbstractButton* button = box->button(QMessageBox::Ok)) ok = button->text();
      }
      d->reject();
    });
    mv::ShowInfoMessage("复制完成");
    QVERIFY2(HasChinese(ok), qPrintable(ok));
    ok.clear();
    mv::ShowErrorBox(std::runtime_error("x"));
    QVERIFY2(HasChinese(ok), qPrintable(ok));
    mv::testing::SetLiveDialogHook({});
  }

  // GStreamer's own text for a file that is not there, raised by the real player.
  void mediaErrorsAreChinese() {
    mv::TQueueDispatcher dispatcher;
    mv::TMediaPlayer player(dispatcher, mv::CreateMediaDevice({}));
    player.SetFileName("/nonexistent/melvigil-language-test.mp3");
    QString message;
    try {
      player.Open();
    } catch (const std::exception& e) {
      message = QString::fromLocal8Bit(e.what());
    }
    QVERIFY2(HasChinese(message), qPrintable(message));
  }

 private:
  bool installed_;
};

int main(int argc, char** argv) {
  mv::PreferChineseMessages();
  QApplication app(argc, argv);
  LanguageTest test(mv::UseChineseTexts(app));
  return QTest::qExec(&test, argc, argv);
}

#include "LanguageTest.moc"
