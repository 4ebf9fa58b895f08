// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// file: URLs for paths kept as bytes. Every byte outside the unreserved set and "/" is
// percent-encoded, so a name that is not valid UTF-8 still names the same file to whoever
// decodes the URL back to bytes.

#include <string>
#include <string_view>

namespace mv {

// path with each byte outside A-Z a-z 0-9 - _ . ~ / written as %XX (upper-case hex).
std::string PercentEncodePath(std::string_view path);

// "file://" followed by the encoded path, for a path rooted at "/"; empty for any other
// (a relative path names no file on its own).
std::string FileUrl(std::string_view path);

}  // namespace mv
