// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one option parser of melvigil-cli. Every subcommand describes its options and operands;
// the parser gives all of them the same rules: "--name VALUE" or "--name=VALUE", options
// before, between or after operands, "--" ends the options (what follows is an operand even if
// it starts with "-"), a lone "-" is an operand, and "-h" / "--help" print the subcommand's
// help on stdout.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mv::cli {

using Args = std::vector<std::string>;  // the arguments after the subcommand's name

struct TCliOption {
  const char* name;       // without the leading "--"
  const char* valueName;  // nullptr: a switch without a value
  const char* help;
  bool required = false;
};

class TParsedArgs {
 public:
  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  // The last value given for the option; empty when it was not given.
  std::string Value(const std::string& name) const;
  const Args& Operands() const { return operands_; }

 private:
  friend class TCliCommand;
  std::map<std::string, std::string> values_;
  Args operands_;
};

class TCliCommand {
 public:
  using TRun = int (*)(const TCliCommand& self, const TParsedArgs& args);
  static constexpr std::size_t kAny = static_cast<std::size_t>(-1);

  const char* name;
  const char* operands;  // as the usage line names them: "DIR", "FILE..."
  const char* summary;   // one line, for the list of commands
  std::vector<TCliOption> options;
  // One operand or more unless a subcommand says otherwise.
  std::size_t minOperands = 1;
  std::size_t maxOperands = kAny;
  TRun run;

  // Parses args and runs the subcommand; 0 after --help, 2 for arguments it cannot take.
  int Main(const Args& args) const;
  // "melvigil-cli <name>: <message>", the usage line and a pointer to --help on stderr; 2.
  int UsageError(const std::string& message) const;
  // The usage line: "melvigil-cli copy [--to DIR] [--mask M] FILE...".
  std::string UsageLine() const;

 private:
  std::optional<std::string> Parse(const Args& args, TParsedArgs& out, bool& help) const;
};

// The subcommands, in the order the help lists them.
const std::vector<const TCliCommand*>& Commands();

}  // namespace mv::cli
