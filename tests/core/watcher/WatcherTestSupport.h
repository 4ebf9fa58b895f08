// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the watcher tests: temporary trees, a recorder of handler calls, resource counts.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "FileSystemWatcher/ChangeRecords.h"
#include "FileSystemWatcher/FileSystemWatcher.h"
#include "utility/Dispatcher.h"

namespace mv {
inline void PrintTo(const TFileEvent& e, std::ostream* os) {
  *os << "{" << FileOperationName(e.operation) << ", \"" << e.name1 << "\", \"" << e.name2 << "\"}";
}
}  // namespace mv

namespace mv::test {

class TTempDir {
 public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mv-watch-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  // Without trailing "/".
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  std::string path_;
};

inline void MakeFile(const std::string& path, const std::string& content = {}) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) std::abort();
  if (!content.empty() && write(fd, content.data(), content.size()) < 0) std::abort();
  close(fd);
}

inline void MakeDir(const std::string& path) { std::filesystem::create_directories(path); }

inline int CountEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}
// Open descriptors and threads of this process (the directory stream of the count itself
// included the same way each time).
inline int CountOpenFds() { return CountEntries("/proc/self/fd"); }
inline int CountThreads() { return CountEntries("/proc/self/task"); }

// Runs the main loop until pred holds, also when what pred looks at changes off the loop.
inline bool Eventually(TQueueDispatcher& loop, const std::function<bool()>& pred, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!loop.RunUntil(pred, 10)) {
    if (std::chrono::steady_clock::now() > deadline) return pred();
  }
  return true;
}

// Records the handler calls in order.
struct TRecorder {
  std::vector<TFileEvent> events;
  TFileDealMethod Handler() {
    return [this](TFileOperation op, const std::string& a, const std::string& b) {
      events.push_back(TFileEvent{op, a, b});
    };
  }
  std::size_t Count(TFileOperation op, const std::string& name1) const {
    std::size_t n = 0;
    for (const auto& e : events) n += e.operation == op && e.name1 == name1;
    return n;
  }
  std::map<std::string, int> AddedCounts() const {
    std::map<std::string, int> m;
    for (const auto& e : events) {
      if (e.operation == TFileOperation::foAdded) ++m[e.name1];
    }
    return m;
  }
};

}  // namespace mv::test
