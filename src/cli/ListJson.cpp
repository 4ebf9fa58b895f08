// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ListJson.h"

#include "cli/Cli.h"
#include "utility/FileRules.h"
#include "utility/GuessFileExt.h"
#include "utility/JsonText.h"

namespace mv::cli {

namespace {

// Below the provider's queue limit (8): no request of ours is ever dropped unserved.
constexpr std::size_t kAskedAtOnce = 4;

std::string TextOrNull(const std::string& text) {
  return text.empty() ? std::string("null") : JsonString(text);
}

const char* MediaName(TMediaKind kind) {
  switch (kind) {
    case TMediaKind::Audio:
      return "\"audio\"";
    case TMediaKind::NotAudio:
      return "\"not-audio\"";
    default:
      return "\"unknown\"";
  }
}

// {"event":event,"path":...} with "path_bytes" (the exact bytes in base64) where the path is not
// UTF-8, left open for more members.
std::string JsonEntryStart(const char* event, const std::string& path) {
  std::string line = std::string("{\"event\":\"") + event + "\",\"path\":" + JsonString(path);
  if (!IsValidUtf8(path)) line += ",\"path_bytes\":\"" + Base64(path) + "\"";
  return line;
}

}  // namespace

TJsonListing::TJsonListing(IMainThreadDispatcher& mainThread, const TDownloadList& downloads)
    : details_(mainThread), downloads_(downloads) {}

void TJsonListing::PrintState(const char* event, const std::string& entry,
                              const std::optional<TListedFile>& file) {
  std::string line = JsonEntryStart(event, entry);
  if (file) {
    // A file still being written is not read: its first bytes may not be there yet.
    const std::string type = file->beingWritten ? std::string() : GuessFileExt(entry);
    line += ",\"size\":" + std::to_string(file->size) + ",\"type\":" + TextOrNull(type) +
            ",\"complete\":" + (file->beingWritten ? "false" : "true");
  } else {
    line += ",\"size\":null,\"type\":null,\"complete\":null";
  }
  PrintLine(line + "}\n");
}

void TJsonListing::Added(const std::string& entry) {
  std::optional<TListedFile> file = InspectListedFile(entry);
  if (file) file->beingWritten = downloads_.IsBeingWritten(entry);
  PrintState("added", entry, file);
  if (file && file->beingWritten) return;
  waiting_.push_back(entry);
  AskForDetails();
}

void TJsonListing::Removed(const std::string& entry) {
  PrintLine(JsonEntryStart("removed", entry) + "}\n");
}

void TJsonListing::WritingChanged(const std::string& entry) {
  if (downloads_.IsBeingWritten(entry)) return;
  std::optional<TListedFile> file = InspectListedFile(entry);
  if (!file) return;  // gone: the sweep tells
  file->beingWritten = false;
  PrintState("completed", entry, file);
  waiting_.push_back(entry);
  AskForDetails();
}

void TJsonListing::AskForDetails() {
  while (asked_ < kAskedAtOnce && !waiting_.empty()) {
    const std::string entry = std::move(waiting_.front());
    waiting_.pop_front();
    ++asked_;
    details_.Request(entry, [this, entry](const TMediaDetails& d) {
      if (!d.complete) return;  // size and type alone: the added object told them
      --asked_;
      if (d.file == TFileState::Present) {
        std::string line = JsonEntryStart("details", entry);
        line += std::string(",\"media\":") + MediaName(d.media) +
                ",\"title\":" + TextOrNull(d.title) + ",\"artist\":" + TextOrNull(d.artist) +
                ",\"album\":" + TextOrNull(d.album) + ",\"duration_ms\":" +
                (d.durationMs ? std::to_string(*d.durationMs) : std::string("null"));
        PrintLine(line + "}\n");
      }
      AskForDetails();
    });
  }
}

}  // namespace mv::cli
