// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Details.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mv {

namespace {

std::string SizeText(std::uint64_t size) {
  if (size < 1024) return std::to_string(size) + " 字节";
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(size) / 1024;
  std::size_t unit = 0;
  // 1023.96 KB would print as "1024.0 KB": the next unit takes over before rounding does.
  while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string DurationText(std::int64_t ms) {
  const std::int64_t seconds = std::max<std::int64_t>(ms, 0) / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

// A tag is the file's own text: a line break in it must not pass for a line of ours.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
  return text;
}

}  // namespace

std::string DetailsText(const TMediaDetails& d) {
  std::vector<std::string> lines;
  if (!d.title.empty()) lines.push_back("标题：" + OneLine(d.title));
  if (!d.artist.empty()) lines.push_back("艺术家：" + OneLine(d.artist));
  if (!d.album.empty()) lines.push_back("专辑：" + OneLine(d.album));
  if (d.durationMs) lines.push_back("时长：" + DurationText(*d.durationMs));
  if (d.size) lines.push_back("大小：" + SizeText(*d.size));
  if (d.file == TFileState::Present || !d.type.empty())
    lines.push_back("类型：" + (d.type.empty() ? std::string("未知") : d.type));
  // Why nothing more is known, by TFileState; a present file is still being read, or no audio.
  static constexpr const char* kWhy[] = {"正在读取…", "", "文件已不存在", "不是普通文件",
                                         "无法读取该文件"};
  const char* why = kWhy[static_cast<std::size_t>(d.file)];
  if (d.file == TFileState::Present)
    why = !d.complete ? kWhy[0] : d.media == TMediaKind::NotAudio ? "不是音频文件" : "";
  if (*why != '\0') lines.push_back(why);
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// --- the provider ---------------------------------------------------------------------------

struct TDetailsProvider::TState : std::enable_shared_from_this<TState> {
  struct TRequest {
    std::string path;
    std::vector<TDone> done;
  };
  struct TEntry {
    std::string path;
    TFileStamp stamp;
    TMediaDetails details;
  };

  TState(IMainThreadDispatcher& d, std::unique_ptr<IDetailsReader> r, TDetailsOptions o)
      : dispatcher(d), reader(std::move(r)), options(o) {}

  void Run();
  void Serve(TRequest& request);
  void Deliver(std::vector<TDone> done, const TMediaDetails& details);
  std::optional<TMediaDetails> Cached(const std::string& path, const TFileStamp& stamp);
  void Store(const std::string& path, const TFileStamp& stamp, const TMediaDetails& details);
  void Forget(const std::string& path);

  IMainThreadDispatcher& dispatcher;
  const std::unique_ptr<IDetailsReader> reader;
  const TDetailsOptions options;
  std::atomic<std::uint64_t> discoveries{0};
  std::atomic<std::uint64_t> dropped{0};

  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  bool prepareAsked = false;
  bool prepared = false;
  std::deque<TRequest> queue;  // newest first
  std::list<TEntry> cache;     // most recently used first
  std::unordered_map<std::string, std::list<TEntry>::iterator> cacheIndex;

  std::thread worker;
};

void TDetailsProvider::TState::Run() {
  for (;;) {
    TRequest request;
    bool prepare = false;
    {
      std::unique_lock lock(mutex);
      wake.wait(lock, [&] { return stopping || !queue.empty() || (prepareAsked && !prepared); });
      if (stopping) return;
      if (prepareAsked && !prepared) {
        prepare = prepared = true;
      } else {
        request = std::move(queue.front());
        queue.pop_front();
      }
    }
    // Nothing may end the worker early: the next hover would wait for good.
    try {
      if (prepare) {
        reader->Prepare();
      } else {
        Serve(request);
      }
    } catch (...) {
    }
  }
}

void TDetailsProvider::TState::Serve(TRequest& request) {
  TMediaDetails details;
  TFileStamp stamp;
  std::unique_ptr<IDetailsReader::TOpenFile> file;
  try {
    file = reader->Probe(request.path, details, stamp);
  } catch (...) {
    file.reset();
    if (details.file == TFileState::Pending || details.file == TFileState::Present)
      details.file = TFileState::Unreadable;
  }
  if (file == nullptr) {
    details.complete = true;
    Forget(request.path);
    Deliver(std::move(request.done), details);
    return;
  }
  if (auto cached = Cached(request.path, stamp)) {
    // Closed before the answer goes out: whoever acts on it may want the file to themselves.
    file.reset();
    Deliver(std::move(request.done), *cached);
    return;
  }
  Deliver(request.done, details);
  ++discoveries;
  try {
    reader->Discover(*file, details);
  } catch (...) {
    details.media = TMediaKind::Unknown;
  }
  file.reset();
  details.complete = true;
  // A failed or timed-out reading is tried again next time rather than remembered.
  if (details.media != TMediaKind::Unknown) {
    Store(request.path, stamp, details);
  } else {
    Forget(request.path);
  }
  Deliver(std::move(request.done), details);
}

void TDetailsProvider::TState::Deliver(std::vector<TDone> done, const TMediaDetails& details) {
  if (done.empty()) return;
  dispatcher.Post([alive = weak_from_this(), done = std::move(done), details] {
    if (alive.expired()) return;
    for (const TDone& f : done)
      if (f) f(details);
  });
}

std::optional<TMediaDetails> TDetailsProvider::TState::Cached(const std::string& path,
                                                              const TFileStamp& stamp) {
  std::lock_guard lock(mutex);
  const auto it = cacheIndex.find(path);
  if (it == cacheIndex.end() || !(it->second->stamp == stamp)) return std::nullopt;
  cache.splice(cache.begin(), cache, it->second);
  return it->second->details;
}

void TDetailsProvider::TState::Store(const std::string& path, const TFileStamp& stamp,
                                     const TMediaDetails& details) {
  std::lock_guard lock(mutex);
  if (options.cacheLimit == 0) return;
  if (const auto it = cacheIndex.find(path); it != cacheIndex.end()) {
    it->second->stamp = stamp;
    it->second->details = details;
    cache.splice(cache.begin(), cache, it->second);
    return;
  }
  cache.push_front(TEntry{path, stamp, details});
  cacheIndex.emplace(path, cache.begin());
  if (cache.size() > options.cacheLimit) {
    cacheIndex.erase(cache.back().path);
    cache.pop_back();
  }
}

void TDetailsProvider::TState::Forget(const std::string& path) {
  std::lock_guard lock(mutex);
  const auto it = cacheIndex.find(path);
  if (it == cacheIndex.end()) return;
  cache.erase(it->second);
  cacheIndex.erase(it);
}

TDetailsProvider::TDetailsProvider(IMainThreadDispatcher& dispatcher,
                                   std::unique_ptr<IDetailsReader> reader,
                                   TDetailsOptions options) {
  if (reader == nullptr) reader = CreateDetailsReader(options.timeout);
  options.queueLimit = std::max<std::size_t>(options.queueLimit, 1);
  state_ = std::make_shared<TState>(dispatcher, std::move(reader), options);
}

TDetailsProvider::~TDetailsProvider() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  if (state_->worker.joinable()) state_->worker.join();
}

// Started when first needed: a list nobody points at has no worker at all.
void TDetailsProvider::StartWorker() {
  if (!state_->worker.joinable())
    state_->worker = std::thread([state = state_.get()] { state->Run(); });
}

TMediaDetails TDetailsProvider::Request(const std::string& path, TDone done) {
  TMediaDetails known;
  std::vector<TDone> unserved;  // destroyed outside the lock: a callback may own anything
  {
    std::lock_guard lock(state_->mutex);
    if (const auto it = state_->cacheIndex.find(path); it != state_->cacheIndex.end())
      known = it->second->details;
    TState::TRequest request{path, {}};
    auto& queue = state_->queue;
    if (const auto it = std::find_if(queue.begin(), queue.end(),
                                     [&](const TState::TRequest& r) { return r.path == path; });
        it != queue.end()) {
      request.done = std::move(it->done);
      queue.erase(it);
    }
    if (done) request.done.push_back(std::move(done));
    StartWorker();
    queue.push_front(std::move(request));
    if (queue.size() > state_->options.queueLimit) {
      unserved = std::move(queue.back().done);
      queue.pop_back();
      ++state_->dropped;
    }
  }
  state_->wake.notify_one();
  return known;
}

void TDetailsProvider::Prepare() {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->prepareAsked) return;
    state_->prepareAsked = true;
    StartWorker();
  }
  state_->wake.notify_one();
}

std::uint64_t TDetailsProvider::DiscoveriesStarted() const { return state_->discoveries; }
std::uint64_t TDetailsProvider::Dropped() const { return state_->dropped; }

}  // namespace mv
