// Whatever a client posts to the back end, read as a request text.
#include <cstdint>
#include <string_view>

#include "request_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  kestrova::service::ParseRequestText(body);
  kestrova::service::GuessMessageType(body);
  return 0;
}
