// SPDX-License-Identifier: GPL-3.0-or-later
#include "utility/GuessFileExt.h"

#include <cstring>

#include "utility/FileRules.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

// Bytes past the end never match.
bool At(const unsigned char* data, std::size_t size, std::size_t offset, const char* bytes) {
  const std::size_t n = std::strlen(bytes);
  return offset + n <= size && std::memcmp(data + offset, bytes, n) == 0;
}

}  // namespace

std::string GuessExtFromHeader(const unsigned char* data, std::size_t size) {
  if (size > kGuessHeaderSize) size = kGuessHeaderSize;
  // An ordinary wave file is a RIFF (or, past 4 GiB, RF64) container of form type WAVE.
  if ((At(data, size, 0, "RIFF") || At(data, size, 0, "RF64")) && At(data, size, 8, "WAVE")) {
    return ".wav";
  }
  if (At(data, size, 0, "WAV")) return ".wav";
  if (At(data, size, 0, "ID3")) return ".mp3";
  if (At(data, size, 0, "\x30\x26\xB2")) return ".wma";  // start of the ASF header object id
  if (At(data, size, 0, "MZ")) return ".exe";
  return {};
}

std::string GuessFileExt(const std::string& fileName) {
  if (!FileIsPresent(fileName)) return {};
  unsigned char header[kGuessHeaderSize];
  std::size_t size = 0;
  try {
    const auto stream = OpenForReading(fileName);
    size = stream->Read(header, sizeof header);
  } catch (const Exception&) {
    return NameExtension(fileName);
  }
  return GuessExtFromHeader(header, size);
}

}  // namespace mv
