// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real files in a fresh temporary directory, removed with everything in it at the end.

#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace mv::test {

class TTempDir {
 public:
  TTempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "melvigil-commands-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The directory with a trailing "/".
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool Exists(const std::string& name) {
  struct stat st;
  return ::lstat(name.c_str(), &st) == 0;
}

inline void SetTimes1970(const std::string& name) {
  struct utimbuf times {};
  times.actime = 1000;
  times.modtime = 1000;
  if (::utime(name.c_str(), &times) != 0) throw std::runtime_error("utime failed");
}

// An MP3 as downloads have it: an ID3v2 tag, then a frame header.
inline std::string Id3Mp3() {
  std::string s("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
  s += std::string("\xFF\xFB\x90\x64", 4);
  s += std::string(200, '\x55');
  return s;
}

// A short RIFF/WAVE file: 0.1 s of silence, 8 kHz mono 8-bit.
inline std::string SilentWav() {
  const std::uint32_t samples = 800;
  auto le32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
  };
  auto le16 = [](std::uint16_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  };
  std::string s = "RIFF" + le32(36 + samples) + "WAVE";
  s += "fmt " + le32(16) + le16(1) + le16(1) + le32(8000) + le32(8000) + le16(1) + le16(8);
  s += "data" + le32(samples) + std::string(samples, '\x80');
  return s;
}

}  // namespace mv::test
