// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper for ListBox1 on Windows (run through win32_list_bench.sh, which makes the
// files and prints the table): a shown system list box of the window's style, through
// TListBox (the LB_ messages), with the window's dispatcher.
//
//   win32_list_bench N DIR [EVENTS]
//
// DIR holds folder0 .. folder999, with trackI.mp3 in folderK for every I < N, K = I % 1000 (a
// hundred files a folder at 100,000: Wine reads a whole folder to find one name in it). Times:
// one watcher event (duplicate test + LB_ADDSTRING + the message loop's turn) on a short list
// and at N entries; appending N entries in one burst; reading every entry; finding entries by
// their folded name; the save command's selection queries; and the download list's sweep of
// all N with every file there, with folder0 .. folder99 renamed away (a tenth gone, scattered),
// and with DIR renamed away (all gone). All get their names back at the end.
//
// Prints "key=value" lines; times in milliseconds (per-call figures in microseconds).
#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Unit_main/ListBox.h"
#include "Unit_main/Win32Dispatcher.h"
#include "commands/DownloadList.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double MsSince(Clock::time_point start) { return Ms(Clock::now() - start); }

// Times every task it runs, as the window's message loop would run them.
class TTimingDispatcher final : public mv::IMainThreadDispatcher {
 public:
  explicit TTimingDispatcher(mv::IMainThreadDispatcher& inner) : inner_(inner) {}
  void Post(std::function<void()> task) override {
    inner_.Post([this, task = std::move(task)] {
      const auto start = Clock::now();
      task();
      Record(Clock::now() - start);
    });
  }
  void Record(Clock::duration d) {
    if (d > longest) longest = d;
    total += d;
    ++tasks;
  }
  void Reset() {
    longest = total = {};
    tasks = 0;
  }

  Clock::duration longest{}, total{};
  long tasks = 0;

 private:
  mv::IMainThreadDispatcher& inner_;
};

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Runs the message loop until done holds, waiting for messages in between.
void PumpUntil(const std::function<bool()>& done) {
  while (!done()) {
    MSG msg;
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
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

std::string FakeEntry(int i) {
  return "C:\\Downloads\\elsewhere\\track" + std::to_string(i) + ".mp3";
}

double EventMicros(mv::TListBox& list, int first, int events) {
  const auto start = Clock::now();
  for (int i = 0; i < events; ++i) {
    const std::string name = FakeEntry(first + i);
    if (!list.ContainsNoCase(name)) list.Add(name);
    Pump();
    UpdateWindow(GetParent(list.Handle()));
  }
  return MsSince(start) * 1000.0 / events;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: win32_list_bench N DIR [EVENTS]\n");
    return 2;
  }
  const int n = std::atoi(argv[1]);
  std::string dir = argv[2];
  if (dir.back() == '\\') dir.pop_back();
  const int events = argc == 4 ? std::atoi(argv[3]) : 1000;
  constexpr int kFolders = 1000;
  auto folder = [&dir](int k) { return dir + "\\folder" + std::to_string(k); };
  auto path = [&folder](int i) {
    return folder(i % kFolders) + "\\track" + std::to_string(i) + ".mp3";
  };
  mv::TWin32Dispatcher windowLoop;
  TTimingDispatcher dispatcher(windowLoop);

  {
    TWindow small = MakeWindow();
    mv::TListBox shortList(small.list, &dispatcher);
    for (int i = 0; i < 10; ++i) shortList.Add(FakeEntry(1000000 + i));
    Pump();
    std::printf("event_small_us=%.1f\n", EventMicros(shortList, 2000000, events));
    DestroyWindow(small.frame);
  }

  TWindow big = MakeWindow();
  mv::TListBox list(big.list, &dispatcher);
  auto start = Clock::now();
  for (int i = 0; i < n; ++i) list.Add(path(i));
  Pump();
  UpdateWindow(big.frame);
  std::printf("fill_ms=%.1f\n", MsSince(start));

  std::printf("event_at_n_us=%.1f\n", EventMicros(list, 3000000, events));
  std::vector<int> extra;
  for (int i = list.Count() - 1; i >= n; --i) extra.push_back(i);
  list.DeleteMany(extra);
  Pump();

  start = Clock::now();
  std::size_t bytes = 0;
  for (int i = 0; i < list.Count(); ++i) bytes += list.Get(i).size();
  std::printf("read_all_ms=%.1f\n", MsSince(start));

  // Names spread over the list, in other letter case: the sweep's look-ups of names that may
  // have gone, and of entries that moved.
  constexpr int kLookups = 20;
  start = Clock::now();
  int found = 0;
  for (int k = 0; k < kLookups; ++k) {
    std::string name = path(static_cast<int>(static_cast<long long>(n) * k / kLookups));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    found += list.IndexOfNoCase(name) >= 0 ? 1 : 0;
  }
  std::printf("lookup_us=%.1f\n", MsSince(start) * 1000.0 / kLookups);

  for (int i = 0; i < list.Count(); i += 3) SendMessageA(big.list, LB_SETSEL, TRUE, i);
  start = Clock::now();
  int selected = 0;
  if (list.SelCount() >= 2)
    for (int i = 0; i < list.Count(); ++i) selected += list.Selected(i) ? 1 : 0;
  std::printf("selection_ms=%.1f\n", MsSince(start));
  std::printf("count=%d found=%d selected=%d bytes=%zu\n", list.Count(), found, selected, bytes);

  mv::TDownloadList downloads(
      list, dispatcher, [] { return std::string("*.mp3"); }, [] { return false; });
  auto sweep = [&](const char* label) {
    const int before = list.Count();
    dispatcher.Reset();
    const auto begin = Clock::now();
    downloads.Sweep();
    PumpUntil([&] { return !downloads.SweepRunning(); });
    UpdateWindow(big.frame);
    std::printf("%s_ms=%.1f\n", label, MsSince(begin));
    std::printf("%s_main_ms=%.1f\n", label, Ms(dispatcher.total));
    std::printf("%s_longest_task_ms=%.1f\n", label, Ms(dispatcher.longest));
    std::printf("%s_removed=%d\n", label, before - list.Count());
  };
  sweep("sweep_all_there");
  bool moved = true;
  for (int k = 0; k < kFolders / 10; ++k)
    moved = MoveFileA(folder(k).c_str(), (folder(k) + ".away").c_str()) != 0 && moved;
  sweep("sweep_tenth_gone");
  const std::string away = dir + ".away";
  moved = MoveFileA(dir.c_str(), away.c_str()) != 0 && moved;
  sweep("sweep_all_gone");
  MoveFileA(away.c_str(), dir.c_str());
  for (int k = 0; k < kFolders / 10; ++k)
    MoveFileA((folder(k) + ".away").c_str(), folder(k).c_str());
  DestroyWindow(big.frame);
  if (!moved) {
    std::fprintf(stderr, "could not rename the folders away\n");
    return 1;
  }
  return 0;
}
