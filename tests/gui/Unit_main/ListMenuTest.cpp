// SPDX-License-Identifier: GPL-3.0-or-later
// The list's context menu and dragging out, on a list box alone: the menu opens from the right
// button and the Menu key, 复制路径 and 从列表中移除 act on the selection, a drag carries the
// selected files as file: URLs and only ever copies. 打开所在文件夹 goes to a file manager on a
// private session bus, and to the folder through a fake xdg-open when the bus has none.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "Unit_main/ListBox.h"
#include "Unit_main/ListMenu.h"

using mv::TListBox;
using mv::TListMenu;

// Stands in for the desktop's file manager.
class TFakeFileManager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

 public:
  QStringList shown;

 public slots:
  void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

class ListMenuTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  pid_t busPid_ = -1;
  QString busAddress_;
  std::unique_ptr<TListBox> list_;
  TListMenu* menu_ = nullptr;
  int plays_ = 0;

  // Names as bytes: the non-UTF-8 one must reach the file system unchanged.
  std::string Path(const char* name) const {
    return QFile::encodeName(dir_.path()).toStdString() + "/" + name;
  }
  void Touch(const std::string& path) { QVERIFY(std::ofstream(path).good()); }
  void Select(std::initializer_list<int> rows) {
    list_->selectionModel()->clearSelection();
    for (int row : rows) {
      list_->selectionModel()->select(list_->model()->index(row, 0), QItemSelectionModel::Select);
    }
  }
  std::vector<std::string> Entries() const { return list_->Items(); }
  QAction* Action(QMenu& menu, const char* caption) {
    for (QAction* action : menu.actions()) {
      if (action->text() == QString::fromUtf8(caption)) return action;
    }
    return nullptr;
  }
  // The fake opener's log: the folder it was asked to open; empty when none came.
  QString WaitForOpened() {
    const QString log = dir_.filePath("opened");
    if (!QTest::qWaitFor([&] { return QFile::exists(log); }, 10000)) return {};
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromLocal8Bit(file.readAll());
    file.remove();
    return text;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    // A session bus of our own, with no service files: nothing on it but what the test puts.
    const QString config = dir_.filePath("bus.conf");
    QFile conf(config);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(
        "<busconfig><type>session</type><listen>unix:tmpdir=" + QFile::encodeName(dir_.path()) +
        "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
        "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
        "<allow own=\"*\"/></policy></busconfig>");
    conf.close();
    // Spawned, not forked: a fork of this threaded process is what ThreadSanitizer refuses.
    int out[2];
    QVERIFY(::pipe2(out, O_CLOEXEC) == 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string configArg = "--config-file=" + QFile::encodeName(config).toStdString();
    std::vector<char*> argv{const_cast<char*>("dbus-daemon"), const_cast<char*>("--nofork"),
                            const_cast<char*>("--print-address=1"),
                            const_cast<char*>(configArg.c_str()), nullptr};
    const int spawned =
        posix_spawnp(&busPid_, "dbus-daemon", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    QVERIFY2(spawned == 0, "dbus-daemon did not start");
    std::string line;
    char ch = 0;
    while (line.find('\n') == std::string::npos && ::read(out[0], &ch, 1) == 1) line += ch;
    ::close(out[0]);
    busAddress_ = QString::fromStdString(line).trimmed();
    QVERIFY2(!busAddress_.isEmpty(), "dbus-daemon gave no address");
    qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress_.toLatin1());
    QVERIFY(QDBusConnection::sessionBus().isConnected());

    // The fallback opener records the folder it was given.
    const QString bin = dir_.filePath("bin");
    QVERIFY(QDir().mkpath(bin));
    QFile opener(bin + "/xdg-open");
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write(
        "#!/bin/sh\nprintf '%s' \"$1\" > \"$MV_OPENED.tmp\"\nmv \"$MV_OPENED.tmp\" "
        "\"$MV_OPENED\"\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("MV_OPENED", QFile::encodeName(dir_.filePath("opened")));
    qputenv("PATH", QFile::encodeName(bin) + ":" + qgetenv("PATH"));
  }

  void cleanupTestCase() {
    if (busPid_ > 0) {
      ::kill(busPid_, SIGTERM);
      ::waitpid(busPid_, nullptr, 0);
    }
    // QTemporaryDir cannot name what is not valid UTF-8.
    std::filesystem::remove_all(QFile::encodeName(dir_.path()).toStdString());
  }

  void init() {
    list_ = std::make_unique<TListBox>();
    list_->resize(400, 200);
    menu_ = new TListMenu(*list_, [this] { ++plays_; });
    plays_ = 0;
    for (const char* name : {"a.mp3", "b c.mp3", "\xD6\xD0.mp3"}) {
      Touch(Path(name));
      list_->Add(Path(name));
    }
    list_->Add(Path("gone.mp3"));
    list_->show();
  }

  void cleanup() { list_.reset(); }

  void menuOpensFromMouseAndKeyboardWithFiveActions() {
    list_->SetItemIndex(0);
    Select({0});
    const QPoint at(5, 5);
    QContextMenuEvent mouse(QContextMenuEvent::Mouse, at, list_->viewport()->mapToGlobal(at));
    QContextMenuEvent key(QContextMenuEvent::Keyboard, at, list_->mapToGlobal(at));
    for (auto [event, target] : {std::pair<QContextMenuEvent*, QWidget*>{&mouse, list_->viewport()},
                                 {&key, list_.get()}}) {
      QApplication::sendEvent(target, event);
      auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QVERIFY(popup != nullptr);
      QStringList captions;
      for (QAction* action : popup->actions()) {
        captions << action->text();
        QVERIFY(action->isEnabled());
      }
      QCOMPARE(captions,
               (QStringList{"播放", "打开所在文件夹", "复制路径", "从列表中移除", "移到回收站"}));
      popup->close();
    }
  }

  void copyAndRemoveActOnTheSelection() {
    Select({2, 0});
    std::unique_ptr<QMenu> menu(menu_->MakeMenu(nullptr));
    Action(*menu, "复制路径")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString::fromLocal8Bit((Path("a.mp3") + "\n" + Path("\xD6\xD0.mp3")).c_str()));

    Action(*menu, "从列表中移除")->trigger();
    QCOMPARE(Entries(), (std::vector<std::string>{Path("b c.mp3"), Path("gone.mp3")}));
    QVERIFY(std::ifstream(Path("a.mp3")).good());

    // With nothing selected, only 播放 (the current entry) is offered.
    list_->selectionModel()->clearSelection();
    list_->SetItemIndex(0);
    std::unique_ptr<QMenu> empty(menu_->MakeMenu(nullptr));
    QVERIFY(Action(*empty, "播放")->isEnabled());
    for (const char* caption : {"打开所在文件夹", "复制路径", "从列表中移除", "移到回收站"}) {
      QVERIFY2(!Action(*empty, caption)->isEnabled(), caption);
    }
    Action(*empty, "播放")->trigger();
    QCOMPARE(plays_, 1);
  }

  void dragCarriesTheSelectedFilesAsCopies() {
    QVERIFY(list_->dragEnabled());
    QCOMPARE(list_->ListModel()->supportedDragActions(), Qt::DropActions(Qt::CopyAction));
    Select({2, 1});
    std::unique_ptr<QMimeData> data(
        list_->ListModel()->mimeData(list_->selectionModel()->selectedIndexes()));
    const QByteArray dirUrl = "file://" + QFile::encodeName(dir_.path()).toPercentEncoding("/");
    QCOMPARE(data->data("text/uri-list"), dirUrl + "/b%20c.mp3\r\n" + dirUrl + "/%D6%D0.mp3\r\n");
  }

  void showInFolderAsksTheFileManagerElseOpensTheFolder() {
    mv::testing::TInfoLog info;
    Select({0, 3});
    std::unique_ptr<QMenu> menu(menu_->MakeMenu(nullptr));

    // No file manager on the bus: the folder opens instead, and the vanished file is named.
    Action(*menu, "打开所在文件夹")->trigger();
    QCOMPARE(WaitForOpened(), dir_.path() + "/");
    QCOMPARE(info.texts, (std::vector<std::string>{"文件已不存在：" + Path("gone.mp3")}));

    QDBusConnection service = QDBusConnection::connectToBus(busAddress_, "fake-file-manager");
    TFakeFileManager fake;
    QVERIFY(service.registerObject(mv::kFileManagerPath, &fake, QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(mv::kFileManagerService));
    Select({1, 2});
    Action(*menu, "打开所在文件夹")->trigger();
    const QString dirUrl = "file://" + QFile::encodeName(dir_.path()).toPercentEncoding("/");
    QTRY_COMPARE_WITH_TIMEOUT(fake.shown,
                              (QStringList{dirUrl + "/b%20c.mp3", dirUrl + "/%D6%D0.mp3"}), 10000);
    QTest::qWait(200);
    QVERIFY(!QFile::exists(dir_.filePath("opened")));
    service.unregisterService(mv::kFileManagerService);
    QDBusConnection::disconnectFromBus("fake-file-manager");
  }
};

QTEST_MAIN(ListMenuTest)
#include "ListMenuTest.moc"
