// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// melvigil-cli subcommands. Each lives in a file of its own and describes its options for the
// shared parser (Options.h); main.cpp dispatches by name. A subcommand returns the exit status:
// 0 ok, 1 a file or device failed, 2 bad arguments.

#include <cstdio>
#include <string>

#include "cli/Options.h"

namespace mv::cli {

extern const TCliCommand kWatch;   // watch DIR [--no-subtree] [--filter KINDS]
extern const TCliCommand kList;    // list DIR [--mask M] [--all]
extern const TCliCommand kPlay;    // play [--sink NAME] FILE...
extern const TCliCommand kGuess;   // guess FILE...
extern const TCliCommand kRename;  // rename [--mask M] FILE...
extern const TCliCommand kCopy;    // copy --to DIR [--mask M] FILE...

// One event or entry per line: control bytes become \xHH and a backslash becomes \\.
std::string EscapeName(const std::string& name);

// True when dir is a directory that can be used; otherwise says why on stderr: "melvigil-cli:
// cannot <doing> <dir>: <reason>".
bool UsableDirectory(const std::string& dir, const char* doing);

// A copy or rename that failed: "melvigil-cli: cannot <doing> <from> to <to>: <reason>" on
// stderr, then "failed<TAB><from><TAB><to>" on stdout, names escaped.
void TellFailed(const char* doing, const std::string& from, const std::string& to,
                const std::string& reason);

// Writes the bytes as they are.
void Print(std::FILE* to, const std::string& text);
// Writes the bytes to stdout and flushes, so that a reader sees each line as it happens.
void PrintLine(const std::string& line);

}  // namespace mv::cli
