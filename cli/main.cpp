#include <iostream>

#include "command.h"

int main(int argc, char** argv) {
  using namespace kestrova::cli;
  auto usage = [] {
    std::cerr << "usage: kestrova-cli COMMAND [ARGS...]\n";
    for (auto& [name, cmd] : Commands()) std::cerr << "  kestrova-cli " << cmd.usage << "\n";
  };
  if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
    usage();
    return argc < 2 ? 2 : 0;
  }
  auto it = Commands().find(argv[1]);
  if (it == Commands().end()) {
    std::cerr << "kestrova-cli: unknown command \"" << argv[1] << "\"\n";
    usage();
    return 2;
  }
  try {
    return it->second.run(std::vector<std::string>(argv + 2, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "kestrova-cli " << argv[1] << ": " << e.what() << "\n";
    return 1;
  }
}
