// SPDX-License-Identifier: GPL-3.0-or-later
// melvigil: the window program.

#include <sys/socket.h>
#include <unistd.h>
#include <QGuiApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string_view>

#include "Unit_main/Application.h"
#include "Unit_main/Guarded.h"
#include "Unit_main/Language.h"
#include "Unit_main/SingleInstance.h"
#include "Unit_main/Unit_main.h"
#include "utility/NameRules.h"

namespace {

// SIGTERM, SIGINT and SIGHUP close the window as the user would, so the watcher stops its worker
// and the player releases its device before the process ends; a running copy is cancelled
// cleanly, with no question that nobody may be there to answer. The handler only writes a byte;
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

constexpr const char* kHelp =
    "用法：melvigil [选项]\n"
    "监视一个磁盘或目录树中新下载的音乐文件，在窗口中列出；可播放、另存，\n"
    "并按文件头给缺少扩展名的文件自动更名。\n"
    "\n"
    "选项：\n"
    "  -h, --help     显示本帮助并退出\n"
    "      --version  显示版本并退出\n"
    "\n"
    "Qt 的标准选项（例如 -display、-platform）同样可用。\n"
    "没有图形界面时，melvigil-cli 完成同样的工作。\n"
    "参见 melvigil(1)、melvigil-cli(1)。\n";

constexpr const char* kVersion =
    "melvigil " MELVIGIL_VERSION
    "\n"
    "许可证 GPL-3.0-or-later <https://www.gnu.org/licenses/gpl-3.0.html>\n";

// The icon theme's, so that a theme can restyle it; else the one built in.
QIcon ProgramIcon() {
  QIcon builtIn;
  for (const char* file : {":/melvigil/melvigil-48.png", ":/melvigil/melvigil-64.png"})
    builtIn.addFile(QString::fromLatin1(file));
  return QIcon::fromTheme(QStringLiteral("melvigil"), builtIn);
}

// --help and --version are answered before anything needs a display. -1: neither was asked.
int AnswerInfoOptions(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    const char* text = arg == "--help" || arg == "-h" ? kHelp
                       : arg == "--version"           ? kVersion
                                                      : nullptr;
    if (text == nullptr) continue;
    // A full disk or closed pipe is a failure, not a silent success.
    return std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
  }
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const int answered = AnswerInfoOptions(argc, argv); answered >= 0) return answered;
  mv::PreferChineseMessages();
  // Paths and list entries are bytes in the locale's narrow encoding.
  std::setlocale(LC_ALL, "");
  mv::InitLeadBytesFromLocale();
  InstallQuitSignals();

  mv::TApplication app(argc, argv);
  mv::UseChineseTexts(app);
  // Names the desktop entry (the icon and name under Wayland) and gives every window the icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("melvigil"));
  QApplication::setWindowIcon(ProgramIcon());
  // A second start on the same display raises the first window instead of watching twice.
  std::unique_ptr<mv::TSingleInstance> instance;
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (!dir.isEmpty()) {
    instance = std::make_unique<mv::TSingleInstance>(dir, mv::TSingleInstance::DisplayKey());
    if (!instance->Claim()) {
      if (instance->RaiseFirst(5000)) return 0;
      std::fputs("melvigil: 已有一个 Melvigil 在运行，但它没有应答。\n", stderr);
      return 1;
    }
  }

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
                       if (mv::Form_main != nullptr) mv::Form_main->CloseCancellingCopy();
                     }));
  }

  if (instance) {
    QObject::connect(instance.get(), &mv::TSingleInstance::RaiseRequested, &app, mv::Guarded([&] {
                       window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
                       window->show();
                       window->raise();
                       window->activateWindow();
                     }));
  }

  window->show();
  const int code = app.exec();
  quitNotifier.reset();
  window.reset();
  return code;
}
