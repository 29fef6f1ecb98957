#include "extension_filter.h"

namespace kestrova::sync {
namespace {

bool IsBlank(char c) { return c > 0 && c <= ' '; }

// The digit of a letter; '0' for vowels, y and anything that is not a
// letter; 0 (no digit at all) for h and w.
char SoundDigit(char c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  switch (c) {
    case 'b': case 'f': case 'p': case 'v': return '1';
    case 'c': case 'g': case 'j': case 'k': case 'q': case 's': case 'x': case 'z': return '2';
    case 'd': case 't': return '3';
    case 'l': return '4';
    case 'm': case 'n': return '5';
    case 'r': return '6';
    case 'h': case 'w': return 0;
    default: return '0';
  }
}

}  // namespace

std::vector<std::string> spit(const std::string& text) {
  std::vector<std::string> entries;
  size_t pos = 0;
  auto skipBlanks = [&] {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
  };
  skipBlanks();
  while (pos < text.size()) {
    std::string entry;
    if (text[pos] == '"') {
      ++pos;
      while (pos < text.size()) {
        if (text[pos] == '"') {
          if (pos + 1 < text.size() && text[pos + 1] == '"') {
            entry += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        entry += text[pos++];
      }
    } else {
      while (pos < text.size() && text[pos] != ',' && !IsBlank(text[pos])) entry += text[pos++];
    }
    entries.push_back(entry);
    skipBlanks();
    if (pos < text.size() && text[pos] == ',') {
      ++pos;
      skipBlanks();
      // "a," ends with an empty last entry.
      if (pos >= text.size()) entries.emplace_back();
    }
  }
  return entries;
}

std::string SoundexCode(const std::string& text) {
  if (text.empty()) return "";
  std::string code;
  char first = text[0];
  code += (first >= 'a' && first <= 'z') ? static_cast<char>(first - 'a' + 'A') : first;
  char previous = SoundDigit(first);
  for (size_t i = 1; i < text.size() && code.size() < 4; ++i) {
    char digit = SoundDigit(text[i]);
    if (digit == 0) continue;  // h and w keep the previous digit
    if (digit != '0' && digit != previous) code += digit;
    previous = digit;
  }
  code.resize(4, '0');
  return code;
}

bool ExtensionMatches(const std::string& extension, const std::string& entry) {
  std::string code = SoundexCode(extension);
  return !code.empty() && code == SoundexCode(entry);
}

std::string ExtensionOf(const std::string& fileName) {
  size_t dot = fileName.rfind('.');
  return dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
}

}  // namespace kestrova::sync
