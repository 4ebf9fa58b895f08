// SPDX-License-Identifier: GPL-3.0-or-later
// The media device on Linux: one GStreamer playbin per open medium, driven directly (no GLib
// main loop). Bus messages are handled by a sync handler on the thread that posts them; the
// handler only records what happened and forwards completion notices, which the player then
// posts to the window thread.

#include <fcntl.h>
#include <gst/gst.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "media/GstInit_linux.h"
#include "media/MediaDevice.h"
#include "utility/HandOver.h"
#include "utility/LongPath_linux.h"
#include "utility/UniqueFd.h"

namespace mv {

void EnsureGstInitialized() {
  static std::once_flag once;
  std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

namespace {

using std::chrono::milliseconds;

// How long an open may take to preroll before it counts as failed; a local music file
// prerolls in a few milliseconds.
constexpr milliseconds kOpenTimeout{5000};
// Bound of a waiting stop or seek.
constexpr milliseconds kStateTimeout{2000};

// GLib texts are UTF-8; the player's texts are in the locale's narrow encoding.
std::string ToLocaleText(const char* utf8) {
  if (utf8 == nullptr) return {};
  gsize written = 0;
  gchar* converted = g_locale_from_utf8(utf8, -1, nullptr, &written, nullptr);
  if (converted == nullptr) return utf8;
  std::string out(converted, written);
  g_free(converted);
  return out;
}

// GStreamer's own text for a source that cannot be read, in the locale's encoding.
std::string ResourceErrorText(GstResourceError code) {
  gchar* message = gst_error_get_message(GST_RESOURCE_ERROR, code);
  std::string text = ToLocaleText(message);
  g_free(message);
  return text;
}

std::int32_t NsToMs(gint64 ns) {
  if (ns <= 0) return 0;
  const gint64 ms = ns / GST_MSECOND;
  return ms > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(ms);
}

// What the bus reports for one medium, shared with the sync handler.
struct TBusState {
  std::mutex mutex;
  std::condition_variable changed;
  bool failed = false;          // an error was reported
  std::string firstError;       // the text of the first error, which names the cause
  bool prerolled = false;       // the first ASYNC_DONE arrived
  unsigned long asyncDone = 0;  // ASYNC_DONE messages so far
  bool eos = false;             // playback reached the end of the current segment
  IMediaDevice::TNotifyFn openNotify;
  IMediaDevice::TNotifyFn playNotify;

  // Ends the wait of the running play command: it hears value, outside the lock.
  void EndPlayNotify(TMPNotifyValues value) {
    IMediaDevice::TNotifyFn notify;
    {
      std::lock_guard lock(mutex);
      notify = std::move(playNotify);
    }
    if (notify) notify(value);
  }
};

GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
  TakeOver(data);
  auto& state = **static_cast<std::shared_ptr<TBusState>*>(data);
  // Teardown frees the data once going to NULL has stopped the thread that runs this.
  struct TDone {
    const TBusState* state;
    ~TDone() { HandOver(state); }
  } done{&state};
  IMediaDevice::TNotifyFn openNotify, playNotify;
  TMPNotifyValues openValue = nvSuccessful, playValue = nvSuccessful;
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      std::lock_guard lock(state.mutex);
      if (!state.failed) {
        state.failed = true;
        state.firstError = ToLocaleText(error != nullptr ? error->message : nullptr);
      }
      openNotify = std::move(state.openNotify);
      playNotify = std::move(state.playNotify);
      openValue = playValue = nvFailure;
      if (error != nullptr) g_error_free(error);
      break;
    }
    case GST_MESSAGE_ASYNC_DONE: {
      std::lock_guard lock(state.mutex);
      state.prerolled = true;
      ++state.asyncDone;
      openNotify = std::move(state.openNotify);
      break;
    }
    case GST_MESSAGE_EOS: {
      std::lock_guard lock(state.mutex);
      state.eos = true;
      playNotify = std::move(state.playNotify);
      break;
    }
    default:
      // Nobody pops this bus: everything else is dropped.
      return GST_BUS_DROP;
  }
  state.changed.notify_all();
  if (openNotify) openNotify(openValue);
  if (playNotify) playNotify(playValue);
  return GST_BUS_DROP;
}

void OnHandoff(GstElement*, GstBuffer*, GstPad*, gpointer data) {
  (*static_cast<std::function<void()>*>(data))();
}

class TGstDevice final : public IMediaDevice {
 public:
  explicit TGstDevice(TDeviceOptions options) : options_(std::move(options)) {}
  ~TGstDevice() override { Teardown(); }

  std::uint32_t Open(const TOpenRequest& request, bool wait, TNotifyFn notify) override;
  std::uint32_t Close(bool wait, TNotifyFn notify) override;
  std::uint32_t Play(bool wait, TNotifyFn notify) override;
  std::uint32_t Stop(bool wait, TNotifyFn notify) override;
  std::uint32_t SeekToStart() override;

  std::uint16_t Id() const override { return pipeline_ != nullptr ? id_ : 0; }
  std::int32_t Length() override;
  std::int32_t Position() override;
  TMPModes Mode() override;
  bool ErrorText(std::uint32_t code, std::string& text) const override;

 private:
  GstElement* MakeAudioSink(std::string& error);
  // The open failed for the reason text, or for none that can be named when it is empty.
  std::uint32_t OpenFailed(std::string text);
  // Stops and frees the pipeline; the pending notices get `pendingValue`.
  void Teardown(TMPNotifyValues pendingValue = nvAborted);
  // Waits until the ASYNC_DONE after `before` arrived or an error; false on timeout.
  bool WaitAsyncDone(unsigned long before, milliseconds timeout);
  unsigned long AsyncDoneCount();

  TDeviceOptions options_;
  GstElement* pipeline_ = nullptr;
  std::shared_ptr<TBusState> bus_;
  // The open medium; GStreamer reads it through this descriptor, which outlives the pipeline.
  TUniqueFd file_;
  std::uint16_t id_ = 0;
  std::uint16_t lastId_ = 0;
  std::int32_t lastLength_ = 0;
  bool lengthExact_ = false;  // lastLength_ is the stream's duration, not an estimate
  std::int32_t lastPosition_ = 0;
  std::string openError_;
  std::string playError_;
};

GstElement* TGstDevice::MakeAudioSink(std::string& error) {
  if (options_.audioSink.empty() && !options_.onRender) return nullptr;  // playbin's default
  const std::string description =
      options_.audioSink.empty() ? std::string("autoaudiosink") : options_.audioSink;
  GError* parseError = nullptr;
  GstElement* sink = gst_parse_bin_from_description(description.c_str(), TRUE, &parseError);
  if (sink == nullptr) {
    error = ToLocaleText(parseError != nullptr ? parseError->message : nullptr);
    if (parseError != nullptr) g_error_free(parseError);
    return nullptr;
  }
  if (parseError != nullptr) g_error_free(parseError);  // a recoverable warning
  // Sinks that can run unsynchronised (fakesink) play in real time unless told otherwise, so
  // that playback takes as long as the medium.
  const bool syncGiven = description.find("sync=") != std::string::npos;
  GstIterator* it = gst_bin_iterate_sinks(GST_BIN(sink));
  GValue item = G_VALUE_INIT;
  while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
    auto* element = GST_ELEMENT(g_value_get_object(&item));
    GObjectClass* klass = G_OBJECT_GET_CLASS(element);
    if (!syncGiven && g_object_class_find_property(klass, "sync") != nullptr)
      g_object_set(element, "sync", TRUE, nullptr);
    if (options_.onRender && g_object_class_find_property(klass, "signal-handoffs") != nullptr) {
      g_object_set(element, "signal-handoffs", TRUE, nullptr);
      g_signal_connect(element, "handoff", G_CALLBACK(OnHandoff), &options_.onRender);
    }
    g_value_reset(&item);
  }
  g_value_unset(&item);
  gst_iterator_free(it);
  return sink;
}

std::uint32_t TGstDevice::Open(const TOpenRequest& request, bool wait, TNotifyFn notify) {
  Teardown();
  EnsureGstInitialized();
  openError_.clear();
  // The file is opened here without waiting (for a FIFO's writer, say) and refused unless it
  // is a regular file: a terminal or device node behind a music name would otherwise block
  // GStreamer's reading thread for good, and the close with it. GStreamer then reads this very
  // descriptor, so nothing can be put in the file's place between the check and the reading.
  TUniqueFd file(OpenLongPath(request.element, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!file) {
    return OpenFailed(ResourceErrorText(errno == ENOENT || errno == ENOTDIR
                                            ? GST_RESOURCE_ERROR_NOT_FOUND
                                            : GST_RESOURCE_ERROR_OPEN_READ));
  }
  struct stat st {};
  if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return OpenFailed(kNotAFileText);
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
    return OpenFailed(ResourceErrorText(GST_RESOURCE_ERROR_OPEN_READ));
  const std::string uri = "fd://" + std::to_string(file.get());

  GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
  if (pipeline == nullptr) return OpenFailed("no element \"playbin\"");
  g_object_set(pipeline, "uri", uri.c_str(), nullptr);
  // A music player: no video window, no subtitles.
  gst_util_set_object_arg(G_OBJECT(pipeline), "flags", "audio+soft-volume");
  std::string sinkError;
  if (GstElement* sink = MakeAudioSink(sinkError)) {
    g_object_set(pipeline, "audio-sink", sink, nullptr);
  } else if (!sinkError.empty()) {
    gst_object_unref(pipeline);
    return OpenFailed(sinkError);
  }

  auto bus = std::make_shared<TBusState>();
  if (!wait) bus->openNotify = notify;
  GstBus* gstBus = gst_element_get_bus(pipeline);
  auto* handlerData = new std::shared_ptr<TBusState>(bus);
  gst_bus_set_sync_handler(gstBus, OnBusMessage, handlerData,
                           [](gpointer p) { delete static_cast<std::shared_ptr<TBusState>*>(p); });
  // The bus gives the handler its data under the bus's lock, on streaming threads that GLib
  // may have started for an earlier medium.
  HandOver(handlerData);
  gst_object_unref(gstBus);
  pipeline_ = pipeline;
  file_ = std::move(file);
  bus_ = bus;
  lastLength_ = 0;
  lastPosition_ = 0;

  const GstStateChangeReturn ret = gst_element_set_state(pipeline, GST_STATE_PAUSED);
  std::uint32_t result = kDevOk;
  {
    std::unique_lock lock(bus->mutex);
    if (ret == GST_STATE_CHANGE_FAILURE && !bus->failed) {
      result = kDevErrUnknown;
    } else if (wait || ret == GST_STATE_CHANGE_FAILURE) {
      const bool ready =
          ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL ||
          bus->changed.wait_for(lock, kOpenTimeout, [&] { return bus->prerolled || bus->failed; });
      if (bus->failed) {
        result = OpenFailed(bus->firstError);
      } else if (!ready) {
        // No error was reported, only silence: a cause nobody named.
        result = kDevErrUnknown;
      }
    }
    if (result != kDevOk) bus->openNotify = nullptr;
  }
  if (result != kDevOk) {
    Teardown();
    return result;
  }
  if (++lastId_ == 0) ++lastId_;
  id_ = lastId_;
  if (wait) {
    // ASYNC_DONE is posted while the state change completes; let it finish before asking.
    gst_element_get_state(pipeline_, nullptr, nullptr,
                          static_cast<GstClockTime>(kStateTimeout.count()) * GST_MSECOND);
    lastLength_ = Length();
    if (notify) notify(nvSuccessful);
  }
  return kDevOk;
}

std::uint32_t TGstDevice::OpenFailed(std::string text) {
  openError_ = std::move(text);
  return openError_.empty() ? kDevErrUnknown : kDevErrOpen;
}

void TGstDevice::Teardown(TMPNotifyValues pendingValue) {
  if (pipeline_ == nullptr) return;
  TNotifyFn openNotify, playNotify;
  {
    std::lock_guard lock(bus_->mutex);
    openNotify = std::move(bus_->openNotify);
    playNotify = std::move(bus_->playNotify);
  }
  if (openNotify) openNotify(pendingValue);
  if (playNotify) playNotify(pendingValue);
  // Going to NULL stops the streaming threads without waiting for the end of playback.
  gst_element_set_state(pipeline_, GST_STATE_NULL);
  TakeOver(bus_.get());
  GstBus* gstBus = gst_element_get_bus(pipeline_);
  gst_bus_set_sync_handler(gstBus, nullptr, nullptr, nullptr);
  gst_object_unref(gstBus);
  gst_object_unref(pipeline_);
  pipeline_ = nullptr;
  file_.reset();
  bus_.reset();
  id_ = 0;
}

std::uint32_t TGstDevice::Close(bool /*wait*/, TNotifyFn notify) {
  if (pipeline_ == nullptr) return kDevErrNotOpen;
  Teardown();
  if (notify) notify(nvSuccessful);
  return kDevOk;
}

unsigned long TGstDevice::AsyncDoneCount() {
  std::lock_guard lock(bus_->mutex);
  return bus_->asyncDone;
}

bool TGstDevice::WaitAsyncDone(unsigned long before, milliseconds timeout) {
  std::unique_lock lock(bus_->mutex);
  return bus_->changed.wait_for(lock, timeout, [&] {
    return bus_->asyncDone > before || bus_->failed;
  }) && !bus_->failed;
}

std::uint32_t TGstDevice::SeekToStart() {
  if (pipeline_ == nullptr) return kDevErrNotOpen;
  const unsigned long before = AsyncDoneCount();
  {
    std::lock_guard lock(bus_->mutex);
    bus_->eos = false;
  }
  if (!gst_element_seek_simple(
          pipeline_, GST_FORMAT_TIME,
          static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0))
    return kDevErrSeek;
  lastPosition_ = 0;
  // A flushing seek prerolls again; playing on before that would report the old position.
  return WaitAsyncDone(before, kStateTimeout) ? kDevOk : kDevErrSeek;
}

std::uint32_t TGstDevice::Play(bool wait, TNotifyFn notify) {
  if (pipeline_ == nullptr) return kDevErrNotOpen;
  bus_->EndPlayNotify(nvSuperseded);

  bool atEnd = false;
  {
    std::lock_guard lock(bus_->mutex);
    if (bus_->failed) {
      playError_ = bus_->firstError;
      return playError_.empty() ? kDevErrUnknown : kDevErrPlayback;
    }
    atEnd = bus_->eos;
    if (!atEnd) bus_->playNotify = notify;
  }
  if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    std::lock_guard lock(bus_->mutex);
    bus_->playNotify = nullptr;
    playError_ = bus_->firstError;
    return playError_.empty() ? kDevErrState : kDevErrPlayback;
  }
  // Playing from the end finishes at once.
  if (atEnd) {
    if (notify) notify(nvSuccessful);
    return kDevOk;
  }
  if (wait) {
    // Bounded by the medium's own length with a margin: a stalled source must not hang the
    // window thread forever.
    const milliseconds bound{static_cast<long long>(Length()) + 5000};
    std::unique_lock lock(bus_->mutex);
    bus_->changed.wait_for(lock, bound, [&] { return bus_->eos || bus_->failed; });
  }
  return kDevOk;
}

std::uint32_t TGstDevice::Stop(bool wait, TNotifyFn notify) {
  if (pipeline_ == nullptr) return kDevErrNotOpen;
  bus_->EndPlayNotify(nvAborted);
  lastPosition_ = Position();
  std::uint32_t result = kDevOk;
  const GstStateChangeReturn ret = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
  if (ret == GST_STATE_CHANGE_FAILURE) {
    result = kDevErrState;
  } else if (wait && ret == GST_STATE_CHANGE_ASYNC) {
    if (gst_element_get_state(pipeline_, nullptr, nullptr,
                              static_cast<GstClockTime>(kStateTimeout.count()) * GST_MSECOND) ==
        GST_STATE_CHANGE_FAILURE)
      result = kDevErrState;
  }
  if (notify) notify(result == kDevOk ? nvSuccessful : nvFailure);
  return result;
}

// An MPEG audio stream without a header that states its length has no duration until the
// parser has seen some fifty frames, long after the open. Until then the parser can still turn
// the file's size into time from the frames it has seen: exact for a constant bit rate, an
// estimate otherwise.
std::optional<std::int32_t> EstimateLengthFromParser(GstElement* pipeline) {
  std::optional<std::int32_t> estimate;
  GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
  GValue item = G_VALUE_INIT;
  while (!estimate && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
    auto* element = GST_ELEMENT(g_value_get_object(&item));
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* klass = factory != nullptr
                             ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS)
                             : nullptr;
    if (klass != nullptr && std::strstr(klass, "Parser") != nullptr) {
      GstPad* sink = gst_element_get_static_pad(element, "sink");
      GstPad* src = gst_element_get_static_pad(element, "src");
      gint64 bytes = -1, ns = -1;
      if (sink != nullptr && src != nullptr &&
          gst_pad_peer_query_duration(sink, GST_FORMAT_BYTES, &bytes) && bytes > 0 &&
          gst_pad_query_convert(src, GST_FORMAT_BYTES, bytes, GST_FORMAT_TIME, &ns) && ns > 0)
        estimate = NsToMs(ns);
      if (sink != nullptr) gst_object_unref(sink);
      if (src != nullptr) gst_object_unref(src);
    }
    g_value_reset(&item);
  }
  g_value_unset(&item);
  gst_iterator_free(it);
  return estimate;
}

std::int32_t TGstDevice::Length() {
  if (pipeline_ == nullptr) return 0;
  gint64 duration = 0;
  lengthExact_ = gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &duration) && duration >= 0;
  if (lengthExact_) {
    lastLength_ = NsToMs(duration);
  } else if (auto estimate = EstimateLengthFromParser(pipeline_)) {
    lastLength_ = *estimate;
  }
  return lastLength_;
}

std::int32_t TGstDevice::Position() {
  if (pipeline_ == nullptr) return 0;
  bool atEnd;
  {
    std::lock_guard lock(bus_->mutex);
    atEnd = bus_->eos;
  }
  const std::int32_t length = Length();
  // At the end the position is the length exactly, so that a play rewinds first.
  if (atEnd) return length;
  gint64 position = 0;
  if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position))
    lastPosition_ = NsToMs(position);
  if (lastPosition_ > length) {
    // Past an estimated length the estimate was short; the stream has its own end.
    if (!lengthExact_) lastLength_ = lastPosition_;
    return lengthExact_ ? length : lastPosition_;
  }
  return lastPosition_;
}

TMPModes TGstDevice::Mode() {
  if (pipeline_ == nullptr) return mpNotReady;
  bool atEnd, failed, prerolled;
  {
    std::lock_guard lock(bus_->mutex);
    atEnd = bus_->eos;
    failed = bus_->failed;
    prerolled = bus_->prerolled;
  }
  GstState current = GST_STATE_NULL, pending = GST_STATE_VOID_PENDING;
  gst_element_get_state(pipeline_, &current, &pending, 0);
  const GstState target = pending != GST_STATE_VOID_PENDING ? pending : current;
  if (failed) return mpStopped;
  if (target == GST_STATE_PLAYING) return atEnd ? mpStopped : mpPlaying;
  if (target == GST_STATE_PAUSED) return prerolled ? mpStopped : mpNotReady;
  return mpNotReady;
}

bool TGstDevice::ErrorText(std::uint32_t code, std::string& text) const {
  if (code != kDevErrOpen && code != kDevErrPlayback) return false;
  text = code == kDevErrOpen ? openError_ : playError_;
  return !text.empty();
}

}  // namespace

std::unique_ptr<IMediaDevice> CreateMediaDevice(const TDeviceOptions& options) {
  return std::make_unique<TGstDevice>(options);
}

}  // namespace mv

#if defined(__SANITIZE_ADDRESS__)
// GLib's library constructor allocates the first block of its quark table, and GLib leaves the
// block behind on purpose once the table grows (other threads may still read it). Every program
// that loads GStreamer would otherwise fail its leak check at exit. Only allocations made while
// libraries are being loaded are excused, which needs full stacks: GLib has no frame pointers.
extern "C" const char* __lsan_default_suppressions() { return "leak:_dl_init\n"; }
extern "C" const char* __lsan_default_options() {
  return "fast_unwind_on_malloc=0:print_suppressions=0";
}
#endif
