#include "request_log.h"

#include <cstdio>

namespace kestrova::service {

namespace {

void AppendHexEscape(std::string& out, unsigned char byte) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xf];
}

// The UTF-8 sequence at text[at] is a character some readers take for a line
// break or a control: C1 controls (U+0080-U+009F, NEL among them) and the
// line and paragraph separators U+2028/U+2029. Returns its length, or 0.
size_t LineBreakingSequence(std::string_view text, size_t at) {
  auto byte = [&](size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0u; };
  if (byte(0) == 0xC2 && byte(1) >= 0x80 && byte(1) <= 0x9F) return 2;
  if (byte(0) == 0xE2 && byte(1) == 0x80 && (byte(2) == 0xA8 || byte(2) == 0xA9)) return 3;
  return 0;
}

}  // namespace

std::string EscapeForLog(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte <= 0x20 || byte == 0x7f) {
      AppendHexEscape(out, byte);
    } else if (size_t length = LineBreakingSequence(text, i)) {
      for (size_t k = 0; k < length; ++k) AppendHexEscape(out, static_cast<unsigned char>(text[i + k]));
      i += length - 1;
    } else {
      out += text[i];
    }
  }
  return out;
}

void LogLine(std::string_view line) {
  std::string text(line);
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace kestrova::service
