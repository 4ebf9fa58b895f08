// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Options.h"

#include <algorithm>
#include <cstdio>

#include "cli/Cli.h"

namespace mv::cli {

std::string TParsedArgs::Value(const std::string& name) const {
  const auto it = values_.find(name);
  return it == values_.end() ? std::string() : it->second;
}

std::optional<std::string> TCliCommand::Parse(const Args& args, TParsedArgs& out,
                                              bool& help) const {
  bool optionsEnd = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
      out.operands_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      // As with other tools, help asked for before a mistake is help given.
      help = true;
      return std::nullopt;
    }
    if (arg.rfind("--", 0) != 0) return "unknown option '" + arg + "'";
    const std::size_t equals = arg.find('=');
    const std::string optionName = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
    const auto option = std::find_if(options.begin(), options.end(),
                                     [&](const TCliOption& o) { return optionName == o.name; });
    if (option == options.end()) return "unknown option '--" + optionName + "'";
    if (option->valueName == nullptr) {
      if (equals != std::string::npos) return "--" + optionName + " takes no value";
      out.values_[optionName];
    } else if (equals != std::string::npos) {
      out.values_[optionName] = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      out.values_[optionName] = args[++i];
    } else {
      return "--" + optionName + " needs " + option->valueName;
    }
  }
  for (const TCliOption& option : options) {
    if (option.required && out.Value(option.name).empty()) {
      return std::string("needs --") + option.name + " " + option.valueName;
    }
  }
  if (out.operands_.size() < minOperands) return std::string("needs ") + operands;
  if (out.operands_.size() > maxOperands) return std::string("takes only ") + operands;
  return std::nullopt;
}

std::string TCliCommand::UsageLine() const {
  std::string line = std::string("melvigil-cli ") + name;
  for (const TCliOption& option : options) {
    line += std::string(option.required ? " --" : " [--") + option.name;
    if (option.valueName != nullptr) line += std::string(" ") + option.valueName;
    if (!option.required) line += "]";
  }
  if (operands[0] != '\0') line += std::string(" ") + operands;
  return line;
}

int TCliCommand::UsageError(const std::string& message) const {
  Print(stderr, std::string("melvigil-cli: ") + name + ": " + message + "\nusage: " + UsageLine() +
                    "\nTry 'melvigil-cli " + name + " --help' for more.\n");
  return 2;
}

int TCliCommand::Main(const Args& args) const {
  TParsedArgs parsed;
  bool help = false;
  if (const std::optional<std::string> error = Parse(args, parsed, help)) {
    return UsageError(*error);
  }
  if (help) {
    std::string text = "usage: " + UsageLine() + "\n" + summary + "\n\noptions:\n";
    auto row = [&text](std::string left, const char* what) {
      left.resize(std::max<std::size_t>(left.size() + 2, 22), ' ');
      text += left + what + "\n";
    };
    for (const TCliOption& option : options) {
      std::string left = std::string("  --") + option.name;
      if (option.valueName != nullptr) left += std::string(" ") + option.valueName;
      row(left, option.help);
    }
    row("  -h, --help", "print this help and exit");
    row("  --", "end of options: what follows is an operand");
    Print(stdout, text);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  return run(*this, parsed);
}

}  // namespace mv::cli
