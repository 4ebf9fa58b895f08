// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper for ListBox1 on Windows (run through win32_list_bench.sh, which prints the
// table): a shown system list box of the window's style, through TListBox (the LB_ messages).
//
//   win32_list_bench N [EVENTS]   fills the list with N entries and times: one watcher event
//   (duplicate
//                        test + LB_ADDSTRING + the message loop's turn) at N entries against a
//                        short list; reading every entry (LB_GETTEXTLEN/LB_GETTEXT, as the
//                        sweep's first copy does); the sweep's removal of 1 % scattered entries
//                        with redrawing off around the batch (DeleteMany) and one by one with it
//                        on (Delete); the selection queries of the save command.
//
// Prints "key=value" lines; times in milliseconds (per-event figures in microseconds).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Unit_main/ListBox.h"
#include "Unit_main/Win32Dispatcher.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Entry(int i) {
  return "C:\\Users\\user\\Downloads\\folder" + std::to_string(i % 97) + "\\track" +
         std::to_string(i) + ".mp3";
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  UpdateWindow(GetActiveWindow());
}

struct TWindow {
  HWND frame;
  HWND list;
};

TWindow MakeWindow() {
  const HWND frame =
      CreateWindowExA(0, "STATIC", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 480,
                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  const HWND list = CreateWindowExA(0, "LISTBOX", "", mv::TListBox::kStyle, 1, 1, 686, 305, frame,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
  SendMessageA(list, LB_SETITEMHEIGHT, 0, 16);
  return {frame, list};
}

double EventMicros(mv::TListBox& list, int first, int events) {
  const auto start = Clock::now();
  for (int i = 0; i < events; ++i) {
    const std::string name = Entry(first + i);
    if (!list.ContainsNoCase(name)) list.Add(name);
    Pump();
  }
  return MsSince(start) * 1000.0 / events;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: win32_list_bench N [EVENTS]\n");
    return 2;
  }
  const int n = std::atoi(argv[1]);
  const int kEvents = argc == 3 ? std::atoi(argv[2]) : 1000;
  mv::TWin32Dispatcher dispatcher;

  // Each case twice: redrawing as the list box does by itself ("plain"), and switched off
  // for a burst of appends until the dispatcher's next turn ("deferred", the window's way).
  for (const bool deferred : {false, true}) {
    const char* mode = deferred ? "deferred" : "plain";
    TWindow small = MakeWindow();
    mv::TListBox shortList(small.list, deferred ? &dispatcher : nullptr);
    for (int i = 0; i < 10; ++i) shortList.Add(Entry(1000000 + i));
    Pump();
    std::printf("event_small_us_%s=%.1f\n", mode, EventMicros(shortList, 2000000, kEvents));
    DestroyWindow(small.frame);
  }
  TWindow plain = MakeWindow();
  mv::TListBox plainList(plain.list);
  auto start = Clock::now();
  for (int i = 0; i < n; ++i) plainList.Add(Entry(i));
  Pump();
  std::printf("fill_ms_plain=%.1f\n", MsSince(start));
  std::printf("event_at_n_us_plain=%.1f\n", EventMicros(plainList, n, kEvents));
  DestroyWindow(plain.frame);

  TWindow big = MakeWindow();
  mv::TListBox list(big.list, &dispatcher);
  start = Clock::now();
  for (int i = 0; i < n; ++i) list.Add(Entry(i));
  Pump();
  std::printf("fill_ms_deferred=%.1f\n", MsSince(start));
  std::printf("event_at_n_us_deferred=%.1f\n", EventMicros(list, n, kEvents));

  start = Clock::now();
  std::size_t bytes = 0;
  for (int i = 0; i < list.Count(); ++i) bytes += list.Get(i).size();
  std::printf("read_all_ms=%.1f\n", MsSince(start));

  // 1 % of the entries, scattered, last to first, as the sweep hands them over.
  std::vector<int> gone;
  for (int i = list.Count() - 1; i >= 0; i -= 100) gone.push_back(i);
  start = Clock::now();
  list.DeleteMany(gone);
  Pump();
  std::printf("sweep_batch_ms=%.1f\n", MsSince(start));
  gone.clear();
  for (int i = list.Count() - 1; i >= 0; i -= 100) gone.push_back(i);
  start = Clock::now();
  for (int index : gone) {
    list.Delete(index);
    Pump();
  }
  std::printf("sweep_one_by_one_ms=%.1f\n", MsSince(start));
  std::printf("removed=%zu\n", gone.size());

  for (int i = 0; i < list.Count(); i += 3) SendMessageA(big.list, LB_SETSEL, TRUE, i);
  start = Clock::now();
  int selected = 0;
  if (list.SelCount() >= 2)
    for (int i = 0; i < list.Count(); ++i) selected += list.Selected(i) ? 1 : 0;
  std::printf("selection_ms=%.1f\n", MsSince(start));
  std::printf("count=%d selected=%d bytes=%zu\n", list.Count(), selected, bytes);
  DestroyWindow(big.frame);
  return 0;
}
