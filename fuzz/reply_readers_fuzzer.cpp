// Whatever the back end replies, read the way the windows read it.
#include <cstdint>
#include <string>

#include "reply_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  try {
    kestrova::service::parseVideoList(reply);
    kestrova::service::getReplyValue(reply, "data.msg.item", "companyid");
    kestrova::service::getReplyValue(reply, "data.msg", "type");
  } catch (const kestrova::service::ReplyParseError&) {
  }
  return 0;
}
