// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own texts are UTF-8 in the sources; the window shows narrow text in the system
// ANSI code page (the A functions), as file names are.

#include <string>
#include <string_view>

namespace mv {

// text in the ANSI code page: UTF-8 with characters beyond ASCII is converted (a character the
// code page lacks becomes its default character); ASCII and text that is not UTF-8 (a file name
// in the ANSI code page, a system message) are returned unchanged.
std::string AnsiText(std::string_view text);

}  // namespace mv
