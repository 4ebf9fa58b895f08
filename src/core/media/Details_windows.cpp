// SPDX-License-Identifier: GPL-3.0-or-later
// Details on Windows: size and the type named by the first bytes, then tags and duration read
// from the file's own headers by the portable tag reader. The one player device the system
// offers everywhere answers only for a file it has opened for playing, which is too slow and
// too fragile for a tooltip.

#include <windows.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <string_view>

#include "media/Details.h"
#include "media/TagReader.h"
#include "utility/GuessFileExt.h"

namespace mv {

namespace {

constexpr DWORD kHeaderSize = 50;

class THandleFile final : public IDetailsReader::TOpenFile {
 public:
  explicit THandleFile(HANDLE h) : h_(h) {}
  ~THandleFile() override { CloseHandle(h_); }
  THandleFile(const THandleFile&) = delete;
  THandleFile& operator=(const THandleFile&) = delete;
  HANDLE Handle() const { return h_; }

 private:
  HANDLE h_;
};

// Tags' 8-bit texts are in the ANSI code page of the system that wrote them, in practice the
// user's own (GBK on Chinese systems).
std::string AnsiToUtf8(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), size, nullptr, nullptr);
  return out;
}

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

class TWinDetailsReader final : public IDetailsReader {
 public:
  std::unique_ptr<TOpenFile> Probe(const std::string& path, TMediaDetails& details,
                                   TFileStamp& stamp) override {
    // Every sharing mode: a downloader writing the file, or deleting it, is never disturbed.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
          error == ERROR_INVALID_NAME) {
        details.file = TFileState::Gone;
      } else if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        details.file = TFileState::Unreadable;
      } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        details.file = TFileState::NotAFile;
      } else {
        details.file = TFileState::Unreadable;
        details.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
      }
      return nullptr;
    }
    auto file = std::make_unique<THandleFile>(h);
    // CON, COM1 and the like behind a music name are devices, not files.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      details.file = TFileState::NotAFile;
      return nullptr;
    }
    const std::uint64_t size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    details.size = size;
    stamp.size = size;
    // 100 ns units since 1601; only equality matters.
    stamp.mtimeNs = static_cast<std::int64_t>(
        Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime) * 100);
    unsigned char header[kHeaderSize];
    DWORD got = 0;
    if (!ReadFile(h, header, sizeof header, &got, nullptr)) {
      details.file = TFileState::Unreadable;
      return nullptr;
    }
    details.file = TFileState::Present;
    details.type = GuessExtFromHeader(header, got);
    return file;
  }

  void Discover(TOpenFile& file, TMediaDetails& details) override {
    const HANDLE h = static_cast<THandleFile&>(file).Handle();
    // Reads at an offset through the handle Probe opened: the same file, whatever happened to
    // its name since, and no file position shared with anyone.
    const TReadAt read = [h](std::uint64_t offset, unsigned char* buffer,
                             std::size_t size) -> std::optional<std::size_t> {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD got = 0;
      if (ReadFile(h, buffer, static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD)), &got, &at))
        return got;
      return GetLastError() == ERROR_HANDLE_EOF ? std::optional<std::size_t>(0) : std::nullopt;
    };
    TTagInfo tags = ReadTags(read, details.size.value_or(0), AnsiToUtf8);
    details.media = !tags.readable ? TMediaKind::Unknown
                    : tags.audio   ? TMediaKind::Audio
                                   : TMediaKind::NotAudio;
    details.title = std::move(tags.title);
    details.artist = std::move(tags.artist);
    details.album = std::move(tags.album);
    details.durationMs = tags.durationMs;
  }
};

}  // namespace

std::unique_ptr<IDetailsReader> CreateDetailsReader(std::chrono::milliseconds) {
  return std::make_unique<TWinDetailsReader>();
}

}  // namespace mv
