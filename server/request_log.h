// The request log: one line per request on stderr. Parts of a line come from
// the client (paths, message types), so they are escaped: a control
// character in them could otherwise start a forged line of its own.
#pragma once

#include <string>
#include <string_view>

namespace kestrova::service {

// The text as one field of a line: every control character, blank, C1
// control and Unicode line separator (and the backslash that introduces the
// escapes) written as "\xNN" bytes or "\\", so a client's text can neither
// break the line nor pose as further fields of it.
std::string EscapeForLog(std::string_view text);

// Writes one line in one call, so lines from several threads never mix.
void LogLine(std::string_view line);

}  // namespace kestrova::service
