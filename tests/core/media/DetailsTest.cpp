// SPDX-License-Identifier: GPL-3.0-or-later
// The details provider: its queue and cache against a scripted reader, and the Linux reader
// with real clips (tests/data/make-audio.sh) and bad input.

#include "media/Details.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempDir.h"
#include "utility/Dispatcher.h"
#include "utility/SysCall.h"

namespace mv {
namespace {

using test::TTempDir;

// Bounds a hang, not a speed: a request that never answers fails here.
constexpr int kAnswerMs = 10000;

// Files by name: "gone*" is missing, "throw-probe" and "throw-discover" fail in that step, and
// the gate holds its probe until opened.
class TScriptedReader final : public IDetailsReader {
 public:
  struct TFile final : TOpenFile {
    TFile(std::string p, std::atomic<int>& o) : path(std::move(p)), open(o) { ++open; }
    ~TFile() override { --open; }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    std::string path;
    std::atomic<int>& open;
  };

  std::unique_ptr<TOpenFile> Probe(const std::string& path, TMediaDetails& details,
                                   TFileStamp& stamp) override {
    {
      std::unique_lock lock(mutex);
      probed.push_back(path);
      if (path == "gate") {
        atGate = true;
        changed.notify_all();
        changed.wait(lock, [&] { return gateOpen; });
      }
    }
    details.file = TFileState::Present;
    if (path == "throw-probe") throw std::runtime_error("probe");
    if (path.rfind("gone", 0) == 0) {
      details.file = TFileState::Gone;
      return nullptr;
    }
    details.size = path.size();
    details.type = ".mp3";
    stamp.size = path.size();
    return std::make_unique<TFile>(path, open);
  }
  void Discover(TOpenFile& file, TMediaDetails& details) override {
    const std::string& path = static_cast<TFile&>(file).path;
    if (path == "throw-discover") throw std::runtime_error("discover");
    details.media = TMediaKind::Audio;
    details.title = path;
  }

  void WaitAtGate() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return atGate; });
  }
  void OpenGate() {
    std::lock_guard lock(mutex);
    gateOpen = true;
    changed.notify_all();
  }
  std::vector<std::string> Probed() {
    std::lock_guard lock(mutex);
    return probed;
  }

  std::atomic<int> open{0};  // files probed and not yet closed

 private:
  std::mutex mutex;
  std::condition_variable changed;
  bool atGate = false;
  bool gateOpen = false;
  std::vector<std::string> probed;
};

TEST(DetailsProvider, NewestFirstAndOldestUnservedDropped) {
  struct TCase {
    std::size_t limit;
    std::vector<std::string> asked;  // while the worker is held on the first request
    std::vector<std::string> served;
    std::vector<std::string> answered;  // complete answers, one per callback
    std::uint64_t dropped;
  };
  const TCase cases[] = {
      {2, {"b", "c", "d"}, {"d", "c"}, {"d", "c"}, 1},
      {1, {"b", "c", "d", "e"}, {"e"}, {"e"}, 3},
      // Asked again while queued: one reading, both callbacks, at the front.
      {3, {"b", "c", "b"}, {"b", "c"}, {"b", "b", "c"}, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.asked));
    TQueueDispatcher dispatcher;
    auto owned = std::make_unique<TScriptedReader>();
    TScriptedReader& reader = *owned;
    TDetailsProvider provider(dispatcher, std::move(owned), {.queueLimit = c.limit});
    std::vector<std::string> answered;
    auto record = [&](const TMediaDetails& d) {
      if (d.complete) answered.push_back(d.title);
    };
    provider.Request("gate", {});
    reader.WaitAtGate();
    for (const std::string& path : c.asked) provider.Request(path, record);
    EXPECT_EQ(provider.Dropped(), c.dropped);
    reader.OpenGate();
    ASSERT_TRUE(
        dispatcher.RunUntil([&] { return answered.size() >= c.answered.size(); }, kAnswerMs));
    EXPECT_EQ(answered, c.answered);
    std::vector<std::string> served = c.served;
    served.insert(served.begin(), "gate");
    EXPECT_EQ(reader.Probed(), served);
  }
}

TEST(DetailsProvider, FailingReaderAnswersWithWhatIsKnown) {
  struct TCase {
    std::string path;
    TFileState file;
    TMediaKind media;
    bool sized;
  };
  const TCase cases[] = {
      {"throw-probe", TFileState::Unreadable, TMediaKind::Unknown, false},
      {"throw-discover", TFileState::Present, TMediaKind::Unknown, true},
      {"gone", TFileState::Gone, TMediaKind::Unknown, false},
      {"fine", TFileState::Present, TMediaKind::Audio, true},
  };
  TQueueDispatcher dispatcher;
  TDetailsProvider provider(dispatcher, std::make_unique<TScriptedReader>());
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.path);
    std::optional<TMediaDetails> got;
    provider.Request(c.path, [&](const TMediaDetails& d) {
      if (d.complete) got = d;
    });
    ASSERT_TRUE(dispatcher.RunUntil([&] { return got.has_value(); }, kAnswerMs));
    EXPECT_EQ(got->file, c.file);
    EXPECT_EQ(got->media, c.media);
    EXPECT_EQ(got->size.has_value(), c.sized);
  }
}

// Whoever acts on an answer (a rename, a copy, a writer that shares nothing) may need the file
// to themselves, so it is closed before a complete answer is posted, read or cached alike.
TEST(DetailsProvider, FileIsClosedBeforeTheCompleteAnswerGoesOut) {
  struct TSeeingDispatcher final : IMainThreadDispatcher {
    explicit TSeeingDispatcher(std::atomic<int>& o) : open(o) {}
    void Post(std::function<void()> task) override {
      inner.Post([this, n = open.load(), task = std::move(task)] {
        openWhenPosted = n;
        task();
      });
    }
    std::atomic<int>& open;
    TQueueDispatcher inner;
    int openWhenPosted = -1;
  };
  auto owned = std::make_unique<TScriptedReader>();
  TSeeingDispatcher dispatcher(owned->open);
  TDetailsProvider provider(dispatcher, std::move(owned));
  for (const char* answer : {"read", "cached"}) {
    SCOPED_TRACE(answer);
    std::optional<int> open;
    provider.Request("fine", [&](const TMediaDetails& d) {
      if (d.complete) open = dispatcher.openWhenPosted;
    });
    ASSERT_TRUE(dispatcher.inner.RunUntil([&] { return open.has_value(); }, kAnswerMs));
    EXPECT_EQ(*open, 0);
  }
  EXPECT_EQ(provider.DiscoveriesStarted(), 1u);
}

TEST(DetailsText, LinesAsFarAsKnown) {
  TMediaDetails full;
  full.file = TFileState::Present;
  full.complete = true;
  full.media = TMediaKind::Audio;
  full.title = "Tone\nfake line";
  full.artist = "Melvigil";
  full.album = "专辑一";
  full.durationMs = 3 * 3600000 + 5 * 60000 + 9999;
  full.size = 1023 * 1024 + 1000;  // just under 1 MB: must not read "1024.0 KB"
  full.type = ".mp3";
  TMediaDetails probed;
  probed.file = TFileState::Present;
  probed.size = 1023;
  TMediaDetails notAudio = probed;
  notAudio.complete = true;
  notAudio.media = TMediaKind::NotAudio;
  notAudio.durationMs = 59999;
  TMediaDetails gone;
  gone.file = TFileState::Gone;
  gone.complete = true;
  TMediaDetails notAFile;
  notAFile.file = TFileState::NotAFile;
  TMediaDetails unreadable;
  unreadable.file = TFileState::Unreadable;
  unreadable.size = 7;
  const struct {
    TMediaDetails details;
    std::string text;
  } cases[] = {
      {full,
       "标题：Tone fake line\n艺术家：Melvigil\n专辑：专辑一\n时长：3:05:09\n大小：1.0 MB\n"
       "类型：.mp3"},
      {probed, "大小：1023 字节\n类型：未知\n正在读取…"},
      {notAudio, "时长：0:59\n大小：1023 字节\n类型：未知\n不是音频文件"},
      {gone, "文件已不存在"},
      {TMediaDetails{}, "正在读取…"},
      {notAFile, "不是普通文件"},
      {unreadable, "大小：7 字节\n无法读取该文件"},
  };
  for (const auto& c : cases) EXPECT_EQ(DetailsText(c.details), c.text);
}

// --- the platform's reader --------------------------------------------------------------------

std::string Audio(const std::string& name) {
  return std::string(MELVIGIL_TEST_AUDIO_DIR "/") + name;
}

// Runs the dispatcher until the complete answer for path; the first answer is kept apart.
struct TAnswer {
  TMediaDetails atOnce;
  std::optional<TMediaDetails> complete;
};
TAnswer Ask(TDetailsProvider& provider, TQueueDispatcher& dispatcher, const std::string& path) {
  TAnswer answer;
  answer.atOnce = provider.Request(path, [&](const TMediaDetails& d) {
    if (d.complete) answer.complete = d;
  });
  dispatcher.RunUntil([&] { return answer.complete.has_value(); }, kAnswerMs);
  return answer;
}

int RefuseOpen(const char* name) { return std::string(name) == "open" ? EACCES : 0; }

TEST(DetailsReader, BadInputAnswersPromptlyWithWhatIsKnown) {
  TTempDir dir;
  namespace fs = std::filesystem;
  const auto size = [](const std::string& name) { return fs::file_size(Audio(name)); };
  struct TCase {
    std::string name;
    std::function<void(const std::string&)> make;
    TFileState file;
    TMediaKind media;
    std::optional<std::uint64_t> size;
    std::string type;
    bool refuseOpen = false;
  };
  const auto copy = [](const std::string& from) {
    return [from](const std::string& to) { fs::copy_file(Audio(from), to); };
  };
  const TCase cases[] = {
      {"gone.mp3", [](const std::string&) {}, TFileState::Gone, TMediaKind::Unknown, {}, ""},
      {"text.mp3", copy("text.mp3"), TFileState::Present, TMediaKind::NotAudio, size("text.mp3"),
       ""},
      {"empty.mp3", copy("empty.mp3"), TFileState::Present, TMediaKind::NotAudio, 0, ""},
      {"fifo.mp3",
       [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
       TFileState::NotAFile,
       TMediaKind::Unknown,
       {},
       ""},
      {"dir.mp3",
       [](const std::string& p) { fs::create_directory(p); },
       TFileState::NotAFile,
       TMediaKind::Unknown,
       {},
       ""},
      {"locked.mp3", copy("short-id3.mp3"), TFileState::Unreadable, TMediaKind::Unknown,
       size("short-id3.mp3"), "", true},
      {"song.wav", copy("short.wav"), TFileState::Present, TMediaKind::Audio, size("short.wav"),
       ".wav"},
  };
  TQueueDispatcher dispatcher;
  TDetailsProvider provider(dispatcher);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / c.name;
    c.make(path);
    const TSysCallHook previous = SetSysCallHook(c.refuseOpen ? RefuseOpen : nullptr);
    const TAnswer answer = Ask(provider, dispatcher, path);
    SetSysCallHook(previous);
    ASSERT_TRUE(answer.complete.has_value());
    EXPECT_EQ(answer.complete->file, c.file);
    EXPECT_EQ(answer.complete->media, c.media);
    EXPECT_EQ(answer.complete->size, c.size);
    EXPECT_EQ(answer.complete->type, c.type);
  }
}

TEST(DetailsReader, TagsOfAnMp3AndCacheByModificationTimeAndSize) {
  TTempDir dir;
  namespace fs = std::filesystem;
  const std::string path = dir / "song.mp3";
  fs::copy_file(Audio("short-id3.mp3"), path);
  const auto setMtime = [&](long seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  setMtime(1000000000);
  const struct {
    const char* change;
    std::function<void()> apply;
    bool readAgain;
  } cases[] = {
      {"first", [] {}, true},
      {"unchanged", [] {}, false},
      {"mtime", [&] { setMtime(1000000001); }, true},
      // The same modification time afterwards: only the size tells.
      {"size",
       [&] {
         fs::resize_file(path, fs::file_size(path) + 1);
         setMtime(1000000001);
       },
       true},
  };
  TQueueDispatcher dispatcher;
  TDetailsProvider provider(dispatcher);
  // Getting ready reads nothing that counts.
  provider.Prepare();
  std::uint64_t before = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change);
    c.apply();
    const TAnswer answer = Ask(provider, dispatcher, path);
    ASSERT_TRUE(answer.complete.has_value());
    EXPECT_EQ(provider.DiscoveriesStarted() - before, c.readAgain ? 1u : 0u);
    before = provider.DiscoveriesStarted();
    const TMediaDetails& d = *answer.complete;
    EXPECT_EQ(d.media, TMediaKind::Audio);
    EXPECT_EQ(d.title, "Tone");
    EXPECT_EQ(d.artist, "Melvigil");
    EXPECT_EQ(d.type, ".mp3");
    EXPECT_EQ(d.size, fs::file_size(path));
    // The clip is 0.3 s; the encoder's padding may add a frame or two.
    ASSERT_TRUE(d.durationMs.has_value());
    EXPECT_GE(*d.durationMs, 250);
    EXPECT_LE(*d.durationMs, 400);
    // What was known before shows at once, without touching the file.
    EXPECT_EQ(answer.atOnce.title, std::string(c.change) == "first" ? "" : "Tone");
  }
}

}  // namespace
}  // namespace mv
