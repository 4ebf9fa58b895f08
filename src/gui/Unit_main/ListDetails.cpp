// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListDetails.h"

#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>

#include "Unit_main/Guarded.h"

namespace mv {

TListDetails::TListDetails(TListBox& list, IMainThreadDispatcher& dispatcher,
                           std::unique_ptr<IDetailsReader> reader)
    : list_(list), provider_(std::make_unique<TDetailsProvider>(dispatcher, std::move(reader))) {
  list_.viewport()->installEventFilter(this);
}

TListDetails::~TListDetails() = default;

bool TListDetails::eventFilter(QObject* watched, QEvent* event) {
  if (watched != list_.viewport()) return QObject::eventFilter(watched, event);
  // The tooltip comes only after the pointer has rested a while: time enough for the reader to
  // get ready, so that even the first tooltip is quick.
  if (event->type() == QEvent::Enter && list_.Count() > 0)
    RunGuarded([&] { provider_->Prepare(); });
  if (event->type() != QEvent::ToolTip) return QObject::eventFilter(watched, event);
  RunGuarded([&] {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = list_.indexAt(help->pos());
    if (!index.isValid()) {
      path_.clear();
      QToolTip::hideText();
      return;
    }
    path_ = list_.Get(index.row());
    rect_ = list_.visualRect(index);
    globalPos_ = help->globalPos();
    Show(provider_->Request(
        path_, [this, path = path_](const TMediaDetails& details) { Arrived(path, details); }));
  });
  return true;
}

void TListDetails::Arrived(const std::string& path, const TMediaDetails& details) {
  // The tooltip hides itself once the pointer leaves the row it was shown for.
  if (path != path_ || !QToolTip::isVisible() || QToolTip::text() != shown_) return;
  // Rows move when entries above them go.
  const QModelIndex index = list_.indexAt(rect_.center());
  if (!index.isValid() || list_.Get(index.row()) != path) return;
  Show(details);
}

void TListDetails::Show(const TMediaDetails& details) {
  // Tags are the file's text: markup in a title must show as typed. Long titles may wrap.
  const QString text =
      Qt::convertFromPlainText(QString::fromUtf8(DetailsText(details)), Qt::WhiteSpaceNormal);
  if (text == shown_ && QToolTip::isVisible()) return;
  shown_ = text;
  QToolTip::showText(globalPos_, shown_, list_.viewport(), rect_);
}

}  // namespace mv
