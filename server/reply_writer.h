// Writes the reply texts the desktop tool reads: <data><msg>...</msg></data>.
// Every value is escaped as an XML attribute value, so any title or card text
// (quotes, "&", "<", line breaks) survives exactly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store.h"

namespace kestrova::service {

// <data><msg><item result="..." [message="..."]/></msg></data>
std::string ResultReply(std::string_view result, std::string_view message = {});

// The sign-in answer: result "success", the login values and the whole
// profile, flags as "0"/"1".
std::string LoginReply(const Company& company);

// One <item> per video with all eleven attributes, in the order given.
std::string VideoListReply(const std::vector<Video>& videos);

}  // namespace kestrova::service
