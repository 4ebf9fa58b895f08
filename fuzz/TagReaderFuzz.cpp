// SPDX-License-Identifier: GPL-3.0-or-later
// The tag reader on arbitrary bytes. The first byte picks how the file behaves: said to be as
// long as the bytes or 4 GiB (its rest reading as zeros), and whether a read fails part way.
// Invariants: nothing throws, every read stays inside the file and asks for a bounded number
// of bytes, the whole reading reads a bounded number of bytes, and the texts are valid UTF-8.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "media/TagReader.h"

namespace {

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b < 0x80   ? 1
                          : b < 0xC2 ? 0
                          : b < 0xE0 ? 2
                          : b < 0xF0 ? 3
                          : b < 0xF5 ? 4
                                     : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned mode = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::uint64_t fileSize = (mode & 1) ? std::uint64_t{1} << 32 : bytes.size();
  const int failAt = (mode & 2) ? (mode >> 2) % 8 : -1;
  int reads = 0;
  std::uint64_t total = 0;
  const mv::TReadAt read = [&](std::uint64_t offset, unsigned char* buffer,
                               std::size_t n) -> std::optional<std::size_t> {
    FUZZ_CHECK(offset < fileSize && n <= fileSize - offset);
    FUZZ_CHECK(n <= 1024 * 1024);
    total += n;
    if (reads++ == failAt) return std::nullopt;
    std::memset(buffer, 0, n);
    if (offset < bytes.size())
      std::memcpy(buffer, bytes.data() + offset, std::min<std::uint64_t>(n, bytes.size() - offset));
    return n;
  };
  const mv::TTagInfo info = mv::ReadTags(read, fileSize, mv::Latin1ToUtf8);
  FUZZ_CHECK(total <= 2 * 1024 * 1024);
  FUZZ_CHECK(ValidUtf8(info.title) && ValidUtf8(info.artist) && ValidUtf8(info.album));
  FUZZ_CHECK(!info.durationMs || *info.durationMs >= 0);
  return 0;
}
