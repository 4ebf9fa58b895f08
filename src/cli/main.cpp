// SPDX-License-Identifier: GPL-3.0-or-later
#include <clocale>
#include <cstdio>
#include <exception>
#include <string>

#include "cli/Cli.h"
#include "utility/NameRules.h"

namespace mv::cli {

std::string EscapeName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (unsigned char c : name) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int Usage(const std::string& message) {
  std::fprintf(stderr,
               "melvigil-cli: %s\n"
               "usage: melvigil-cli watch DIR [--no-subtree] [--filter KIND[,KIND...]]\n"
               "       melvigil-cli list DIR [--mask M] [--all]\n"
               "       melvigil-cli play [--sink NAME] FILE...\n"
               "       melvigil-cli guess FILE...\n"
               "       melvigil-cli rename [--mask M] FILE...\n"
               "       melvigil-cli copy --to DIR [--mask M] FILE...\n",
               message.c_str());
  return 2;
}

}  // namespace mv::cli

int main(int argc, char** argv) {
  // Messages such as "ready" are read by other programs while this one runs: unbuffered, as
  // C promises on Linux but the Windows runtime does not when stderr is a file or a pipe.
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  std::setlocale(LC_ALL, "");
  mv::InitLeadBytesFromLocale();
  if (argc < 2) return mv::cli::Usage("no command given");
  const std::string command = argv[1];
  const mv::cli::Args args(argv + 2, argv + argc);
  try {
    if (command == "watch") return mv::cli::Watch(args);
    if (command == "list") return mv::cli::List(args);
    if (command == "play") return mv::cli::Play(args);
    if (command == "guess") return mv::cli::Guess(args);
    if (command == "rename") return mv::cli::Rename(args);
    if (command == "copy") return mv::cli::Copy(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "melvigil-cli: %s\n", e.what());
    return 1;
  }
  return mv::cli::Usage("unknown command '" + command + "'");
}
