#include "command_line.h"

namespace kestrova::service {

CommandLine::CommandLine(const std::vector<std::string>& words) {
  for (size_t i = 0; i < words.size(); i += 2) {
    const std::string& word = words[i];
    if (word.rfind("--", 0) != 0 || word.size() < 3) throw std::invalid_argument("unexpected \"" + word + "\"");
    if (i + 1 >= words.size()) throw std::invalid_argument(word + " needs a value");
    options_[word.substr(2)] = words[i + 1];
  }
}

std::string CommandLine::value(const std::string& name, const std::string& fallback) const {
  auto it = options_.find(name);
  return it == options_.end() ? fallback : it->second;
}

std::string CommandLine::required(const std::string& name) const {
  auto it = options_.find(name);
  if (it == options_.end()) throw std::invalid_argument("--" + name + " is required");
  return it->second;
}

}  // namespace kestrova::service
