#include "command.h"

namespace kestrova::cli {

Arguments::Arguments(const std::vector<std::string>& words, const std::vector<std::string>& flagsWithoutValue) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.size() > 2 && w.rfind("--", 0) == 0) {
      std::string name = w.substr(2);
      std::string val;
      auto eq = name.find('=');
      bool isFlag = false;
      for (auto& f : flagsWithoutValue) isFlag = isFlag || f == name;
      if (eq != std::string::npos) {
        val = name.substr(eq + 1);
        name = name.substr(0, eq);
      } else if (!isFlag && i + 1 < words.size() && words[i + 1].rfind("--", 0) != 0) {
        val = words[++i];
      }
      options_.emplace(name, val);
    } else {
      positionals_.push_back(w);
    }
  }
}

std::string Arguments::value(const std::string& name, const std::string& fallback) const {
  auto range = options_.equal_range(name);
  if (range.first == range.second) return fallback;
  return std::prev(range.second)->second;
}

std::vector<std::string> Arguments::values(const std::string& name) const {
  std::vector<std::string> out;
  auto range = options_.equal_range(name);
  for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
  return out;
}

CommandLineWords SplitCommandLine(const std::vector<std::string>& words) {
  CommandLineWords out;
  bool verbose = false;
  size_t i = 0;
  for (; i < words.size() && words[i] == "--verbose"; ++i) verbose = true;
  if (i < words.size()) out.command = words[i++];
  out.rest.assign(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
  if (verbose) out.rest.insert(out.rest.begin(), "--verbose");
  return out;
}

static std::map<std::string, Command>& Registry() {
  static std::map<std::string, Command> commands;
  return commands;
}

void RegisterCommand(Command command) { Registry()[command.name] = std::move(command); }
const std::map<std::string, Command>& Commands() { return Registry(); }

}  // namespace kestrova::cli
