// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the dialog tests: the seams reset whatever a test does, and a hook that records
// every dialog it sees.

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <utility>

#include "dialogs/DialogHooks.h"
#include "dialogs/ErrorBox.h"
#include "dialogs/MessageBox.h"

namespace mv::testsupport {

// Installs a live-dialog hook for one scope and counts the dialogs it saw.
class ScopedHook {
 public:
  explicit ScopedHook(std::function<void(QDialog*)> hook) : hook_(std::move(hook)) {
    mv::testing::SetLiveDialogHook([this](QDialog* d) {
      seen_.append(QPointer<QDialog>(d));
      if (hook_) hook_(d);
    });
  }
  ~ScopedHook() { mv::testing::SetLiveDialogHook({}); }
  ScopedHook(const ScopedHook&) = delete;
  ScopedHook& operator=(const ScopedHook&) = delete;

  int Count() const { return static_cast<int>(seen_.size()); }
  const QList<QPointer<QDialog>>& Seen() const { return seen_; }

 private:
  std::function<void(QDialog*)> hook_;
  QList<QPointer<QDialog>> seen_;
};

// Removes a tree at the end of a scope, also names that are not valid text (which QTemporaryDir
// cannot remove by itself).
class ScopedRemoveAll {
 public:
  explicit ScopedRemoveAll(std::string path) : path_(std::move(path)) {}
  ~ScopedRemoveAll() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScopedRemoveAll(const ScopedRemoveAll&) = delete;
  ScopedRemoveAll& operator=(const ScopedRemoveAll&) = delete;

 private:
  std::string path_;
};

}  // namespace mv::testsupport

// Failed comparisons of byte strings print their bytes.
template <>
inline char* QTest::toString(const std::string& s) {
  return QTest::toPrettyCString(s.data(), static_cast<qsizetype>(s.size()));
}
