// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One window per user and display: the first start claims a lock and listens on a local socket
// in the user's runtime directory; a later start asks it to raise its window and ends.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace mv {

class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  // `dir`: a directory only this user can write; `key`: what makes two starts the same
  // program (the display), any text.
  TSingleInstance(const QString& dir, const QString& key);

  // True for the first instance, which from now on hears later starts. A lock or socket left by
  // an instance that died is taken over.
  bool Claim();
  // For a later instance: asks the first to raise its window. False when it has not answered
  // within `timeoutMs` (it may still be starting, or hang). Blocks; needs no event loop.
  bool RaiseFirst(int timeoutMs);

  // The current display, as the program tells two starts apart.
  static QString DisplayKey();

 signals:
  void RaiseRequested();

 private:
  void OnConnection();

  QString socketPath_;
  QLockFile lock_;
  QLocalServer server_;
};

}  // namespace mv
