// The request log: one line per request on stderr. Parts of a line come from
// the client (paths, message types), so they are escaped: a control
// character in them could otherwise start a forged line of its own.
#pragma once

#include <string>
#include <string_view>

namespace kestrova::service {

// The text with every control character (and the backslash that introduces
// the escapes) written as "\xNN" or "\\", so it stays on one line.
std::string EscapeForLog(std::string_view text);

// Writes one line in one call, so lines from several threads never mix.
void LogLine(std::string_view line);

}  // namespace kestrova::service
