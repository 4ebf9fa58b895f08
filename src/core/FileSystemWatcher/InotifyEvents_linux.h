// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading an inotify descriptor: the events of one read, each with what happened to which name
// in which watched directory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mv {

enum class TInotifyKind : std::uint8_t {
  ikCreated,
  ikDeleted,
  ikMovedFrom,  // the old half of a rename; the new half has the same cookie
  ikMovedTo,
  ikModified,   // written, closed after writing, attributes changed or read
  ikWatchGone,  // the watched directory itself is gone (deleted or unmounted)
  ikMovedSelf,  // the watched directory itself was moved (asked of the root only)
};

struct TInotifyEvent {
  int wd = -1;
  TInotifyKind kind = TInotifyKind::ikCreated;
  bool isDir = false;
  std::uint32_t cookie = 0;
  std::string name;  // empty for ikWatchGone and ikMovedSelf
  friend bool operator==(const TInotifyEvent&, const TInotifyEvent&) = default;
};

// Appends the events of bytes read from an inotify descriptor. An event cut off at the end is
// dropped, and so are those the watcher has no use for. True when the queue overflowed.
bool DecodeInotifyEvents(const char* data, std::size_t size, std::vector<TInotifyEvent>& out);

class TInotifyReader {
 public:
  struct TRead {
    bool got = false;      // something was read
    bool drained = false;  // the queue was empty when the read ended
    bool overflow = false;
  };
  TRead Read(int fd, std::vector<TInotifyEvent>& events);
  // Whether fd has events within timeoutMs.
  static bool Readable(int fd, int timeoutMs);
  // Gives back the buffer while nothing is watched.
  void Release() { std::vector<char>().swap(buffer_); }

 private:
  std::vector<char> buffer_;
};

}  // namespace mv
