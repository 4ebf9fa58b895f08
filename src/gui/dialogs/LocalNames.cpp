// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/LocalNames.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QStringList>
#include <filesystem>
#include <memory>
#include <system_error>

namespace mv::detail {
namespace {

constexpr QChar kReplacement(0xFFFD);

// Bytes of the one entry of `folder` whose decoded name is `shown`; empty when none or several.
std::string FindEntry(const std::string& folder, const QString& shown) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!dir) return {};
  std::string found;
  int matches = 0;
  while (dirent* entry = readdir(dir.get())) {
    if (QString::fromLocal8Bit(entry->d_name) == shown) {
      found = entry->d_name;
      ++matches;
    }
  }
  // Two names that decode alike cannot be told apart; encoding the text then names a new file
  // rather than silently picking one of them.
  return matches == 1 ? found : std::string();
}

}  // namespace

QString ToDisplay(const std::string& bytes) {
  return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToLocalPath(const QString& shown) {
  if (!shown.contains(kReplacement)) return shown.toLocal8Bit().toStdString();
  const QStringList parts = shown.split(QLatin1Char('/'));
  std::string result;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (i > 0) result += '/';
    const QString& part = parts[i];
    std::string bytes;
    if (part.contains(kReplacement)) {
      std::string folder = result.empty() ? std::string(".") : result;
      bytes = FindEntry(folder, part);
    }
    if (bytes.empty()) bytes = part.toLocal8Bit().toStdString();
    result += bytes;
  }
  return result;
}

std::string CurrentDirectory() {
  std::error_code ec;
  std::string dir = std::filesystem::current_path(ec).string();
  return ec || dir.empty() ? std::string("/") : dir;
}

std::string FullPath(const std::string& path) {
  std::filesystem::path p(path);
  if (p.is_relative()) p = std::filesystem::path(CurrentDirectory()) / p;
  std::string full = p.lexically_normal().string();
  while (full.size() > 1 && full.back() == '/') full.pop_back();
  return full.empty() ? std::string("/") : full;
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace mv::detail
