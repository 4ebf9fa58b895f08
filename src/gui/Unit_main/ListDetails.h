// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ListBox1's tooltip: the hovered entry's details. What is known shows at once; the tooltip is
// redrawn when the provider hands over more while the pointer is still on that row. Entries are
// read only when hovered, so listing costs nothing.

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <memory>
#include <string>

#include "Unit_main/ListBox.h"
#include "media/Details.h"
#include "utility/Dispatcher.h"

namespace mv {

class TListDetails final : public QObject {
 public:
  // dispatcher runs on this thread and outlives this object; reader: null takes the platform's.
  TListDetails(TListBox& list, IMainThreadDispatcher& dispatcher,
               std::unique_ptr<IDetailsReader> reader = nullptr);
  ~TListDetails() override;

  TDetailsProvider& Provider() { return *provider_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Arrived(const std::string& path, const TMediaDetails& details);
  void Show(const TMediaDetails& details);

  TListBox& list_;
  std::string path_;  // the entry whose tooltip is up
  QRect rect_;        // its row, in the viewport's coordinates
  QPoint globalPos_;
  QString shown_;  // the text shown, to tell our tooltip from any other
  // Last: gone first, so that no answer arrives for a half-destroyed object.
  std::unique_ptr<TDetailsProvider> provider_;
};

}  // namespace mv
