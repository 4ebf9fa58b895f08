// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "utility/ShellOpen.h"

namespace mv {

// Only for this process: the browser and file manager the link and the list's menu start keep
// the user's language.
void PreferChineseMessages() { SetOwnEnvironment("LANGUAGE", "zh_CN"); }

bool UseChineseTexts(QCoreApplication& app) {
  // gettext ignores LANGUAGE while the message category is the plain "C" locale. C.UTF-8 is
  // always present and changes nothing else; a real locale of the user's stays as it is.
  const char* messages = std::setlocale(LC_MESSAGES, nullptr);
  if (messages == nullptr || std::strcmp(messages, "C") == 0 ||
      std::strcmp(messages, "POSIX") == 0) {
    std::setlocale(LC_MESSAGES, "C.UTF-8");
  }

  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace mv
