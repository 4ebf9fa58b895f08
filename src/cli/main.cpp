// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "utility/FileRules.h"
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

bool UsableDirectory(const std::string& dir, const char* doing) {
  const int error = DirectoryError(dir);
  if (error == 0) return true;
  std::fprintf(stderr, "melvigil-cli: cannot %s %s: %s\n", doing, EscapeName(dir).c_str(),
               error == ENOTDIR ? "not a directory" : std::strerror(error));
  return false;
}

void TellFailed(const char* doing, const std::string& from, const std::string& to,
                const std::string& reason) {
  const std::string names[] = {EscapeName(from), EscapeName(to)};
  std::fprintf(stderr, "melvigil-cli: cannot %s %s to %s: %s\n", doing, names[0].c_str(),
               names[1].c_str(), reason.c_str());
  PrintLine("failed\t" + names[0] + "\t" + names[1] + "\n");
}

void Print(std::FILE* to, const std::string& text) { std::fwrite(text.data(), 1, text.size(), to); }

void PrintLine(const std::string& line) {
  Print(stdout, line);
  std::fflush(stdout);
}

const std::vector<const TCliCommand*>& Commands() {
  static const std::vector<const TCliCommand*> commands{&kWatch, &kList,   &kPlay,
                                                        &kGuess, &kRename, &kCopy};
  return commands;
}

namespace {

std::string Overview() {
  std::string text =
      "usage: melvigil-cli COMMAND [OPTIONS] [--] OPERANDS...\n"
      "       melvigil-cli --help | -h | --version\n"
      "\nThe window's watcher, download list and file commands without a window.\n"
      "\ncommands:\n";
  for (const TCliCommand* command : Commands()) {
    std::string name = std::string("  ") + command->name;
    name.resize(10, ' ');
    text += name + command->summary + "\n";
  }
  return text + "\n'melvigil-cli COMMAND --help' describes one command's options.\n";
}

int Usage(const std::string& message) {
  Print(stderr, "melvigil-cli: " + message + "\n" + Overview());
  return 2;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage("no command given");
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "--version") {
    PrintLine(command == "--version" ? std::string("melvigil-cli " MELVIGIL_VERSION "\n")
                                     : Overview());
    return std::ferror(stdout) ? 1 : 0;
  }
  for (const TCliCommand* known : Commands()) {
    if (command == known->name) return known->Main(Args(argv + 2, argv + argc));
  }
  return Usage("unknown command '" + command + "'");
}

}  // namespace

}  // namespace mv::cli

int main(int argc, char** argv) {
  // Messages such as "ready" are read by other programs while this one runs: unbuffered, as
  // C promises on Linux but the Windows runtime does not when stderr is a file or a pipe.
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  std::setlocale(LC_ALL, "");
  mv::InitLeadBytesFromLocale();
  try {
    return mv::cli::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "melvigil-cli: %s\n", e.what());
    return 1;
  }
}
