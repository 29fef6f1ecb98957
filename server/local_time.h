#pragma once

#include <string>

namespace kestrova::service {

// The current local time as "YYYY-MM-DD HH:MM:SS", the form the catalogue
// shows as a video's creation date.
std::string LocalTimestamp();

}  // namespace kestrova::service
