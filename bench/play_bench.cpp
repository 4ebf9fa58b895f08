// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper for play latency (run through play_bench.sh, which prints the table).
//
//   play_bench ROUNDS LABEL=FILE...
//
// For each file, ROUNDS times, does what the window's play click does - Close (of whatever
// plays), set FileName, Open, Play - and measures from the start of the click to the moment
// the first audio buffer is rendered by the sink (fakesink, real-time, through its hand-off).
// Each round replaces the previous file while it still plays, as a second click does. The first
// round of the first file also pays for loading GStreamer's plug-ins; it is reported apart.
//
// Prints "key=value" lines: LABEL_cold_ms, LABEL_median_ms, LABEL_p95_ms, LABEL_max_ms,
// LABEL_open_median_ms (Close+Open alone) and LABEL_length_ms.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/MPlayer.h"
#include "utility/Dispatcher.h"
#include "utility/SysUtils.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The first render after Arm(), reported from the streaming thread.
class TFirstRender {
 public:
  void Arm() {
    std::lock_guard lock(mutex_);
    armed_ = true;
    seen_ = false;
  }
  void Rendered() {
    std::lock_guard lock(mutex_);
    if (!armed_ || seen_) return;
    seen_ = true;
    at_ = Clock::now();
    cv_.notify_all();
  }
  bool Wait(Clock::time_point& at) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::seconds(5), [&] { return seen_; })) return false;
    armed_ = false;
    at = at_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool armed_ = false;
  bool seen_ = false;
  Clock::time_point at_;
};

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const std::size_t i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: play_bench ROUNDS LABEL=FILE...\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  if (rounds < 2) {
    std::fprintf(stderr, "play_bench: ROUNDS must be at least 2\n");
    return 2;
  }

  auto firstRender = std::make_shared<TFirstRender>();
  mv::TDeviceOptions options;
  options.audioSink = "fakesink";
  options.onRender = [firstRender] { firstRender->Rendered(); };
  mv::TQueueDispatcher dispatcher;
  mv::TMediaPlayer player(dispatcher, mv::CreateMediaDevice(options));

  bool cold = true;
  for (int a = 2; a < argc; ++a) {
    const std::string arg = argv[a];
    const auto eq = arg.find('=');
    if (eq == std::string::npos) {
      std::fprintf(stderr, "play_bench: expected LABEL=FILE, got %s\n", arg.c_str());
      return 2;
    }
    const std::string label = arg.substr(0, eq);
    const std::string file = arg.substr(eq + 1);
    std::vector<double> total, open;
    std::int32_t length = 0;
    for (int r = 0; r < rounds; ++r) {
      const auto start = Clock::now();
      Clock::time_point opened, rendered;
      try {
        player.Close();
        firstRender->Arm();  // the closed pipeline renders no more
        player.SetFileName(file);
        player.Open();
        opened = Clock::now();
        player.Play();
      } catch (const mv::Exception& e) {
        std::fprintf(stderr, "play_bench: %s: %s\n", file.c_str(), e.what());
        return 1;
      }
      if (!firstRender->Wait(rendered)) {
        std::fprintf(stderr, "play_bench: %s: nothing rendered within 5 s\n", file.c_str());
        return 1;
      }
      length = player.Length();
      dispatcher.RunPending();  // notices of the replaced playback
      if (cold) {
        std::printf("cold_label=%s\ncold_ms=%.1f\n", label.c_str(), Ms(rendered - start));
        cold = false;
        continue;
      }
      total.push_back(Ms(rendered - start));
      open.push_back(Ms(opened - start));
    }
    std::printf("%s_median_ms=%.1f\n", label.c_str(), Percentile(total, 0.5));
    std::printf("%s_p95_ms=%.1f\n", label.c_str(), Percentile(total, 0.95));
    std::printf("%s_max_ms=%.1f\n", label.c_str(), *std::max_element(total.begin(), total.end()));
    std::printf("%s_open_median_ms=%.1f\n", label.c_str(), Percentile(open, 0.5));
    std::printf("%s_length_ms=%d\n", label.c_str(), static_cast<int>(length));
  }
  player.Close();
  return 0;
}
