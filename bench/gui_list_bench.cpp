// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper for the window's list (run through gui_list_bench.sh, which prints the table).
//
//   gui_list_bench N    fills a shown ListBox1-like list with N entries and times what the
//                       window does with it: one watcher event (duplicate test + append) at N
//                       entries against the same on a short list, a repaint after scrolling, the
//                       sweep's batch removal of scattered and of adjacent entries, and the
//                       selection queries of the save command.
//
// Prints "key=value" lines; times in milliseconds (per-event figures in microseconds).
#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Unit_main/ListBox.h"

namespace {

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

std::string Entry(int i) {
  return "/home/user/Downloads/folder" + std::to_string(i % 97) + "/track" + std::to_string(i) +
         ".mp3";
}

void Settle() {
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

// Average cost of one watcher event that lists a new file: the duplicate test, then the append,
// then the event loop's turn (layout and paint of what changed).
double EventMicros(mv::TListBox& list, int first, int events) {
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < events; ++i) {
    const std::string name = Entry(first + i);
    if (!list.ContainsNoCase(name)) list.Add(name);
    QCoreApplication::processEvents();
  }
  return static_cast<double>(t.nsecsElapsed()) / 1e3 / events;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gui_list_bench N\n");
    return 2;
  }
  const int n = std::atoi(argv[1]);
  QApplication app(argc, argv);
  constexpr int kEvents = 2000;

  // The per-event cost on a short list, for comparison.
  {
    mv::TListBox small;
    small.resize(686, 305);
    small.show();
    Settle();
    std::printf("event_small_us=%.1f\n", EventMicros(small, 0, kEvents));
  }

  mv::TListBox list;
  list.resize(686, 305);
  list.show();
  Settle();

  QElapsedTimer t;
  t.start();
  for (int i = 0; i < n; ++i) list.Add(Entry(i));
  std::printf("fill_ms=%.1f\n", Ms(t));
  t.restart();
  Settle();
  std::printf("first_layout_ms=%.1f\n", Ms(t));

  std::printf("event_at_n_us=%.1f\n", EventMicros(list, n, kEvents));
  // A file already listed: the duplicate test alone.
  t.restart();
  int found = 0;
  for (int i = 0; i < kEvents; ++i) found += list.ContainsNoCase(Entry(i * 37 % n)) ? 1 : 0;
  std::printf("duplicate_test_us=%.2f\nduplicates_found=%d\n",
              static_cast<double>(t.nsecsElapsed()) / 1e3 / kEvents, found);

  t.restart();
  list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum() / 2);
  list.viewport()->repaint();
  std::printf("scroll_repaint_ms=%.2f\n", Ms(t));

  // The save command's queries over a large selection.
  list.selectionModel()->select(
      QItemSelection(list.model()->index(0, 0), list.model()->index(list.Count() / 2, 0)),
      QItemSelectionModel::Select);
  t.restart();
  const int selCount = list.SelCount();
  int selected = 0;
  for (int i = 0; i < list.Count(); ++i) selected += list.Selected(i) ? 1 : 0;
  std::printf("selection_queries_ms=%.1f\nselected=%d/%d\n", Ms(t), selected, selCount);
  list.selectionModel()->clearSelection();

  // The sweep removes a tenth of the entries, scattered, in one batch ...
  std::vector<int> gone;
  for (int i = list.Count() - 1; i >= 0; i -= 10) gone.push_back(i);
  const int before = list.Count();
  t.restart();
  list.DeleteMany(gone);
  Settle();
  std::printf("remove_scattered_ms=%.1f\nremoved_scattered=%d\n", Ms(t), before - list.Count());

  // ... or a thousand adjacent ones (a deleted folder).
  gone.clear();
  for (int i = 6000; i > 5000; --i) gone.push_back(i);
  t.restart();
  list.DeleteMany(gone);
  Settle();
  std::printf("remove_adjacent_ms=%.1f\n", Ms(t));

  // One entry at the top, as the sweep would remove a single vanished file.
  t.restart();
  list.Delete(0);
  Settle();
  std::printf("remove_one_ms=%.2f\nfinal_count=%d\n", Ms(t), list.Count());
  return 0;
}
