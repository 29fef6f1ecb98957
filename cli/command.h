// kestrova-cli is one program with subcommands (probe, convert, thumbnail,
// play, scan, upload, add). Each subcommand lives in its own file and registers
// itself here, so adding one touches no other file.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kestrova::cli {

// Command-line words after the subcommand, split into positionals and
// "--name value" options. An option may repeat (--opt a=1 --opt b=2).
// A "--flag" followed by another option or nothing counts as the value "".
class Arguments {
 public:
  Arguments(const std::vector<std::string>& words, const std::vector<std::string>& flagsWithoutValue = {});
  const std::vector<std::string>& positionals() const { return positionals_; }
  bool has(const std::string& name) const { return options_.count(name) > 0; }
  // The last value given for the option, or fallback.
  std::string value(const std::string& name, const std::string& fallback = "") const;
  std::vector<std::string> values(const std::string& name) const;

 private:
  std::vector<std::string> positionals_;
  std::multimap<std::string, std::string> options_;
};

// The subcommand's name and the words after it. "--verbose" may come before
// the name, as with most terminal tools; it is handed on to the subcommand.
struct CommandLineWords {
  std::string command;  // empty when none was given
  std::vector<std::string> rest;
};
CommandLineWords SplitCommandLine(const std::vector<std::string>& words);

struct Command {
  std::string name;
  std::string usage;  // one line: "probe FILE"
  std::function<int(const std::vector<std::string>& words)> run;
};

void RegisterCommand(Command command);
const std::map<std::string, Command>& Commands();

// Registers a command at static-initialisation time.
struct CommandRegistrar {
  explicit CommandRegistrar(Command command) { RegisterCommand(std::move(command)); }
};

}  // namespace kestrova::cli
