// "--name value" options after the subcommand word. Small and our own: the
// service needs nothing more, and it keeps the program free of another
// dependency.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrova::service {

class CommandLine {
 public:
  // Throws std::invalid_argument for a word that is not "--name" followed by
  // a value.
  explicit CommandLine(const std::vector<std::string>& words);

  bool has(const std::string& name) const { return options_.count(name) > 0; }
  std::string value(const std::string& name, const std::string& fallback = "") const;
  // Like value(), but a missing option is an error.
  std::string required(const std::string& name) const;
  const std::map<std::string, std::string>& all() const { return options_; }

 private:
  std::map<std::string, std::string> options_;
};

}  // namespace kestrova::service
