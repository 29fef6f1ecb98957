// Server folders and the names files are published under.
#pragma once

#include <string>

#include "ftp_client.h"

namespace kestrova::sync {

// Changes into folder, creating it when it is missing. One MKD of the whole
// path is tried first; servers that create one level at a time refuse it
// when more than the last level is missing, so then each missing level is
// made from the top down. False when the folder can neither be entered nor
// made. Throws FtpError when the connection fails.
bool EnterOrCreateFolder(FtpClient& ftp, const std::string& folder);

// The name a file is stored under before it is renamed over path: hidden,
// in the same folder, so the rename never crosses a file system.
std::string TemporaryUploadPath(const std::string& path);

}  // namespace kestrova::sync
