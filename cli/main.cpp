#include <iostream>

#include "command.h"

int main(int argc, char** argv) {
  using namespace kestrova::cli;
  auto usage = [] {
    std::cerr << "usage: kestrova-cli COMMAND [ARGS...]\n";
    for (auto& [name, cmd] : Commands()) std::cerr << "  kestrova-cli " << cmd.usage << "\n";
  };
  const CommandLineWords words = SplitCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (words.command.empty() || words.command == "--help" || words.command == "-h") {
    usage();
    return words.command.empty() ? 2 : 0;
  }
  auto it = Commands().find(words.command);
  if (it == Commands().end()) {
    std::cerr << "kestrova-cli: unknown command \"" << words.command << "\"\n";
    usage();
    return 2;
  }
  try {
    return it->second.run(words.rest);
  } catch (const std::exception& e) {
    std::cerr << "kestrova-cli " << words.command << ": " << e.what() << "\n";
    return 1;
  }
}
