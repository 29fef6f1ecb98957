// Runs another program from kestrova-cli and waits for it.
#pragma once

#include <string>
#include <vector>

namespace kestrova::cli {

struct ProgramResult {
  int exitCode = -1;   // -1 when it could not be started or was killed
  std::string output;  // its standard output and error together
};

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& words);

}  // namespace kestrova::cli
