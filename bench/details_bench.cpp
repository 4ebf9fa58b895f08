// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper for the list's details (run through details_bench.sh, which prints the
// table).
//
//   details_bench ROUNDS DIR [enter]
//
// Lists every file in DIR in a shown ListBox1-like list with its details tooltip attached, scrolls
// through it and counts the readings started: listing must start none. Then hovers ROUNDS
// distinct rows, one after the other, and measures from the hover to the tooltip showing the
// row's details (its title); no row is read twice, so nothing comes from the cache. The first
// hover also loads GStreamer's plug-ins and is reported apart. With "enter", the pointer first
// enters the list and rests there for the style's tooltip delay, as before any real tooltip.
//
// Prints "key=value" lines; times in milliseconds.
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Unit_main/ListBox.h"
#include "Unit_main/ListDetails.h"
#include "Unit_main/QtDispatcher.h"

namespace {

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

// Runs the event loop until pred() holds; false after timeoutMs.
template <class Pred>
bool RunUntil(Pred pred, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!pred()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

// Hovers row and returns the time until its details show; -1 when they never do. shownMs gets
// the time until the tooltip showed what was known at once.
double HoverMs(mv::TListBox& list, int row, double& shownMs) {
  list.scrollTo(list.ListModel()->index(row));
  QCoreApplication::processEvents();
  const QPoint pos = list.visualRect(list.ListModel()->index(row)).center();
  QElapsedTimer t;
  t.start();
  QHelpEvent event(QEvent::ToolTip, pos, list.viewport()->mapToGlobal(pos));
  QCoreApplication::sendEvent(list.viewport(), &event);
  shownMs = Ms(t);
  // A row not read before shows what is known at once, without a title.
  if (QToolTip::text().contains(QString::fromUtf8("标题"))) return -1;
  if (!RunUntil([] { return QToolTip::text().contains(QString::fromUtf8("标题")); }, 5000))
    return -1;
  return Ms(t);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: details_bench ROUNDS DIR\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  QApplication app(argc, argv);
  // Keeps the loop waking while a reading is under way, so a deadline is noticed.
  QTimer tick;
  tick.start(50);

  mv::TQtDispatcher dispatcher;
  mv::TListBox list;
  list.resize(600, 400);
  list.show();
  list.activateWindow();
  // Activation hides any tooltip: let it happen before hovering.
  RunUntil([&] { return list.isActiveWindow(); }, 2000);
  mv::TListDetails details(list, dispatcher);

  QElapsedTimer t;
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(argv[2]))
    files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  t.start();
  for (const std::string& file : files) list.Add(file);
  QCoreApplication::processEvents();
  list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum() / 2);
  QCoreApplication::processEvents();
  list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
  QCoreApplication::processEvents();
  std::printf("listed=%d\nlist_ms=%.1f\ndiscoveries_after_listing=%llu\n", list.Count(), Ms(t),
              static_cast<unsigned long long>(details.Provider().DiscoveriesStarted()));

  if (argc > 3 && std::string(argv[3]) == "enter") {
    const QPointF at(list.viewport()->rect().center());
    QEnterEvent enter(at, at, list.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(list.viewport(), &enter);
    const int delay = list.style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay);
    RunUntil([] { return false; }, delay);
    std::printf("rest_ms=%d\n", delay);
  }

  // Rows spread over the list, each hovered once.
  const int count = list.Count();
  const int step = std::max(1, count / std::max(1, rounds + 1));
  std::vector<double> times;
  int failed = 0;
  for (int r = 0; r <= rounds && r * step < count; ++r) {
    double shownMs = 0;
    const double ms = HoverMs(list, r * step, shownMs);
    if (ms < 0) {
      ++failed;
    } else if (r == 0) {
      std::printf("cold_ms=%.1f\ncold_shown_ms=%.1f\n", ms, shownMs);
    } else {
      times.push_back(ms);
    }
  }
  std::printf("rounds=%zu\nfailed=%d\nmedian_ms=%.1f\np95_ms=%.1f\nmax_ms=%.1f\n", times.size(),
              failed, Percentile(times, 0.5), Percentile(times, 0.95),
              times.empty() ? -1.0 : *std::max_element(times.begin(), times.end()));
  std::printf("discoveries_after_hovers=%llu\n",
              static_cast<unsigned long long>(details.Provider().DiscoveriesStarted()));
  return 0;
}
