// SPDX-License-Identifier: GPL-3.0-or-later
// melvigil: the window program.

#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <clocale>
#include <csignal>
#include <memory>

#include "Unit_main/Application.h"
#include "Unit_main/Guarded.h"
#include "Unit_main/Language.h"
#include "Unit_main/Unit_main.h"
#include "utility/NameRules.h"

namespace {

// SIGTERM, SIGINT and SIGHUP close the window as the user would, so the watcher stops its worker
// and the player releases its device before the process ends. The handler only writes a byte;
// the event loop reads it.
int signalPipe[2] = {-1, -1};

extern "C" void OnQuitSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

void InstallQuitSignals() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
  struct sigaction action = {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
  mv::PreferChineseMessages();
  // Paths and list entries are bytes in the locale's narrow encoding.
  std::setlocale(LC_ALL, "");
  mv::InitLeadBytesFromLocale();
  InstallQuitSignals();

  mv::TApplication app(argc, argv);
  mv::UseChineseTexts(app);
  std::unique_ptr<mv::TForm_main> window;
  mv::RunGuarded([&] {
    window = std::make_unique<mv::TForm_main>();
    mv::Form_main = window.get();
  });
  if (!window) return 1;

  std::unique_ptr<QSocketNotifier> quitNotifier;
  if (signalPipe[0] >= 0) {
    quitNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(quitNotifier.get(), &QSocketNotifier::activated, &app, mv::Guarded([&] {
                       char byte;
                       [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
                       if (mv::Form_main != nullptr) mv::Form_main->close();
                     }));
  }

  window->show();
  const int code = app.exec();
  quitNotifier.reset();
  window.reset();
  return code;
}
