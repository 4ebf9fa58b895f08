// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a listed file is: title, artist, album, duration, size and the type its first bytes
// name. TDetailsProvider reads them only when asked (the list's tooltip, a script asking for
// them), on one worker thread of its own, and hands them to the main thread through the front
// end's dispatcher, so the asker never waits for a file. Listing files asks for nothing: a
// burst of 10,000 new entries costs no reading at all.
//
// Typical use on the main thread:
//   TDetailsProvider details(dispatcher);
//   TMediaDetails known = details.Request(path, [](const TMediaDetails& d) { Show(d); });
//   Show(known);  // the last complete result for path, or nothing yet (Pending)

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "utility/Dispatcher.h"

namespace mv {

// What could be learned of the file itself.
enum class TFileState {
  Pending,     // not looked at yet
  Present,     // a regular file whose first bytes were read
  Gone,        // no such file (any more)
  NotAFile,    // a directory, named pipe, device node...: nothing is read from it
  Unreadable,  // it exists but cannot be opened or read; size as far as known
};

// What the file's contents turned out to be.
enum class TMediaKind {
  Unknown,   // not read yet, reading failed or took too long, or the platform does not tell
  Audio,     // tags and duration as far as the file states them
  NotAudio,  // readable, but no audio stream in it
};

struct TMediaDetails {
  TFileState file = TFileState::Pending;
  std::optional<std::uint64_t> size;  // bytes
  std::string type;                   // ".mp3", ".wav", ...; empty when the first bytes name none
  TMediaKind media = TMediaKind::Unknown;
  // UTF-8, as the file's tags state them; empty when not stated.
  std::string title;
  std::string artist;
  std::string album;
  std::optional<std::int64_t> durationMs;
  // Nothing more will come for this request: false while only size and type are known.
  bool complete = false;

  bool operator==(const TMediaDetails&) const = default;
};

// The tooltip's lines, UTF-8, separated by '\n': 标题, 艺术家, 专辑, 时长, 大小, 类型 as far as
// known, then a line saying why nothing more is known (still reading, gone, not audio, ...).
std::string DetailsText(const TMediaDetails& details);

// A file's identity for the cache: a change of either means it must be read again.
struct TFileStamp {
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;  // modification time, nanoseconds of the platform's epoch
  bool operator==(const TFileStamp&) const = default;
};

// One platform's way of reading a file's details; called on the provider's worker only.
class IDetailsReader {
 public:
  // A file held open between the two steps, so both read the same file.
  class TOpenFile {
   public:
    virtual ~TOpenFile() = default;
  };
  virtual ~IDetailsReader() = default;
  // Cheap: opens path without waiting for anything (a pipe's writer, a lock), fills file, size
  // and type of details and the stamp. Null when nothing more can be read (gone, not a regular
  // file, unreadable).
  virtual std::unique_ptr<TOpenFile> Probe(const std::string& path, TMediaDetails& details,
                                           TFileStamp& stamp) = 0;
  // May take up to the reader's time bound: fills media, tags and duration.
  virtual void Discover(TOpenFile& file, TMediaDetails& details) = 0;
  // Loads what the first reading needs (libraries, plug-ins), so that it is as quick as the
  // later ones. Reads no user file.
  virtual void Prepare() {}
};

// The platform's reader. Linux: GStreamer's discoverer, each file bounded by timeout. Windows:
// the file's own headers through the tag reader (.mp3, .wav, .wma), bounded by what it reads.
std::unique_ptr<IDetailsReader> CreateDetailsReader(std::chrono::milliseconds timeout);

struct TDetailsOptions {
  // Unserved requests kept; when a new one comes, the oldest unserved one is dropped.
  std::size_t queueLimit = 8;
  // Complete results kept, the least recently used dropped first.
  std::size_t cacheLimit = 4096;
  // Bound of one file's reading (platform reader only).
  std::chrono::milliseconds timeout{3000};
};

class TDetailsProvider {
 public:
  // Runs on the main thread, once or twice per request: with size and type first (complete
  // false) when the file must be read afresh, then with the complete details.
  using TDone = std::function<void(const TMediaDetails&)>;

  // reader: null takes the platform's. Results are posted to dispatcher, which must outlive
  // the provider; tasks still queued there after the provider is gone do nothing.
  explicit TDetailsProvider(IMainThreadDispatcher& dispatcher,
                            std::unique_ptr<IDetailsReader> reader = nullptr,
                            TDetailsOptions options = {});
  // Waits for the file being read, if any (at most the reader's bound); unserved requests are
  // dropped.
  ~TDetailsProvider();
  TDetailsProvider(const TDetailsProvider&) = delete;
  TDetailsProvider& operator=(const TDetailsProvider&) = delete;

  // Any thread; never touches the file. Returns the last complete result for path (which the
  // worker checks against the file before serving it again), else Pending with nothing known.
  // The request is served before older ones; asking again for a queued path moves it to the
  // front. A request dropped unserved never calls done.
  TMediaDetails Request(const std::string& path, TDone done);
  // Any thread: a request may come soon (the pointer entered the list). The worker readies the
  // reader once, before any request that is queued by then; no file is read.
  void Prepare();

  // Counters for tests and benchmarks: files whose contents were read (Discover calls), and
  // requests dropped unserved.
  std::uint64_t DiscoveriesStarted() const;
  std::uint64_t Dropped() const;

 private:
  struct TState;
  // Under the state's lock.
  void StartWorker();
  std::shared_ptr<TState> state_;
};

}  // namespace mv
