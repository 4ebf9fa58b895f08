// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark helper for the list's details on Windows (run through win32_details_bench.sh,
// which makes the song and prints the table): the time from Request to the complete details
// of a local tagged MP3, read afresh and then answered from the cache.
//
//   win32_details_bench DIR ROUNDS
//
// DIR holds song0.mp3 .. song<ROUNDS-1>.mp3, names of one song (the cache goes by name, so
// each is read afresh once). Prints "key=value" lines; times in milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "media/Details.h"
#include "utility/Dispatcher.h"

namespace {

using Clock = std::chrono::steady_clock;

int atOnce = 0;  // requests answered complete by Request itself, from the cache

// The provider's answer once complete, and how long it took from the request.
double TimeRequest(mv::TDetailsProvider& provider, mv::TQueueDispatcher& dispatcher,
                   const std::string& path, mv::TMediaDetails& got) {
  const auto start = Clock::now();
  std::optional<mv::TMediaDetails> done;
  atOnce += provider
                .Request(path,
                         [&](const mv::TMediaDetails& d) {
                           if (d.complete) done = d;
                         })
                .complete;
  if (!dispatcher.RunUntil([&] { return done.has_value(); }, 10000)) {
    std::fprintf(stderr, "no answer for %s\n", path.c_str());
    std::exit(1);
  }
  got = *done;
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Print(const char* key, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%s_median=%.2f\n%s_max=%.2f\n", key, ms[ms.size() / 2], key, ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::atoi(argv[2]) < 1) {
    std::fprintf(stderr, "usage: win32_details_bench DIR ROUNDS\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int rounds = std::atoi(argv[2]);
  mv::TQueueDispatcher dispatcher;
  mv::TDetailsProvider provider(dispatcher);
  std::vector<double> first, cached;
  mv::TMediaDetails got;
  for (int i = 0; i < rounds; ++i) {
    const std::string path = dir + "\\song" + std::to_string(i) + ".mp3";
    first.push_back(TimeRequest(provider, dispatcher, path, got));
    cached.push_back(TimeRequest(provider, dispatcher, path, got));
  }
  // The very first request also starts the provider's worker.
  std::printf("very_first=%.2f\n", first.front());
  Print("first", first);
  Print("cached", cached);
  std::printf("at_once=%d\n", atOnce);
  std::printf("reads=%llu\n", static_cast<unsigned long long>(provider.DiscoveriesStarted()));
  std::printf("size=%llu\nduration_ms=%lld\ntitle=%s\nartist=%s\nalbum=%s\n",
              static_cast<unsigned long long>(got.size.value_or(0)),
              static_cast<long long>(got.durationMs.value_or(-1)), got.title.c_str(),
              got.artist.c_str(), got.album.c_str());
  return 0;
}
