// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListMenu.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <algorithm>
#include <utility>

#include "Unit_main/Guarded.h"
#include "Unit_main/ListBox.h"
#include "dialogs/MessageBox.h"
#include "utility/FileUrl.h"
#include "utility/ShellOpen.h"

namespace mv {
namespace {

// The file: URLs of paths, leaving out those that cannot be told as one.
QList<QByteArray> FileUrls(const std::vector<std::string>& paths) {
  QList<QByteArray> urls;
  for (const std::string& path : paths) {
    if (std::string url = FileUrl(path); !url.empty()) urls << QByteArray::fromStdString(url);
  }
  return urls;
}

}  // namespace

// --- the menu -------------------------------------------------------------------------------

TListMenu::TListMenu(TListBox& list, std::function<void()> play)
    : QObject(&list), list_(list), play_(std::move(play)) {
  // The model offers its rows as files and copying as the only action, so a drop can never
  // move or delete the user's file.
  list_.setDragEnabled(true);
  list_.setDragDropMode(QAbstractItemView::DragOnly);
  list_.setDefaultDropAction(Qt::CopyAction);
  // Both the right button and the Menu key arrive as this request.
  list_.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&list_, &QWidget::customContextMenuRequested, this,
          Guarded([this](const QPoint& pos) { Popup(pos); }));
}

QMenu* TListMenu::MakeMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  for (const TEntryMenuItem& item : EntryMenu(list_)) {
    QAction* action = menu->addAction(QString::fromUtf8(item.caption));
    action->setEnabled(item.enabled);
    const TEntryAction which = item.action;
    connect(action, &QAction::triggered, this,
            Guarded([this, which] { RunEntryAction(which, list_, *this); }));
  }
  return menu;
}

void TListMenu::Popup(const QPoint& viewportPos) {
  QMenu* menu = MakeMenu(&list_);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  // A scroll area reports the request in its viewport's coordinates.
  menu->popup(list_.viewport()->mapToGlobal(viewportPos));
}

void TListMenu::PlayCurrent() {
  if (play_) play_();
}

bool TListMenu::ShowInFileManager(const std::vector<std::string>& paths) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QStringList uris;
  for (const QByteArray& url : FileUrls(paths)) uris << QString::fromLatin1(url);
  if (uris.isEmpty()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kFileManagerService), QString::fromLatin1(kFileManagerPath),
      QString::fromLatin1(kFileManagerService), "ShowItems");
  call << uris << QString();
  // The window never waits for the file manager to start; no answer means no file manager.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          Guarded([this, paths](QDBusPendingCallWatcher* done) {
            done->deleteLater();
            if (done->isError()) OpenFoldersOf(paths, *this);
          }));
  return true;
}

bool TListMenu::OpenFolder(const std::string& folder) { return ShellOpen(folder, ""); }

void TListMenu::SetClipboard(const std::vector<std::string>& paths) {
  QGuiApplication::clipboard()->setText(QString::fromLocal8Bit(JoinLines(paths, "\n")));
}

void TListMenu::ShowNotice(const std::string& text) { ShowInfoMessage(text); }

// --- dragging out -----------------------------------------------------------------------------

Qt::ItemFlags TListBoxModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractListModel::flags(index);
  if (index.isValid()) flags |= Qt::ItemIsDragEnabled;
  return flags;
}

QStringList TListBoxModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* TListBoxModel::mimeData(const QModelIndexList& indexes) const {
  std::vector<int> rows;
  for (const QModelIndex& index : indexes) {
    if (index.isValid() && index.row() < rowCount()) rows.push_back(index.row());
  }
  // In list order, whatever order the selection was made in.
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  // text/uri-list: one file: URL per line (CR LF after each), every byte of a name that is not
  // plain ASCII percent-encoded.
  std::vector<std::string> paths;
  for (const int row : rows) paths.push_back(items_[static_cast<std::size_t>(row)]);
  QByteArray uris;
  for (const QByteArray& url : FileUrls(paths)) uris += url + "\r\n";
  auto* data = new QMimeData;
  // Set as bytes: QUrl would decode the percent-encoded bytes of a name that is not UTF-8.
  data->setData(QStringLiteral("text/uri-list"), uris);
  return data;
}

Qt::DropActions TListBoxModel::supportedDragActions() const { return Qt::CopyAction; }

}  // namespace mv
