// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Asks the desktop to open a document, program or web address with its default handler.

#include <string>
#include <string_view>

#include "utility/NameRules.h"

namespace mv {

// Starts the desktop's opener (xdg-open on Linux) for target, with parameters as one further
// argument when not empty; no shell is involved, the texts are passed as they are. Does not
// wait for it. True when it could be started.
bool ShellOpen(const std::string& target, const std::string& parameters);

// Linux: sets a variable of this process's environment for the program's own use. What
// ShellOpen starts gets the value the variable had before the first such call (or none), so the
// user's browser and file manager keep the user's language, not the one the program chose for
// itself. Call before other threads start, as for setenv.
void SetOwnEnvironment(const char* name, const char* value);

// The working directory given to the opener: the target up to and including its last
// delimiter (a delimiter that is the second byte of a double-byte character does not count);
// empty when there is none.
std::string ShellWorkingDirectory(std::string_view target, std::string_view delimiters,
                                  const TLeadBytes& lead);
// With this platform's delimiters for the rule (Linux "/" and ":", Windows "\" and ":").
std::string ShellWorkingDirectory(std::string_view target);

}  // namespace mv
