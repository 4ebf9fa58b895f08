// SPDX-License-Identifier: GPL-3.0-or-later
// Hand-overs between threads that go through a library's own locks. GLib and Qt lock with
// futexes that ThreadSanitizer cannot see, so data given to a thread they run (a GStreamer
// bus handler on a pooled streaming thread) would be reported as raced. These two calls name
// the hand-over at the place where the library guarantees it; elsewhere they compile to
// nothing. Use them only where the library documents the ordering.

#pragma once

#if defined(__SANITIZE_THREAD__)
#define MELVIGIL_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MELVIGIL_TSAN 1
#endif
#endif

#if defined(MELVIGIL_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

namespace mv {

// Everything written before this call is visible to the thread that calls TakeOver(data).
inline void HandOver([[maybe_unused]] const void* data) {
#if defined(MELVIGIL_TSAN)
  __tsan_release(const_cast<void*>(data));
#endif
}

inline void TakeOver([[maybe_unused]] const void* data) {
#if defined(MELVIGIL_TSAN)
  __tsan_acquire(const_cast<void*>(data));
#endif
}

}  // namespace mv
