// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/TagReader.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <span>
#include <vector>

#include "utility/JsonText.h"

namespace mv {

namespace {

// An ID3v2 tag, an ASF header object or a RIFF INFO list is read up to this many bytes: the
// texts come first in practice, a cover picture after them is not needed.
constexpr std::size_t kHeadCap = 256 * 1024;
// The first MPEG frame is looked for this far past the ID3v2 tag (padding, junk).
constexpr std::size_t kFrameWindow = 8 * 1024;
constexpr int kMaxChunks = 256;

using TBytes = std::vector<unsigned char>;
using TView = std::span<const unsigned char>;

class TSource {
 public:
  TSource(const TReadAt& read, std::uint64_t size) : read_(read), size_(size) {}
  std::uint64_t Size() const { return size_; }
  bool Failed() const { return failed_; }
  // Up to n bytes at offset, never past the end the file was said to have.
  TBytes Read(std::uint64_t offset, std::uint64_t n) {
    if (offset >= size_ || n == 0) return {};
    TBytes bytes(static_cast<std::size_t>(std::min({n, size_ - offset, std::uint64_t{kHeadCap}})));
    const std::optional<std::size_t> got = read_(offset, bytes.data(), bytes.size());
    if (!got) failed_ = true;
    bytes.resize(got ? std::min(*got, bytes.size()) : 0);
    return bytes;
  }

 private:
  const TReadAt& read_;
  const std::uint64_t size_;
  bool failed_ = false;
};

// Out-of-range bytes read as zero, so that a short buffer never matches or overruns.
std::uint64_t Be(TView b, std::size_t at, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | (at + i < b.size() ? b[at + i] : 0);
  return v;
}
std::uint64_t Le(TView b, std::size_t at, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | (at + i < b.size() ? b[at + i] : 0);
  return v;
}
std::uint64_t Syncsafe(TView b, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 7 | (at + i < b.size() ? b[at + i] & 0x7F : 0);
  return v;
}
bool Has(TView b, std::size_t at, std::string_view s) {
  return at <= b.size() && s.size() <= b.size() - at &&
         std::memcmp(&b[at], s.data(), s.size()) == 0;
}
TView Sub(TView b, std::uint64_t at, std::uint64_t n) {
  if (at >= b.size()) return {};
  return b.subspan(at, std::min<std::uint64_t>(n, b.size() - at));
}

// --- text ------------------------------------------------------------------------------------

void PutUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Up to the first NUL unit; a lone surrogate becomes U+FFFD.
std::string Utf16(TView b, bool bigEndian) {
  std::string out;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    auto unit = [&](std::size_t at) {
      return static_cast<char32_t>(bigEndian ? Be(b, at, 2) : Le(b, at, 2));
    };
    char32_t c = unit(i);
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < b.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    PutUtf8(out, c);
  }
  return out;
}

// The bytes before the first NUL.
std::string_view Until0(TView b) {
  const auto* s = reinterpret_cast<const char*>(b.data());
  return {s, static_cast<std::size_t>(std::find(s, s + b.size(), '\0') - s)};
}

// Whatever a tag holds, what we hand on is valid UTF-8 without trailing blanks: a byte that
// starts no well-formed sequence becomes U+FFFD.
std::string CleanUtf8(std::string_view s) {
  std::string out;
  while (!s.empty()) {
    const std::size_t n = Utf8SequenceLength(s);
    out += n > 0 ? s.substr(0, n) : std::string_view("\xEF\xBF\xBD");
    s.remove_prefix(std::max<std::size_t>(n, 1));
  }
  out.erase(out.find_last_not_of(" \t\r\n") + 1);
  return out;
}

// A field keeps the first non-empty text found for it.
void Put(std::string& field, const std::string& text) {
  if (field.empty()) field = CleanUtf8(text);
}

// --- MP3: ID3v2, ID3v1, the first MPEG frame --------------------------------------------------

TBytes Resync(TView b) {  // ID3 unsynchronisation: FF 00 stands for FF
  TBytes out;
  out.reserve(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) {
    out.push_back(b[i]);
    if (b[i] == 0xFF && i + 1 < b.size() && b[i + 1] == 0) ++i;
  }
  return out;
}

std::string Id3Text(TView d, const TDecode8& decode8) {
  if (d.empty()) return {};
  const unsigned encoding = d[0];
  d = d.subspan(1);
  switch (encoding) {
    case 0:
      return decode8(Until0(d));
    case 1: {
      // A BOM names the order; none is taken as little-endian, as most writers use.
      const bool be = Has(d, 0, "\xFE\xFF");
      if (be || Has(d, 0, "\xFF\xFE")) d = d.subspan(2);
      return Utf16(d, be);
    }
    case 2:
      return Utf16(d, true);
    case 3:
      return std::string(Until0(d));
    default:
      return {};
  }
}

// The whole tag's size, 0 when there is none.
std::uint64_t ReadId3v2(TSource& src, TTagInfo& info, const TDecode8& decode8) {
  const TBytes head = src.Read(0, 10);
  if (!Has(head, 0, "ID3") || head.size() < 10) return 0;
  const unsigned major = head[3], flags = head[5];
  const std::uint64_t body = Syncsafe(head, 6);
  const std::uint64_t total = 10 + body + (major == 4 && (flags & 0x10) ? 10 : 0);
  // v2.2's compression was never defined: such a tag is skipped as a whole.
  if (major < 2 || major > 4 || (major == 2 && (flags & 0x40))) return total;
  TBytes tag = src.Read(10, body);
  if ((flags & 0x80) && major < 4) tag = Resync(tag);
  std::uint64_t pos = 0;
  if (major >= 3 && (flags & 0x40)) pos = major == 3 ? Be(tag, 0, 4) + 4 : Syncsafe(tag, 0);
  const std::size_t idSize = major == 2 ? 3 : 4, headerSize = major == 2 ? 6 : 10;
  while (pos + headerSize <= tag.size() && tag[pos] != 0) {
    const std::string_view id(reinterpret_cast<const char*>(&tag[pos]), idSize);
    const std::uint64_t size = major == 2   ? Be(tag, pos + 3, 3)
                               : major == 3 ? Be(tag, pos + 4, 4)
                                            : Syncsafe(tag, pos + 4);
    const unsigned format = major == 2 ? 0 : tag[pos + 9];
    TView data = Sub(tag, pos + headerSize, size);
    pos += headerSize + size;
    std::string* field = (id == "TIT2" || id == "TT2")   ? &info.title
                         : (id == "TPE1" || id == "TP1") ? &info.artist
                         : (id == "TALB" || id == "TAL") ? &info.album
                                                         : nullptr;
    if (!field || !field->empty()) continue;
    TBytes resynced;
    if (major == 3) {
      if (format & 0xC0) continue;                          // compressed or encrypted
      if (format & 0x20) data = Sub(data, 1, data.size());  // group id
    } else if (major == 4) {
      if (format & 0x0C) continue;
      if (format & 0x40) data = Sub(data, 1, data.size());
      if (format & 0x01) data = Sub(data, 4, data.size());  // data length indicator
      if ((format & 0x02) || (flags & 0x80)) data = resynced = Resync(data);
    }
    Put(*field, Id3Text(data, decode8));
  }
  return total;
}

struct TMpegFrame {
  unsigned version;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
  unsigned bitrate;  // kbit/s
  unsigned rate;     // Hz
  unsigned samples;  // per frame
  std::size_t length;
  bool mono;
  bool SameStream(const TMpegFrame& o) const {
    return version == o.version && rate == o.rate && samples == o.samples;
  }
};

std::optional<TMpegFrame> Frame(TView b, std::size_t at) {
  const std::uint64_t h = Be(b, at, 4);
  if (at + 4 > b.size() || (h >> 21) != 0x7FF) return {};
  const unsigned version = h >> 19 & 3, layer = 4 - (h >> 17 & 3), index = h >> 12 & 15,
                 rateIndex = h >> 10 & 3;
  if (version == 1 || layer == 4 || index == 0 || index == 15 || rateIndex == 3) return {};
  static constexpr unsigned short kBitrates[5][14] = {
      {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // 1, layer I
      {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // 1, layer II
      {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // 1, layer III
      {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // 2, 2.5, layer I
      {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // 2, 2.5, II, III
  };
  static constexpr unsigned kRates[3] = {44100, 48000, 32000};
  TMpegFrame f{};
  f.version = version;
  f.bitrate = kBitrates[version == 3 ? layer - 1 : layer == 1 ? 3 : 4][index - 1];
  f.rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  f.samples = layer == 1 ? 384 : layer == 3 && version != 3 ? 576 : 1152;
  const unsigned padding = h >> 9 & 1;
  f.length = layer == 1 ? (12 * f.bitrate * 1000 / f.rate + padding) * 4
                        : f.samples / 8 * f.bitrate * 1000 / f.rate + padding;
  f.mono = (h >> 6 & 3) == 3;
  return f;
}

void ReadMp3(TSource& src, TTagInfo& info, const TDecode8& decode8) {
  const std::uint64_t start = ReadId3v2(src, info, decode8);
  std::uint64_t end = src.Size();
  const TBytes tail = src.Size() >= 128 ? src.Read(src.Size() - 128, 128) : TBytes{};
  if (Has(tail, 0, "TAG") && tail.size() == 128) {
    end -= 128;
    const TView v1(tail);
    Put(info.title, decode8(Until0(v1.subspan(3, 30))));
    Put(info.artist, decode8(Until0(v1.subspan(33, 30))));
    Put(info.album, decode8(Until0(v1.subspan(63, 30))));
  }
  const TBytes window = src.Read(start, kFrameWindow);
  // Without an ID3v2 tag only a frame at the very start makes the file MPEG audio.
  const std::size_t last = start > 0 ? window.size() : std::min<std::size_t>(window.size(), 1);
  for (std::size_t i = 0; i < last; ++i) {
    const std::optional<TMpegFrame> f = Frame(window, i);
    if (!f) continue;
    // A sync pattern in junk is common; a real frame is followed by another of its stream,
    // or by the end of the audio.
    const std::uint64_t next = start + i + f->length;
    if (next + 4 <= end) {
      const std::optional<TMpegFrame> g = Frame(window, next - start);
      if (!g || !g->SameStream(*f)) continue;
    }
    info.audio = true;
    const std::size_t side = f->version == 3 ? (f->mono ? 17 : 32) : (f->mono ? 9 : 17);
    const std::size_t xing = i + 4 + side, vbri = i + 36;
    std::uint64_t frames = 0;
    if ((Has(window, xing, "Xing") || Has(window, xing, "Info")) && (Be(window, xing + 4, 4) & 1))
      frames = Be(window, xing + 8, 4);
    else if (Has(window, vbri, "VBRI"))
      frames = Be(window, vbri + 14, 4);
    const std::uint64_t audioStart = start + i;
    if (frames > 0) {
      info.durationMs = static_cast<std::int64_t>(frames * f->samples * 1000 / f->rate);
    } else if (end > audioStart) {
      info.durationMs = static_cast<std::int64_t>((end - audioStart) * 8 / f->bitrate);
    }
    return;
  }
}

// --- WAV ---------------------------------------------------------------------------------------

void ReadWav(TSource& src, TTagInfo& info, const TDecode8& decode8) {
  std::uint64_t byteRate = 0;
  std::optional<std::uint64_t> dataBytes;
  // Lists are read up to one cap in all, however many there are.
  std::uint64_t listBudget = kHeadCap;
  std::uint64_t pos = 12;
  for (int n = 0; n < kMaxChunks && pos + 8 <= src.Size(); ++n) {
    const TBytes h = src.Read(pos, 8);
    if (h.size() < 8) break;
    const std::uint64_t size = Le(h, 4, 4), body = pos + 8;
    // A download stops anywhere: what the chunk states may not be there.
    const std::uint64_t present = std::min(size, src.Size() - body);
    if (Has(h, 0, "fmt ")) {
      const TBytes fmt = src.Read(body, std::min<std::uint64_t>(present, 16));
      if (fmt.size() >= 16) {
        info.audio = true;
        byteRate = Le(fmt, 8, 4);
      }
    } else if (Has(h, 0, "data")) {
      if (!dataBytes) dataBytes = present;
    } else if (Has(h, 0, "LIST")) {
      const TBytes list = src.Read(body, std::min(present, listBudget));
      listBudget -= list.size();
      for (std::uint64_t p = 4; Has(list, 0, "INFO") && p + 8 <= list.size();) {
        const std::uint64_t length = Le(list, p + 4, 4);
        const std::string text = decode8(Until0(Sub(list, p + 8, length)));
        if (Has(list, p, "INAM")) Put(info.title, text);
        if (Has(list, p, "IART")) Put(info.artist, text);
        if (Has(list, p, "IPRD")) Put(info.album, text);
        p += 8 + length + (length & 1);
      }
    }
    pos = body + size + (size & 1);
  }
  if (info.audio && dataBytes && byteRate > 0)
    info.durationMs = static_cast<std::int64_t>(*dataBytes * 1000 / byteRate);
}

// --- WMA (ASF) ----------------------------------------------------------------------------------

constexpr std::string_view kAsfHeader{
    "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16};
constexpr std::string_view kFileProperties{
    "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16};
constexpr std::string_view kStreamProperties{
    "\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16};
constexpr std::string_view kAudioMedia{
    "\x40\x9E\x69\xF8\x4D\x5B\xCF\x11\xA8\xFD\x00\x80\x5F\x5C\x44\x2B", 16};
constexpr std::string_view kContentDescription{
    "\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16};
constexpr std::string_view kExtendedContent{
    "\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50", 16};

void ReadAsf(TSource& src, TTagInfo& info) {
  const TBytes header = src.Read(0, Le(src.Read(16, 8), 0, 8));
  for (std::uint64_t p = 30; p + 24 <= header.size();) {
    const std::uint64_t size = Le(header, p + 16, 8);
    if (size < 24) break;
    const TView o = Sub(header, p, size);
    p = size < header.size() - p ? p + size : header.size();
    if (Has(o, 0, kFileProperties) && o.size() >= 92 && !(Le(o, 88, 4) & 1)) {
      // Play duration in 100 ns units includes the preroll, given in ms; a broadcast (flag 1)
      // states neither.
      const std::uint64_t play = Le(o, 64, 8) / 10000, preroll = Le(o, 80, 8);
      info.durationMs = static_cast<std::int64_t>(play > preroll ? play - preroll : 0);
    } else if (Has(o, 0, kStreamProperties) && Has(o, 24, kAudioMedia)) {
      info.audio = true;
    } else if (Has(o, 0, kContentDescription)) {
      const std::uint64_t titleBytes = Le(o, 24, 2), authorBytes = Le(o, 26, 2);
      Put(info.title, Utf16(Sub(o, 34, titleBytes), false));
      Put(info.artist, Utf16(Sub(o, 34 + titleBytes, authorBytes), false));
    } else if (Has(o, 0, kExtendedContent)) {
      std::uint64_t q = 26;
      for (std::uint64_t n = Le(o, 24, 2); n > 0 && q + 6 <= o.size(); --n) {
        const std::uint64_t nameBytes = Le(o, q, 2);
        const std::string name = Utf16(Sub(o, q + 2, nameBytes), false);
        const std::uint64_t type = Le(o, q + 2 + nameBytes, 2);
        const std::uint64_t valueBytes = Le(o, q + 4 + nameBytes, 2);
        if (name == "WM/AlbumTitle" && type == 0)
          Put(info.album, Utf16(Sub(o, q + 6 + nameBytes, valueBytes), false));
        q += 6 + nameBytes + valueBytes;
      }
    }
  }
}

}  // namespace

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  for (const char c : text) PutUtf8(out, static_cast<unsigned char>(c));
  return out;
}

TTagInfo ReadTags(const TReadAt& read, std::uint64_t fileSize, const TDecode8& decode8) {
  TTagInfo info;
  TSource src(read, fileSize);
  try {
    const TBytes head = src.Read(0, 16);
    info.readable = !src.Failed();
    if (!info.readable) return info;
    if ((Has(head, 0, "RIFF") || Has(head, 0, "RF64")) && Has(head, 8, "WAVE")) {
      ReadWav(src, info, decode8);
    } else if (Has(head, 0, kAsfHeader)) {
      ReadAsf(src, info);
    } else {
      ReadMp3(src, info, decode8);
    }
  } catch (const std::exception&) {
    // The caller's reading or decoding failed part way: what was read before stays.
  }
  return info;
}

}  // namespace mv
