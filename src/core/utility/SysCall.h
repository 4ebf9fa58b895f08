// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// System calls that fail with -1 and errno go through RetryOnEintr: it repeats a call that a
// signal interrupted, and it is the one place where a test can make a call fail.

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string_view>

namespace mv {

// Test seam. While a hook is set, each attempt asks it first: 0 lets the real call run, any
// other value makes the attempt fail with that errno without calling the system (EINTR is
// then retried like a real interruption). name is the call's name as its caller gives it.
using TSysCallHook = int (*)(const char* name);

namespace detail {
inline std::atomic<TSysCallHook> sysCallHook{nullptr};
}  // namespace detail

// Returns the previous hook, so that a test can put it back.
inline TSysCallHook SetSysCallHook(TSysCallHook hook) { return detail::sysCallHook.exchange(hook); }

// call() returns -1 with errno set on failure (open, read, write, fsync, waitpid, ...).
template <class F>
auto RetryOnEintr(const char* name, F&& call) -> decltype(call()) {
  for (;;) {
    if (const TSysCallHook hook = detail::sysCallHook.load(std::memory_order_acquire)) {
      if (const int injected = hook(name)) {
        errno = injected;
        if (injected == EINTR) continue;
        return static_cast<decltype(call())>(-1);
      }
    }
    const auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

// Writes all of data however short the writes; false with errno when the system refuses.
inline bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = RetryOnEintr("write", [&] { return ::write(fd, data.data(), data.size()); });
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace mv
