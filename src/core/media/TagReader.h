// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Title, artist, album and duration of a music file as its own headers state them, for the
// containers the type detection names: MPEG audio with ID3 tags (.mp3), RIFF WAVE (.wav) and
// ASF (.wma). Needs nothing of the system but a way to read bytes, so that a platform without
// a tag library of its own can show them.
//
// Bounded whatever the bytes claim: it reads the head of the file up to a cap, a window where
// the audio starts, the last 128 bytes and the chunk headers of a wave file, and never more.
// Truncated, lying or random bytes give what could be read; nothing throws out of it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mv {

struct TTagInfo {
  // UTF-8, as the tags state them; empty when not stated.
  std::string title;
  std::string artist;
  std::string album;
  std::optional<std::int64_t> durationMs;
  bool audio = false;     // an audio stream's header was found
  bool readable = false;  // the first bytes could be read
};

// Reads up to size bytes at offset into buffer: how many were read (fewer only at the end of
// the file), or nothing when reading failed.
using TReadAt = std::function<std::optional<std::size_t>(std::uint64_t offset,
                                                         unsigned char* buffer, std::size_t size)>;
// Text that a tag stores as 8-bit "ISO-8859-1" (ID3 encoding 0, ID3v1, RIFF INFO), to UTF-8.
// Writers put the user's ANSI code page there, so the caller knows best how to read it.
using TDecode8 = std::function<std::string(std::string_view)>;

std::string Latin1ToUtf8(std::string_view text);

TTagInfo ReadTags(const TReadAt& read, std::uint64_t fileSize, const TDecode8& decode8);

}  // namespace mv
