// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Error classes of the component layer. Handlers let them escape; the application's
// error box (or the command-line tool) shows the message.

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mv {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A silent abort: the error box shows nothing for it.
class EAbort : public Exception {
 public:
  using Exception::Exception;
};

class EMCIDeviceError : public Exception {
 public:
  using Exception::Exception;
};

class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

class EListError : public Exception {
 public:
  using Exception::Exception;
};

class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

// The pattern with its %d replaced by the integer in decimal (leading '-' when negative, no
// padding, no grouping). Only the first %d is replaced; the rest is copied unchanged.
std::string FormatD(std::string_view pattern, long long value);
// The pattern with its %s replaced by args in turn. An argument is never scanned again, so a
// path holding "%s" comes out as it is.
std::string FormatS(std::string_view pattern, std::initializer_list<std::string_view> args);

// The user-visible texts, exactly.
namespace text {
inline constexpr const char* kListIndexError = "列表索引越界 (%d)";
inline constexpr const char* kCannotInsertLine = "无法插入行";
inline constexpr const char* kCannotOpenFile = "不能打开文件 %s";
inline constexpr const char* kNoTimers = "可用的计时器不足";
inline constexpr const char* kNoDeviceOpen = "没有打开的 MCI 设备";
inline constexpr const char* kUnknownErrorCode = "未知的错误代号";
}  // namespace text

}  // namespace mv
