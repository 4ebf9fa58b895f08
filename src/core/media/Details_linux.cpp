// SPDX-License-Identifier: GPL-3.0-or-later
// Details on Linux: the file opened by us without waiting, its first bytes read by us, and its
// tags and duration by GStreamer's discoverer reading the very same descriptor.

#include <fcntl.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "media/Details.h"
#include "media/GstInit_linux.h"
#include "utility/GuessFileExt.h"
#include "utility/LongPath_linux.h"
#include "utility/SysCall.h"
#include "utility/UniqueFd.h"

namespace mv {

namespace {

class TFdFile final : public IDetailsReader::TOpenFile {
 public:
  explicit TFdFile(TUniqueFd fd) : fd_(std::move(fd)) {}
  int Fd() const { return fd_.get(); }

 private:
  TUniqueFd fd_;
};

std::string TagText(const GstTagList* tags, const char* tag) {
  gchar* value = nullptr;
  if (tags == nullptr || !gst_tag_list_get_string(tags, tag, &value) || value == nullptr) return {};
  std::string text(value);
  g_free(value);
  return text;
}

class TGstDetailsReader final : public IDetailsReader {
 public:
  explicit TGstDetailsReader(std::chrono::milliseconds timeout) : timeout_(timeout) {}
  ~TGstDetailsReader() override {
    if (discoverer_ != nullptr) g_object_unref(discoverer_);
  }

  std::unique_ptr<TOpenFile> Probe(const std::string& path, TMediaDetails& details,
                                   TFileStamp& stamp) override;
  void Discover(TOpenFile& file, TMediaDetails& details) override;
  void Prepare() override;

 private:
  bool EnsureDiscoverer();

  std::chrono::milliseconds timeout_;
  GstDiscoverer* discoverer_ = nullptr;
};

std::unique_ptr<IDetailsReader::TOpenFile> TGstDetailsReader::Probe(const std::string& path,
                                                                    TMediaDetails& details,
                                                                    TFileStamp& stamp) {
  // Without O_NONBLOCK a named pipe called song.mp3 would hold the worker until some writer
  // came, and every hover after it.
  TUniqueFd fd(OpenLongPath(path, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd) {
    const int error = errno;
    const TPathAt at(path);
    if (error == ENOENT || error == ENOTDIR) {
      details.file = TFileState::Gone;
    } else if (at && ::fstatat(at.Dir(), at.Name(), &st, 0) == 0 && !S_ISREG(st.st_mode)) {
      details.file = TFileState::NotAFile;
    } else {
      details.file = TFileState::Unreadable;
      if (S_ISREG(st.st_mode)) details.size = static_cast<std::uint64_t>(st.st_size);
    }
    return nullptr;
  }
  if (::fstat(fd.get(), &st) != 0) {
    details.file = TFileState::Unreadable;
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    details.file = TFileState::NotAFile;
    return nullptr;
  }
  details.size = static_cast<std::uint64_t>(st.st_size);
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  unsigned char header[kGuessHeaderSize];
  const ssize_t got =
      RetryOnEintr("pread", [&] { return ::pread(fd.get(), header, sizeof header, 0); });
  if (got < 0) {
    details.file = TFileState::Unreadable;
    return nullptr;
  }
  details.file = TFileState::Present;
  details.type = GuessExtFromHeader(header, static_cast<std::size_t>(got));
  return std::make_unique<TFdFile>(std::move(fd));
}

bool TGstDetailsReader::EnsureDiscoverer() {
  EnsureGstInitialized();
  if (discoverer_ == nullptr)
    discoverer_ =
        gst_discoverer_new(static_cast<GstClockTime>(timeout_.count()) * GST_MSECOND, nullptr);
  return discoverer_ != nullptr;
}

// The first reading loads GStreamer's type finders and plug-ins, several times as long as any
// later one. Typefinding a few bytes that are no media loads most of it; the bytes live in
// memory, in no file of the user's.
void TGstDetailsReader::Prepare() {
  if (!EnsureDiscoverer()) return;
  TUniqueFd fd(::memfd_create("melvigil-prepare", MFD_CLOEXEC));
  static constexpr char kText[] = "Nothing but text, to wake the type finders.\n";
  if (!fd || !WriteAll(fd.get(), kText) || ::lseek(fd.get(), 0, SEEK_SET) != 0) return;
  const std::string uri = "fd://" + std::to_string(fd.get());
  if (GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer_, uri.c_str(), nullptr))
    gst_discoverer_info_unref(info);
}

void TGstDetailsReader::Discover(TOpenFile& open, TMediaDetails& details) {
  if (!EnsureDiscoverer()) return;
  const auto& file = static_cast<TFdFile&>(open);
  const std::string uri = "fd://" + std::to_string(file.Fd());
  GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer_, uri.c_str(), nullptr);
  if (info == nullptr) return;
  GList* audio = gst_discoverer_info_get_audio_streams(info);
  switch (gst_discoverer_info_get_result(info)) {
    case GST_DISCOVERER_OK:
      details.media = audio != nullptr ? TMediaKind::Audio : TMediaKind::NotAudio;
      break;
    case GST_DISCOVERER_ERROR:
      // Nothing GStreamer knows how to take apart; a decoder merely missing is not this.
      details.media = TMediaKind::NotAudio;
      break;
    default:  // timed out, busy, missing plug-ins
      break;
  }
  if (details.media == TMediaKind::Audio) {
    const GstTagList* tags = gst_discoverer_info_get_tags(info);
    details.title = TagText(tags, GST_TAG_TITLE);
    details.artist = TagText(tags, GST_TAG_ARTIST);
    details.album = TagText(tags, GST_TAG_ALBUM);
    const GstClockTime duration = gst_discoverer_info_get_duration(info);
    if (GST_CLOCK_TIME_IS_VALID(duration) && duration > 0)
      details.durationMs = static_cast<std::int64_t>(duration / GST_MSECOND);
  }
  gst_discoverer_stream_info_list_free(audio);
  gst_discoverer_info_unref(info);
}

}  // namespace

std::unique_ptr<IDetailsReader> CreateDetailsReader(std::chrono::milliseconds timeout) {
  return std::make_unique<TGstDetailsReader>(timeout);
}

}  // namespace mv
