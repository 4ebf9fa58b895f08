// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/SaveUi.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QProgressDialog>
#include <QTimer>
#include <exception>
#include <memory>
#include <thread>

#include "Unit_main/Guarded.h"
#include "dialogs/SaveDialog.h"
#include "dialogs/SelectDirDlg.h"

namespace mv {
namespace {

// While a copy runs the window keeps painting and its timer and watcher keep working, but the
// user's input to it is held back, so no second command starts over the running one.
class TInputBlocker final : public QObject {
 public:
  explicit TInputBlocker(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
  ~TInputBlocker() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Wheel:
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride: {
        auto* widget = qobject_cast<QWidget*>(watched);
        return widget != nullptr && window_ != nullptr && widget->window() == window_;
      }
      default:
        return false;
    }
  }

 private:
  QPointer<QWidget> window_;
};

}  // namespace

TWindowSaveUi::TWindowSaveUi(QWidget* owner, TSaveDialog& saveDialog)
    : owner_(owner), saveDialog_(saveDialog) {}

bool TWindowSaveUi::ExecuteSaveDialog(std::string& fileName) {
  saveDialog_.FileName = fileName;
  if (!saveDialog_.Execute(owner_)) return false;
  fileName = saveDialog_.FileName;
  return true;
}

bool TWindowSaveUi::ChooseDirectory(std::string& dir) { return mv::ChooseDirectory(false, dir); }

void TWindowSaveUi::RunWithProgress(int total, const std::function<void(TProgress&)>& work) {
  auto progress = std::make_shared<TDirectProgress>();
  std::exception_ptr error;
  bool finished = false;  // main thread only

  QEventLoop loop;
  TInputBlocker blocker(owner_);
  // Should anything below fail, the worker is still waited for before its references go.
  std::jthread worker([&, progress] {
    try {
      work(*progress);
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(
        &loop,
        [&] {
          finished = true;
          loop.quit();
        },
        Qt::QueuedConnection);
  });
  running_ = progress;

  // The display appears only for copies that take a while.
  std::unique_ptr<QProgressDialog> dialog;
  QTimer showTimer;
  showTimer.setSingleShot(true);
  QTimer updateTimer;
  updateTimer.setInterval(100);
  const auto update = [&] {
    if (!dialog) return;
    const TProgressShown shown = ProgressShown(*progress, total);
    dialog->setLabelText(QString::fromStdString(shown.text));
    if (shown.range == 0) return;
    dialog->setRange(0, shown.range);
    dialog->setValue(shown.position);
  };
  QObject::connect(&showTimer, &QTimer::timeout, &loop, Guarded([&] {
    dialog = std::make_unique<QProgressDialog>(owner_);
    dialog->setWindowTitle(QString::fromUtf8(kProgressCaption));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setCancelButtonText(QString::fromUtf8(kProgressCancel));
    QObject::connect(dialog.get(), &QProgressDialog::canceled, &loop,
                     [progress] { progress->Cancel(); });
    update();
    dialog->show();
    updateTimer.start();
  }));
  QObject::connect(&updateTimer, &QTimer::timeout, &loop, Guarded(update));
  showTimer.start(ShowDelayMs);

  while (!finished) loop.exec();
  worker.join();

  updateTimer.stop();
  showTimer.stop();
  dialog.reset();
  running_.reset();
  if (OnFinished) RunGuarded(OnFinished);
  if (error) std::rethrow_exception(error);
}

}  // namespace mv
