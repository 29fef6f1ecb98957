// Replaces a file that others may be reading (an upload, a browser) without
// ever showing them a half-written one: the new content is written beside
// it and renamed over it in one step.
#pragma once

#include <functional>
#include <string>

namespace md {

// Calls write with the path of a fresh temporary file in path's folder, then
// gives that file path's permissions, flushes it to disk and renames it over
// path. When write throws, or anything else fails, or the program is
// interrupted (SIGINT, SIGTERM, SIGHUP), the temporary file is removed and
// path is left exactly as it was; the error propagates as std::runtime_error
// (or whatever write threw).
void RewriteInPlace(const std::string& path, const std::function<void(const std::string& temporary)>& write);

}  // namespace md
