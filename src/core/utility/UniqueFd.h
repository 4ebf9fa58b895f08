// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sole owner of a POSIX descriptor: closes it on every path out of a scope.

#include <unistd.h>

#include <utility>

namespace mv {

class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) : fd_(fd) {}
  TUniqueFd(TUniqueFd&& other) noexcept : fd_(other.release()) {}
  TUniqueFd& operator=(TUniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  ~TUniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // The caller owns the descriptor from now on.
  int release() { return std::exchange(fd_, -1); }
  // close() is not retried on EINTR: on Linux the descriptor is gone either way, and a retry
  // could close one that another thread has just been given.
  void reset(int fd = -1) {
    if (fd_ >= 0 && fd_ != fd) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace mv
