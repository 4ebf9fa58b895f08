// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program speaks Chinese whatever the user's locale: Qt's standard texts (dialog buttons,
// the file dialog) and the media library's error texts, where their catalogues are installed.
// File names keep the user's encoding: only the message category changes.

class QCoreApplication;

namespace mv {

// Asks gettext for Chinese catalogues in this process. Call first in main(), before any thread
// starts, since it sets the environment. Programs started through ShellOpen get the user's own
// value.
void PreferChineseMessages();

// Completes PreferChineseMessages once the application object exists (which resets the C
// locale's categories) and installs Qt's Chinese catalogue "qtbase_zh_CN". False when that
// catalogue is not installed; Qt's texts then stay English.
bool UseChineseTexts(QCoreApplication& app);

}  // namespace mv
