// The terminal tool's date-time texts: one fixed rendering whatever the
// locale (what a Chinese desktop shows), and the scan time record written
// without Qt, so that the terminal tool starts without loading it.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "date_text.h"

namespace kestrova::sync {
namespace {

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool IsSection(const std::string& line) {
  std::string t = Trimmed(line);
  return t.size() >= 2 && t.front() == '[' && t.back() == ']';
}

bool IsKey(const std::string& line, const std::string& key) {
  size_t equals = line.find('=');
  return equals != std::string::npos && Trimmed(line.substr(0, equals)) == key;
}

// The lines of the record with "key=value" set in [section], every other
// section and key kept as it was.
std::vector<std::string> WithValue(std::vector<std::string> lines, const std::string& section, const std::string& key,
                                   const std::string& value) {
  const std::string entry = key + "=" + value;
  bool inSection = false;
  size_t sectionEnd = std::string::npos;  // where a missing key goes
  for (size_t i = 0; i < lines.size(); ++i) {
    if (IsSection(lines[i])) {
      if (inSection) break;
      inSection = Trimmed(lines[i]) == "[" + section + "]";
      if (inSection) sectionEnd = i + 1;
      continue;
    }
    if (!inSection) continue;
    if (IsKey(lines[i], key)) {
      lines[i] = entry;
      return lines;
    }
    if (!Trimmed(lines[i]).empty()) sectionEnd = i + 1;
  }
  if (sectionEnd != std::string::npos) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    return lines;
  }
  if (!lines.empty() && !Trimmed(lines.back()).empty()) lines.emplace_back();
  lines.push_back("[" + section + "]");
  lines.push_back(entry);
  return lines;
}

}  // namespace

std::string DateTimeText(WallTime time) { return LanguageLessDateTimeText(time); }

void WriteScanTime(const std::string& executableFolder, WallTime time) {
  const std::string path = executableFolder + "/7in10.ini";
  std::vector<std::string> lines;
  {
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  lines = WithValue(std::move(lines), "sys", "createtime", DateTimeText(time));
  std::ostringstream text;
  for (const auto& line : lines) text << line << "\n";
  // Written beside the record and renamed over it, so a reader never meets
  // half of it; like the desktop's, a record that cannot be written is skipped.
  std::string temporary = path + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return;
  ::fchmod(fd, 0644);  // as an ordinary file of the folder, not the private temporary's 0600
  const std::string bytes = text.str();
  bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  written = ::close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) ::unlink(temporary.c_str());
}

}  // namespace kestrova::sync
