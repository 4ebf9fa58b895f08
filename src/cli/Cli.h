// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// melvigil-cli subcommands. Each lives in a file of its own; main.cpp dispatches by name.
// A subcommand returns the exit status: 0 ok, 1 a file or device failed, 2 bad arguments.

#include <string>
#include <vector>

namespace mv::cli {

using Args = std::vector<std::string>;  // the arguments after the subcommand's name

int Watch(const Args& args);   // watch DIR [--no-subtree] [--filter KINDS]
int List(const Args& args);    // list DIR [--mask M] [--all]
int Play(const Args& args);    // play [--sink NAME] FILE...
int Guess(const Args& args);   // guess FILE...
int Rename(const Args& args);  // rename [--mask M] FILE...
int Copy(const Args& args);    // copy --to DIR [--mask M] FILE...

// One event or entry per line: control bytes become \xHH and a backslash becomes \\.
std::string EscapeName(const std::string& name);

// Prints "melvigil-cli: <message>" and the usage to stderr; returns 2.
int Usage(const std::string& message);

}  // namespace mv::cli
