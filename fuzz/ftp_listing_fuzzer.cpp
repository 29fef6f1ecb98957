// Whatever an FTP server answers to LIST, read into entries.
#include <cstdint>
#include <string>

#include "ftp_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // A leap day: the dates without a year are placed around it.
  kestrova::sync::ParseListing(text, kestrova::sync::MakeWallTime(2024, 2, 29, 12, 0));
  return 0;
}
