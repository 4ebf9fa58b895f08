// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SaveDialog.h"

#include <QEvent>
#include <QFileDialog>
#include <QStringList>

#include "dialogs/FormLoader.h"
#include "dialogs/LocalNames.h"
#include "dialogs/ModalRun.h"

namespace mv {
namespace {

// "Description|pattern;pattern|..." as the dialog lists it: "Description (pattern pattern)".
// The classic pattern "*.*" means every file, but as a Qt wildcard it only matches names that
// contain a dot, so it becomes "*". A description without its pattern is dropped.
QStringList NameFilters(const std::string& filter) {
  QStringList result;
  const QStringList parts = QString::fromUtf8(filter).split(u'|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& raw : parts[i + 1].split(u';')) {
      const QString pattern = raw.trimmed();
      if (!pattern.isEmpty())
        patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
    }
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    result << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
  }
  return result;
}

// Centres a dialog on its screen once it has its final size, just before it appears.
class CentreOnShow : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
      CentreOnScreen(*static_cast<QWidget*>(watched));
    }
    return false;
  }
};

}  // namespace

bool TSaveDialog::Execute(QWidget* owner) {
  // Qt's own dialog rather than the desktop's, so that it behaves the same everywhere and tests
  // can drive it. There is no read-only check box to hide, and the dialog is always sizable.
  QFileDialog dialog(owner);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, (Options & ofOverwritePrompt) == 0);
  dialog.setSizeGripEnabled((Options & ofEnableSizing) != 0);
  dialog.setWindowModality(Qt::ApplicationModal);
  // No default suffix: the name is saved exactly as typed.
  dialog.setDefaultSuffix(QString());

  const QStringList qtFilters = NameFilters(Filter);
  if (!qtFilters.isEmpty()) {
    dialog.setNameFilters(qtFilters);
    dialog.selectNameFilter(qtFilters.front());
  }

  // A folder in FileName is where the dialog starts; the rest is the proposed name.
  std::string::size_type slash = FileName.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : FileName.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
  std::string fullFolder = detail::FullPath(folder);
  dialog.setDirectory(detail::ToDisplay(fullFolder));
  dialog.selectFile(detail::ToDisplay(name));

  CentreOnShow centre;
  dialog.installEventFilter(&centre);
  if (detail::RunModal(dialog) != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;

  // Bytes the user did not edit are kept as they were, even where they are not valid text.
  std::string proposed = fullFolder == "/" ? "/" + name : fullFolder + "/" + name;
  FileName = chosen.front() == detail::ToDisplay(proposed) ? proposed
                                                           : detail::ToLocalPath(chosen.front());
  return true;
}

}  // namespace mv
