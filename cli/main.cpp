#include <iostream>

#include "command.h"

namespace {

// Blanks the value of --password in the process's own argument memory once
// it has been copied, so process listings stop showing it. (The environment
// variable keeps it off the command line altogether.)
void HideSecretArguments(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    std::string word = argv[i];
    char* secret = nullptr;
    if (word == "--password" && i + 1 < argc) secret = argv[i + 1];
    else if (word.rfind("--password=", 0) == 0) secret = argv[i] + 11;
    for (char* c = secret; c && *c; ++c) *c = '*';
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrova::cli;
  auto usage = [] {
    std::cerr << "用法：kestrova-cli 命令 [参数...]\n";
    for (auto& [name, cmd] : Commands()) std::cerr << "  kestrova-cli " << cmd.usage << "\n";
  };
  const CommandLineWords words = SplitCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (words.command.empty() || words.command == "--help" || words.command == "-h") {
    usage();
    return words.command.empty() ? 2 : 0;
  }
  auto it = Commands().find(words.command);
  if (it == Commands().end()) {
    std::cerr << "kestrova-cli：没有“" << words.command << "”这个命令\n";
    usage();
    return 2;
  }
  // The words are copied above: the process listing may lose the secrets now.
  HideSecretArguments(argc, argv);
  try {
    return it->second.run(words.rest);
  } catch (const std::exception& e) {
    std::cerr << "kestrova-cli " << words.command << "：" << e.what() << "\n";
    return 1;
  }
}
