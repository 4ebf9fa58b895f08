// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JSON for scripts that read melvigil-cli: names are bytes, JSON text is UTF-8, so a name that
// is not UTF-8 is written as readable text plus its exact bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace mv {

// The length of the well-formed UTF-8 sequence at the start of bytes, 0 when there is none (an
// overlong form, a surrogate, a code point above U+10FFFF, a sequence cut short).
std::size_t Utf8SequenceLength(std::string_view bytes);

// True when bytes are well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view bytes);

// A JSON string literal, quotes included: the quote, the backslash and every control character
// (DEL too) escaped, each byte that starts no well-formed UTF-8 sequence as U+FFFD.
std::string JsonString(std::string_view bytes);

// Base64 with padding (RFC 4648, standard alphabet).
std::string Base64(std::string_view bytes);

}  // namespace mv
