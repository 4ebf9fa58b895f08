// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// melvigil-cli list --json: one JSON object per line, in the order and with the dedup of the
// plain listing; an entry added while still being written gets a second object once its writer
// has closed it, and every entry one more once its details are known.

#include <deque>
#include <optional>
#include <string>

#include "commands/DownloadList.h"
#include "media/Details.h"
#include "utility/Dispatcher.h"
#include "utility/FileRules.h"

namespace mv::cli {

class TJsonListing {
 public:
  TJsonListing(IMainThreadDispatcher& mainThread, const TDownloadList& downloads);
  // Main thread, as the download list reports its entries.
  void Added(const std::string& entry);
  void Removed(const std::string& entry);
  void WritingChanged(const std::string& entry);

 private:
  // Prints the object of an entry with its size, type and whether it is complete.
  void PrintState(const char* event, const std::string& entry,
                  const std::optional<TListedFile>& file);
  void AskForDetails();

  TDetailsProvider details_;
  // Whether an entry is still being written is the list's to tell; an entry's details are asked
  // for only once it is complete, as a half-written file reads as no audio.
  const TDownloadList& downloads_;
  // Entries whose details are not asked for yet: the provider is given no more than it keeps,
  // so a burst of new files drops no request and reads one file at a time.
  std::deque<std::string> waiting_;
  std::size_t asked_ = 0;
};

}  // namespace mv::cli
