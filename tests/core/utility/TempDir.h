// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh directory per test, removed with everything in it afterwards, and small file helpers.

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

namespace mv::test {

class TTempDir {
 public:
  TTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/melvigil-test-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  // Tests that take away write permission give it back before they end.
  ~TTempDir() {
    ::nftw(
        path_.c_str(),
        [](const char* p, const struct stat* st, int, struct FTW*) {
          (void)st;
          ::remove(p);
          return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
  }
  // The directory with a trailing "/".
  std::string Dir() const { return path_ + "/"; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& name, const std::string& content) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + name);
}

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace mv::test
