// md -inter MILLISECONDS FILE
//
// Rewrites a converted MP4 in place so a browser can play it while it is
// still downloading: the index goes before the media, and audio and video are
// laid out in alternating portions of at most the given length. Packets are
// copied bit for bit. The desktop tool starts it after every conversion as
// `md  -inter 500  "FILE"`.
//
// Exit status: 0 done, 1 the file could not be rewritten (it is left as it
// was), 2 bad command line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "interleaved_remux.h"
#include "rewrite_in_place.h"

namespace {

const char* const kUsage = "usage: md [-inter MILLISECONDS] FILE\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "md: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long interleaveMs = 500;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "-inter") {
      if (i + 1 >= argc) return UsageError("-inter needs a number of milliseconds");
      char* end = nullptr;
      std::string value = argv[++i];
      interleaveMs = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || interleaveMs <= 0 || interleaveMs > 3600000)
        return UsageError("-inter takes milliseconds from 1 to 3600000, not \"" + value + "\"");
    } else if (word == "-h" || word == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!file.empty()) {
      return UsageError("one file at a time");
    } else {
      file = word;
    }
  }
  if (file.empty()) return UsageError("no file given");

  md::RemuxSettings settings;
  settings.portionLength = interleaveMs * 1000;
  try {
    md::RewriteInPlace(file, [&](const std::string& temporary) {
      try {
        md::RemuxInterleaved(file, temporary, settings);
      } catch (const md::ReservedIndexTooSmall&) {
        // Our guess at the index size fell short: write the data again and
        // let the muxer move the index to the front afterwards.
        settings.reserveIndexRoom = false;
        md::RemuxInterleaved(file, temporary, settings);
      }
    });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "md: %s; %s is unchanged\n", e.what(), file.c_str());
    return 1;
  }
  return 0;
}
