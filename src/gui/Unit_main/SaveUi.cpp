// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/SaveUi.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>

#include "Unit_main/Guarded.h"
#include "dialogs/MessageBox.h"
#include "dialogs/SaveDialog.h"
#include "dialogs/SelectDirDlg.h"

namespace mv {
namespace {

// What the worker reports and the window reads; shared with the worker thread.
class TSharedProgress final : public TProgress {
 public:
  void Step(int done) override { done_.store(done, std::memory_order_relaxed); }
  void Bytes(std::uint64_t copied, std::uint64_t total) override {
    copied_.store(copied, std::memory_order_relaxed);
    total_.store(total, std::memory_order_relaxed);
  }
  bool Cancelled() const override { return cancelled_.load(std::memory_order_acquire); }
  void Cancel() { cancelled_.store(true, std::memory_order_release); }
  int Done() const { return done_.load(std::memory_order_relaxed); }
  std::uint64_t Copied() const { return copied_.load(std::memory_order_relaxed); }
  std::uint64_t Total() const { return total_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int> done_{0};
  std::atomic<std::uint64_t> copied_{0}, total_{0};
  std::atomic<bool> cancelled_{false};
};

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

QString ProgressText(int done, int total) {
  return QString::fromUtf8(kProgressText).arg(done).arg(total);
}

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

void TWindowSaveUi::ShowInfoMessage(const std::string& text) { mv::ShowInfoMessage(text); }

void TWindowSaveUi::ShowError(const std::exception& error) { ShowErrorBox(error); }

void TWindowSaveUi::ShowNotice(const std::string& text) { mv::ShowInfoMessage(text); }

void TWindowSaveUi::CancelRunning() {
  if (cancelRunning_) cancelRunning_();
}

void TWindowSaveUi::RunWithProgress(int total, const std::function<void(TProgress&)>& work) {
  auto progress = std::make_shared<TSharedProgress>();
  std::exception_ptr error;
  bool finished = false;  // main thread only

  QEventLoop loop;
  TInputBlocker blocker(owner_);
  std::thread worker([&, progress] {
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
  // Should anything below fail, the worker is still waited for before its references go.
  struct TJoin {
    std::thread& thread;
    ~TJoin() {
      if (thread.joinable()) thread.join();
    }
  } joinGuard{worker};
  busy_ = true;
  cancelRunning_ = [progress] { progress->Cancel(); };

  // The display appears only for copies that take a while.
  std::unique_ptr<QProgressDialog> dialog;
  QTimer showTimer;
  showTimer.setSingleShot(true);
  QTimer updateTimer;
  updateTimer.setInterval(100);
  QObject::connect(&showTimer, &QTimer::timeout, &loop, Guarded([&] {
    dialog = std::make_unique<QProgressDialog>(owner_);
    dialog->setWindowTitle(QString::fromUtf8(kProgressCaption));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setCancelButtonText(QString::fromUtf8(kProgressCancel));
    dialog->setRange(0, total > 0 ? total : 1);
    QObject::connect(dialog.get(), &QProgressDialog::canceled, &loop,
                     [progress] { progress->Cancel(); });
    dialog->setLabelText(ProgressText(progress->Done(), total));
    dialog->setValue(progress->Done());
    dialog->show();
    updateTimer.start();
  }));
  QObject::connect(&updateTimer, &QTimer::timeout, &loop, Guarded([&] {
    if (!dialog) return;
    if (progress->Cancelled()) {
      dialog->setLabelText(QString::fromUtf8(kProgressCancelling));
      return;
    }
    const int done = progress->Done();
    QString label = ProgressText(done, total);
    const std::uint64_t bytesTotal = progress->Total();
    if (total == 1 && bytesTotal > 0) {
      // One large file: the bar and the text both show how far its bytes have got, so they
      // never disagree (a bar counting files would stand at 0% until the very end).
      const int percent =
          done >= 1 ? 100
                    : static_cast<int>(std::min(progress->Copied(), bytesTotal) * 100 / bytesTotal);
      label += QStringLiteral(" (%1%)").arg(percent);
      dialog->setLabelText(label);
      dialog->setRange(0, 100);
      dialog->setValue(percent);
      return;
    }
    dialog->setLabelText(label);
    dialog->setRange(0, total > 0 ? total : 1);
    dialog->setValue(done);
  }));
  showTimer.start(ShowDelayMs);

  while (!finished) loop.exec();
  worker.join();

  updateTimer.stop();
  showTimer.stop();
  dialog.reset();
  cancelRunning_ = nullptr;
  busy_ = false;
  if (OnFinished) RunGuarded(OnFinished);
  if (error) std::rethrow_exception(error);
}

}  // namespace mv
