// SPDX-License-Identifier: GPL-3.0-or-later
// File existence, rename, copy and open on Windows. Names are ANSI code-page strings passed to
// the system's A functions as they are.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "utility/FileRules.h"
#include "utility/NameRules.h"
#include "utility/SysUtils.h"

namespace mv {

namespace {

// Closes the handle on every path out of a scope.
class THandle {
 public:
  explicit THandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  THandle(THandle&& other) noexcept : h_(other.Release()) {}
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  ~THandle() {
    if (Valid()) CloseHandle(h_);
  }
  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE h_;
};

bool IsDotName(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The directory part as the system splits it: after the last "\", "/" or ":" that is not the
// second byte of a double-byte character.
std::string DirectoryOf(const std::string& name) {
  const int p = LastDelimiterPos("\\/:", name);
  return name.substr(0, static_cast<std::size_t>(p));
}

// The identity of a file: same volume and same file index means the same file, whatever name
// (hard link, "a\..\a", short name, case) reached it.
using TFileId = BY_HANDLE_FILE_INFORMATION;

bool IsSameFile(const TFileId& a, const TFileId& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

bool IsDirectory(const TFileId& id) {
  return (id.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Identity of whatever the name names now, without disturbing anyone who holds it open.
bool IdentifyName(const std::string& name, TFileId& id) {
  THandle h(CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return h.Valid() && GetFileInformationByHandle(h.Get(), &id);
}

bool WriteAll(HANDLE h, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(h, data, size, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

TFileResult Failed() { return TFileResult::SystemError(static_cast<int>(GetLastError())); }

TFileResult CopyData(HANDLE in, HANDLE out, std::uint64_t& copied, std::uint64_t total,
                     TCopyProgress progress, void* context) {
  std::vector<char> buffer(256 * 1024);
  copied = 0;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
      return Failed();
    }
    if (n == 0) return {};
    if (!WriteAll(out, buffer.data(), n)) return Failed();
    copied += n;
    if (progress != nullptr && !progress(context, copied, total)) return TFileFault::Cancelled;
  }
}

// Size and last-write time of an open file, to tell whether it changed while it was copied.
struct TSourceState {
  LARGE_INTEGER size{};
  FILETIME written{};
  bool operator==(const TSourceState& o) const {
    return size.QuadPart == o.size.QuadPart && written.dwLowDateTime == o.written.dwLowDateTime &&
           written.dwHighDateTime == o.written.dwHighDateTime;
  }
};

bool ReadSourceState(HANDLE h, TSourceState& state) {
  return GetFileSizeEx(h, &state.size) && GetFileTime(h, nullptr, nullptr, &state.written);
}

// A new, empty file beside the target that nobody else can have opened: CREATE_NEW fails
// rather than reuse a name.
THandle CreateTempBeside(const std::string& target, std::string& tempName) {
  static std::atomic<unsigned> counter{0};
  const std::string dir = DirectoryOf(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName = dir + ".melvigil-copy-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(counter.fetch_add(1)) + "-" + std::to_string(GetTickCount());
    THandle h(CreateFileA(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h.Valid()) return h;
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  tempName.clear();
  return THandle();
}

void RemoveTemp(const std::string& tempName) {
  SetFileAttributesA(tempName.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(tempName.c_str());
}

class TWinFileStream final : public TFileStream {
 public:
  TWinFileStream(HANDLE h, std::string name) : h_(h), name_(std::move(name)) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    auto* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      DWORD n = 0;
      if (!ReadFile(h_.Get(), p + done, chunk, &n, nullptr)) {
        throw Exception("读取文件出错 " + name_ + ": " + std::to_string(GetLastError()));
      }
      if (n == 0) break;
      done += n;
    }
    return done;
  }

 private:
  THandle h_;
  std::string name_;
};

}  // namespace

int DirectoryError(const std::string& name) {
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ENOTDIR;
}

bool FileIsPresent(const std::string& name) {
  if (name.empty()) return false;
  WIN32_FIND_DATAA data{};
  HANDLE find = FindFirstFileA(name.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  // "." and ".." are no names of files: a pattern's first real match decides.
  bool more = true;
  while (more && IsDotName(data.cFileName)) more = FindNextFileA(find, &data) != 0;
  FindClose(find);
  // Any existing file counts, whatever its date: a download stamped before 1980 (a zeroed
  // or foreign timestamp) is still a download.
  return more && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string SystemErrorText(int error) {
  // The same words as on Linux for the failures a user can mend, whatever the system's
  // language; the system's own text for the rest.
  switch (static_cast<DWORD>(error)) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "No space left on device";
    case ERROR_ACCESS_DENIED:
      return "Permission denied";
    case ERROR_WRITE_PROTECT:
      return "Read-only file system";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "No such file or directory";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return "File exists";
    default:
      break;
  }
  char buffer[512] = {};
  const DWORD n =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(error), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "system error " + std::to_string(error) : text;
}

TFileResult RenameFileTo(const std::string& oldName, const std::string& newName) {
  if (oldName.empty() || newName.empty()) return TFileResult::SystemError(ERROR_FILE_NOT_FOUND);
  // Never replaces the target; a file that another program holds open (a download being
  // written) is refused by the system with a sharing violation.
  if (MoveFileA(oldName.c_str(), newName.c_str())) return {};
  if (GetLastError() == ERROR_SHARING_VIOLATION) return TFileFault::OpenForWriting;
  return Failed();
}

TFileResult CopyFileOverwrite(const std::string& source, const std::string& target,
                              TCopyProgress progress, void* context) {
  if (source.empty() || target.empty()) return TFileResult::SystemError(ERROR_FILE_NOT_FOUND);
  // No write sharing: the open fails while a downloader holds the file open for writing, and
  // nobody can start writing it while we read.
  THandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.Valid()) {
    if (GetLastError() == ERROR_SHARING_VIOLATION) return TFileFault::OpenForWriting;
    return Failed();
  }
  TFileId src{};
  if (!GetFileInformationByHandle(in.Get(), &src)) return Failed();
  if (IsDirectory(src) || GetFileType(in.Get()) != FILE_TYPE_DISK) return TFileFault::NotAFile;
  FILETIME created{}, accessed{}, written{};
  GetFileTime(in.Get(), &created, &accessed, &written);
  const DWORD attributes = GetFileAttributesA(source.c_str());
  TSourceState before;
  if (!ReadSourceState(in.Get(), before)) return Failed();

  // The same file under another name must not be copied onto itself: replacing it would
  // drop its data.
  TFileId dst{};
  if (IdentifyName(target, dst)) {
    if (IsSameFile(dst, src)) return TFileFault::SameFile;
    if (IsDirectory(dst)) return TFileFault::NotAFile;
  }

  // Write beside the target, then move into place: the old target stays whole until the new
  // one is complete.
  std::string tempName;
  THandle out = CreateTempBeside(target, tempName);
  if (!out.Valid()) return Failed();
  std::uint64_t copied = 0;
  TFileResult r = CopyData(in.Get(), out.Get(), copied,
                           static_cast<std::uint64_t>(before.size.QuadPart), progress, context);
  TSourceState after;
  if (r && !ReadSourceState(in.Get(), after)) r = Failed();
  if (r && (!(after == before) || copied != static_cast<std::uint64_t>(before.size.QuadPart))) {
    r = TFileFault::SourceChanged;
  }
  if (r && !SetFileTime(out.Get(), &created, &accessed, &written)) r = Failed();
  if (r && !FlushFileBuffers(out.Get())) r = Failed();
  if (!CloseHandle(out.Release()) && r) r = Failed();
  if (r && attributes != INVALID_FILE_ATTRIBUTES) {
    // As the system's copy does: the source's read-only, hidden, system and archive marks.
    const DWORD keep = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (keep != 0) SetFileAttributesA(tempName.c_str(), keep);
  }
  if (r && !MoveFileExA(tempName.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    r = Failed();
  }
  if (!r) RemoveTemp(tempName);
  return r;
}

std::optional<TListedFile> InspectListedFile(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  const TListedFile file{(std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow, false};
  // Sharing reading alone fails while another program holds the file open for writing.
  THandle h(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h.Valid()) return file;
  if (GetLastError() != ERROR_SHARING_VIOLATION) return std::nullopt;
  return TListedFile{file.size, true};
}

std::unique_ptr<TFileStream> OpenForReading(const std::string& name) {
  // Share mode 0: fails while anyone else holds the file open (a download still being
  // written), and keeps others out while we read.
  THandle h(CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) RaiseOpenError(name);
  if (GetFileType(h.Get()) != FILE_TYPE_DISK) RaiseOpenError(name);
  return std::make_unique<TWinFileStream>(h.Release(), name);
}

}  // namespace mv
