// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Internal: file names are bytes in the locale's encoding, while Qt shows text. A name that is
// not valid text (a stray 0xFF byte, say) decodes lossily, so going back from what a widget
// shows to bytes must look at the disk instead of simply encoding the text again.

#include <QString>
#include <string>

namespace mv::detail {

// The text a widget shows for a name or path.
QString ToDisplay(const std::string& bytes);

// The bytes of the path a widget shows. A component that only a name on disk can have produced
// (one that decoded with replacement characters) becomes that name's bytes, when exactly one
// entry of its folder decodes to it; anything else is encoded as typed.
std::string ToLocalPath(const QString& shown);

// The process's current directory, or "/" when it cannot be read.
std::string CurrentDirectory();

// `path` made absolute against the current directory, with "." and ".." resolved and without a
// trailing "/" (except for the root itself). Purely textual: nothing need exist.
std::string FullPath(const std::string& path);

// True when `path` names an existing directory (following symbolic links).
bool DirectoryExists(const std::string& path);

}  // namespace mv::detail
