// SPDX-License-Identifier: GPL-3.0-or-later
// Change records as the system delivers them, converted under several narrow code sets. The
// first byte picks the locale; the rest is the notification buffer. The parser must never read
// outside the buffer (AddressSanitizer sees to that), and the decoder's calls must name trimmed
// names below the watched directory.

#include <langinfo.h>

#include <clocale>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FileSystemWatcher/ChangeRecords.h"
#include "FuzzCheck.h"
#include "utility/NameRules.h"

namespace {

// fuzz/run.sh makes the double-byte ones in a private LOCPATH; where one is missing the
// previous locale stays, which is still a valid run.
constexpr const char* kLocales[] = {"C",          "C.UTF-8",    "zh_CN.GBK",
                                    "zh_TW.BIG5", "ja_JP.SJIS", "ko_KR.EUC-KR"};

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

bool IsUtf8Codeset(std::string_view codeset) {
  return codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8";
}

// A decoded name: empty (nothing left after trimming) or the directory and a trimmed name.
void CheckName(const std::string& full, const std::string& dir) {
  if (full.empty()) return;
  FUZZ_CHECK(full.size() > dir.size());
  FUZZ_CHECK(full.compare(0, dir.size(), dir) == 0);
  FUZZ_CHECK(static_cast<unsigned char>(full[dir.size()]) > 0x20);
  FUZZ_CHECK(static_cast<unsigned char>(full.back()) > 0x20);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::setlocale(LC_ALL, kLocales[data[0] % std::size(kLocales)]);
  const std::string codeset = nl_langinfo(CODESET);
  mv::SetLeadBytes(mv::LeadBytesForCodeset(codeset));
  ++data;
  --size;

  const mv::TChangeBatch batch = mv::ParseChangeRecords(data, size);
  // Every step moves forward (offsets below a header's size overlap, but still advance).
  FUZZ_CHECK(batch.size() <= size);
  for (const mv::TChangeRecord& r : batch) {
    if (IsUtf8Codeset(codeset)) FUZZ_CHECK(IsValidUtf8(r.name));
  }

  const std::string dir = mv::WithDirDelimiter("/watched");
  const std::vector<mv::TFileEvent> events = mv::DecodeBatch(batch, dir);
  FUZZ_CHECK(events.size() <= batch.size());
  for (const mv::TFileEvent& e : events) {
    CheckName(e.name1, dir);
    CheckName(e.name2, dir);
    if (e.operation != mv::TFileOperation::foRenamed) FUZZ_CHECK(e.name2.empty());
  }
  return 0;
}
