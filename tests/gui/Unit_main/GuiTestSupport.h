// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the window's tests: readable failure output for byte strings, and a capture of what
// the error box and the information box would show.

#include <QTest>
#include <string>
#include <vector>

#include "dialogs/ErrorBox.h"
#include "dialogs/MessageBox.h"

namespace QTest {
template <>
inline char* toString(const std::string& text) {
  return qstrdup(QByteArray::fromStdString('"' + text + '"').constData());
}
template <>
inline char* toString(const std::vector<std::string>& texts) {
  std::string all = "{";
  for (const std::string& text : texts) all += (all.size() > 1 ? ", \"" : "\"") + text + '"';
  return qstrdup(QByteArray::fromStdString(all + "}").constData());
}
}  // namespace QTest

namespace mv::testing {

// The texts the error box was given while this object lives, in order.
struct TErrorLog {
  std::vector<std::string> texts;
  TErrorLog() {
    SetErrorBoxCapture(
        [this](const std::string&, const std::string& text) { texts.push_back(text); });
  }
  ~TErrorLog() { SetErrorBoxCapture({}); }
  TErrorLog(const TErrorLog&) = delete;
  TErrorLog& operator=(const TErrorLog&) = delete;
};

// The texts ShowInfoMessage was given while this object lives, in order.
struct TInfoLog {
  std::vector<std::string> texts;
  std::vector<std::string> captions;
  TInfoLog() {
    SetInfoMessageCapture([this](const std::string& caption, const std::string& text) {
      captions.push_back(caption);
      texts.push_back(text);
    });
  }
  ~TInfoLog() { SetInfoMessageCapture({}); }
  TInfoLog(const TInfoLog&) = delete;
  TInfoLog& operator=(const TInfoLog&) = delete;
};

}  // namespace mv::testing
