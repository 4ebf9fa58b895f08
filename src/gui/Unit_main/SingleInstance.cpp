// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/SingleInstance.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QThread>

namespace mv {
namespace {

constexpr char kRaise[] = "raise\n";
constexpr char kRaised[] = "raised\n";

// A file-name part from any text: letters, digits, "." and "-" kept, the rest "_".
QString FileNamePart(const QString& text) {
  QString out;
  for (QChar c : text) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
    out += plain ? c : QChar(u'_');
  }
  return out;
}

}  // namespace

TSingleInstance::TSingleInstance(const QString& dir, const QString& key)
    : socketPath_(dir + QStringLiteral("/melvigil-") + FileNamePart(key) +
                  QStringLiteral(".socket")),
      lock_(dir + QStringLiteral("/melvigil-") + FileNamePart(key) + QStringLiteral(".lock")) {
  // The lock lives as long as the program; a dead holder is recognised by its process id.
  lock_.setStaleLockTime(0);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, &TSingleInstance::OnConnection);
}

bool TSingleInstance::Claim() {
  if (!lock_.tryLock(0)) return false;
  // Whoever held the lock before us is gone; so is any listener on its socket.
  QLocalServer::removeServer(socketPath_);
  // Without the socket the window still runs; it only cannot be raised by a second start.
  server_.listen(socketPath_);
  return true;
}

bool TSingleInstance::RaiseFirst(int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  // The first instance takes the lock before it listens: keep knocking while it starts.
  while (true) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
      socket.write(kRaise);
      QByteArray answer;
      while (!answer.endsWith('\n') && !deadline.hasExpired() &&
             (socket.bytesAvailable() > 0 ||
              socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))) {
        answer += socket.readAll();
      }
      return answer == kRaised;
    }
    if (deadline.hasExpired()) return false;
    QThread::msleep(50);
  }
}

void TSingleInstance::OnConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) return;
      if (socket->readLine() == kRaise) {
        emit RaiseRequested();
        socket->write(kRaised);
        socket->flush();
      }
      socket->disconnectFromServer();
    });
  }
}

QString TSingleInstance::DisplayKey() {
  const QString platform = QGuiApplication::platformName();
  QString display =
      qEnvironmentVariable(platform == QLatin1String("wayland") ? "WAYLAND_DISPLAY" : "DISPLAY");
  // ":0" and ":0.0" are one display.
  const qsizetype colon = display.lastIndexOf(u':');
  const qsizetype dot = display.lastIndexOf(u'.');
  if (colon >= 0 && dot > colon) display.truncate(dot);
  return platform + QLatin1Char('-') + display;
}

}  // namespace mv
