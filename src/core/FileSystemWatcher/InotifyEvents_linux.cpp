// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystemWatcher/InotifyEvents_linux.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "utility/SysCall.h"

namespace mv {

namespace {

// Large enough for the whole default queue (16,384 events) of short names in a few reads.
constexpr std::size_t kBufferSize = 256 * 1024;
constexpr std::size_t kMaxEventSize = sizeof(inotify_event) + NAME_MAX + 1;

bool Kind(std::uint32_t mask, bool named, TInotifyKind& kind) {
  if (mask & IN_IGNORED) {
    kind = TInotifyKind::ikWatchGone;
  } else if (mask & IN_MOVE_SELF) {
    kind = TInotifyKind::ikMovedSelf;
  } else if (!named) {
    return false;  // about a watched directory itself; its parent's watch tells
  } else if (mask & IN_CREATE) {
    kind = TInotifyKind::ikCreated;
  } else if (mask & IN_MOVED_TO) {
    kind = TInotifyKind::ikMovedTo;
  } else if (mask & IN_DELETE) {
    kind = TInotifyKind::ikDeleted;
  } else if (mask & IN_MOVED_FROM) {
    kind = TInotifyKind::ikMovedFrom;
  } else if (mask & (IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_ACCESS)) {
    kind = TInotifyKind::ikModified;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool DecodeInotifyEvents(const char* data, std::size_t size, std::vector<TInotifyEvent>& out) {
  bool overflow = false;
  const char* p = data;
  const char* end = data + size;
  while (end - p >= static_cast<std::ptrdiff_t>(sizeof(inotify_event))) {
    inotify_event ev;
    std::memcpy(&ev, p, sizeof ev);
    const char* name = p + sizeof ev;
    if (ev.len > static_cast<std::size_t>(end - name)) break;
    p = name + ev.len;
    if (ev.mask & IN_Q_OVERFLOW) {
      overflow = true;
      continue;
    }
    // The kernel pads names with NULs up to ev.len.
    const std::size_t length = strnlen(name, ev.len);
    TInotifyKind kind;
    if (!Kind(ev.mask, length != 0, kind)) continue;
    out.push_back(TInotifyEvent{ev.wd, kind, (ev.mask & IN_ISDIR) != 0, ev.cookie,
                                std::string(name, length)});
  }
  return overflow;
}

TInotifyReader::TRead TInotifyReader::Read(int fd, std::vector<TInotifyEvent>& events) {
  TRead r;
  if (buffer_.empty()) buffer_.resize(kBufferSize);  // not before the first change
  const ssize_t n = RetryOnEintr("read", [&] { return read(fd, buffer_.data(), buffer_.size()); });
  if (n <= 0) {
    r.drained = n < 0 && errno == EAGAIN;
    return r;
  }
  r.got = true;
  r.overflow = DecodeInotifyEvents(buffer_.data(), static_cast<std::size_t>(n), events);
  // The kernel stops filling when the queue is empty or the next event does not fit.
  r.drained = buffer_.size() - static_cast<std::size_t>(n) >= kMaxEventSize;
  return r;
}

bool TInotifyReader::Readable(int fd, int timeoutMs) {
  pollfd pfd{fd, POLLIN, 0};
  return RetryOnEintr("poll", [&] { return poll(&pfd, 1, timeoutMs); }) > 0;
}

}  // namespace mv
