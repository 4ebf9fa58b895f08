// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names a file's type by its first bytes, so that downloads get a usable extension.

#include <cstddef>
#include <string>

namespace mv {

// ".wav", ".mp3", ".wma", ".exe" by the first bytes; the empty text for a missing file or an
// unknown type; the file's own extension when it cannot be opened or read (for example while
// the program downloading it still holds it open for writing).
std::string GuessFileExt(const std::string& fileName);

// The rule on the first bytes alone: at most this many are looked at.
inline constexpr std::size_t kGuessHeaderSize = 50;
std::string GuessExtFromHeader(const unsigned char* data, std::size_t size);

}  // namespace mv
