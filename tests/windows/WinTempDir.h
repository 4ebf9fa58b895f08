// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh directory per test under the system's temporary folder, removed with everything in
// it afterwards, and small file helpers on ANSI names.
#include <windows.h>

#include <stdexcept>
#include <string>

namespace mv::test {

inline void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA data{};
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

class TTempDir {
 public:
  TTempDir() {
    char base[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = std::string(base) + "melvigil-test-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++counter);
      if (CreateDirectoryA(path_.c_str(), nullptr)) return;
    }
    throw std::runtime_error("cannot create a temporary directory");
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  ~TTempDir() { RemoveTree(path_); }
  // The directory with a trailing "\".
  std::string Dir() const { return path_ + "\\"; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& name, const std::string& content) {
  HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + name);
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(h);
  if (!ok || written != content.size()) throw std::runtime_error("cannot write " + name);
}

inline std::string ReadFile(const std::string& name) {
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out;
  char buffer[4096];
  DWORD n = 0;
  while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  CloseHandle(h);
  return out;
}

// How many names a directory holds besides "." and "..".
inline int CountEntries(const std::string& dir) {
  int count = 0;
  WIN32_FIND_DATAA data{};
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") ++count;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return count;
}

}  // namespace mv::test
