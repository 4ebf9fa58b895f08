// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What differs between platforms besides the change source; defined in WatcherPlatform_<os>.cpp.

#include <string>
#include <string_view>

namespace mv {

// The directory a stored or typed value names on this platform: on Linux the stored default
// "C:\" stands for the user's home directory; other values are kept as they are.
std::string PlatformWatchedDir(std::string_view value);

}  // namespace mv
