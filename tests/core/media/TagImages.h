// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Music files built byte by byte, one small builder per container, for the tag reader's tests
// on both platforms. Each states only what the test needs; the rest is zero.

#include <cstdint>
#include <string>
#include <string_view>

namespace mv::test {

inline std::string Le(std::uint64_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
  return s;
}
inline std::string Be(std::uint64_t v, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s += static_cast<char>(v >> (8 * i) & 0xFF);
  return s;
}
inline std::string Syncsafe(std::uint64_t v) {
  std::string s;
  for (int i = 3; i >= 0; --i) s += static_cast<char>(v >> (7 * i) & 0x7F);
  return s;
}
inline std::string Utf16Le(std::u16string_view text) {
  std::string s;
  for (const char16_t c : text) s += Le(c, 2);
  return s;
}

// --- ID3 and MPEG audio ---

// ID3 unsynchronisation as writers apply it: a zero after every FF.
inline std::string Unsync(std::string_view data) {
  std::string s;
  for (const char c : data) {
    s += c;
    if (static_cast<unsigned char>(c) == 0xFF) s += '\0';
  }
  return s;
}
// One frame of an ID3v2.<major> tag: 3-byte ids and sizes in v2.2, 4-byte plain in v2.3,
// syncsafe in v2.4.
inline std::string Id3Frame(int major, std::string_view id, std::string_view body,
                            unsigned format = 0) {
  if (major == 2) return std::string(id) + Be(body.size(), 3) + std::string(body);
  const std::string size = major == 3 ? Be(body.size(), 4) : Syncsafe(body.size());
  return std::string(id) + size + '\0' + static_cast<char>(format) + std::string(body);
}
inline std::string Id3v2(int major, std::string_view frames, unsigned flags = 0) {
  return "ID3" + std::string{static_cast<char>(major), '\0', static_cast<char>(flags)} +
         Syncsafe(frames.size()) + std::string(frames);
}
inline std::string Id3v1(std::string_view title, std::string_view artist, std::string_view album) {
  auto field = [](std::string_view s) { return std::string(s).append(30 - s.size(), '\0'); };
  return "TAG" + field(title) + field(artist) + field(album) + std::string(35, '\0');
}
// MPEG-1 layer III, 128 kbit/s, 44.1 kHz, stereo: 417 bytes a frame, 1152 samples. The first
// frame states the frame count in a Xing header when xingFrames is not 0.
constexpr std::size_t kMp3FrameBytes = 417;
inline std::string Mp3Frames(int count, std::uint32_t xingFrames = 0) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    std::string frame = "\xFF\xFB\x90" + std::string(kMp3FrameBytes - 3, '\0');
    if (i == 0 && xingFrames != 0) frame.replace(36, 12, "Xing" + Be(1, 4) + Be(xingFrames, 4));
    s += frame;
  }
  return s;
}

// --- RIFF WAVE ---

inline std::string Chunk(std::string_view id, std::string_view body) {
  std::string s = std::string(id) + Le(body.size(), 4) + std::string(body);
  if (body.size() % 2) s += '\0';
  return s;
}
inline std::string Wav(std::string_view chunks) {
  return "RIFF" + Le(chunks.size() + 4, 4) + "WAVE" + std::string(chunks);
}
// PCM, 2 channels, 44.1 kHz, 16 bits: 176,400 bytes a second.
inline std::string WavFmt() {
  return Chunk("fmt ", Le(1, 2) + Le(2, 2) + Le(44100, 4) + Le(176400, 4) + Le(4, 2) + Le(16, 2));
}
inline std::string WavInfo(std::string_view title, std::string_view artist,
                           std::string_view album) {
  return Chunk("LIST", "INFO" + Chunk("INAM", std::string(title) + '\0') +
                           Chunk("IART", std::string(artist) + '\0') +
                           Chunk("IPRD", std::string(album) + '\0'));
}

// --- ASF ---

inline const std::string kAsfHeaderId{
    "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16};
inline const std::string kAsfFilePropertiesId{
    "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16};
inline const std::string kAsfStreamPropertiesId{
    "\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16};
inline const std::string kAsfAudioMediaId{
    "\x40\x9E\x69\xF8\x4D\x5B\xCF\x11\xA8\xFD\x00\x80\x5F\x5C\x44\x2B", 16};
inline const std::string kAsfContentId{
    "\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16};
inline const std::string kAsfExtendedContentId{
    "\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50", 16};

inline std::string AsfObject(const std::string& id, std::string_view body) {
  return id + Le(24 + body.size(), 8) + std::string(body);
}
// Play duration in 100 ns units, preroll in ms.
inline std::string AsfFileProperties(std::uint64_t play100ns, std::uint64_t prerollMs,
                                     std::uint32_t flags = 2) {
  return AsfObject(kAsfFilePropertiesId, std::string(40, '\0') + Le(play100ns, 8) +
                                             Le(play100ns, 8) + Le(prerollMs, 8) + Le(flags, 4) +
                                             std::string(12, '\0'));
}
inline std::string AsfAudioStream() {
  return AsfObject(kAsfStreamPropertiesId, kAsfAudioMediaId + std::string(38, '\0'));
}
inline std::string AsfContent(std::u16string_view title, std::u16string_view author) {
  const std::string t = Utf16Le(title) + Le(0, 2), a = Utf16Le(author) + Le(0, 2);
  return AsfObject(kAsfContentId, Le(t.size(), 2) + Le(a.size(), 2) + std::string(6, '\0') + t + a);
}
inline std::string AsfAlbum(std::u16string_view album) {
  const std::string other = Utf16Le(u"WM/Genre") + Le(0, 2),
                    name = Utf16Le(u"WM/AlbumTitle") + Le(0, 2);
  const std::string value = Utf16Le(album) + Le(0, 2);
  return AsfObject(kAsfExtendedContentId, Le(2, 2) + Le(other.size(), 2) + other + Le(0, 2) +
                                              Le(2, 2) + Le(0, 2) + Le(name.size(), 2) + name +
                                              Le(0, 2) + Le(value.size(), 2) + value);
}
inline std::string Asf(std::string_view objects, int count) {
  return kAsfHeaderId + Le(30 + objects.size(), 8) + Le(count, 4) + "\x01\x02" +
         std::string(objects);
}

}  // namespace mv::test
