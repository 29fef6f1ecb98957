#include "ftp_listing.h"

#include <array>
#include <cctype>
#include <sstream>
#include <strings.h>

namespace kestrova::sync {
namespace {

using namespace std::chrono;

int MonthNumber(const std::string& word) {
  static const std::array<const char*, 12> names = {"jan", "feb", "mar", "apr", "may", "jun",
                                                    "jul", "aug", "sep", "oct", "nov", "dec"};
  for (size_t i = 0; i < names.size(); ++i)
    if (word.size() == 3 && strncasecmp(word.c_str(), names[i], 3) == 0) return static_cast<int>(i) + 1;
  return 0;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Splits off the first `count` blank-separated words; the rest of the line
// (the name, which may hold blanks of its own) goes to `rest`.
bool SplitWords(const std::string& line, size_t count, std::vector<std::string>& words, std::string& rest) {
  size_t pos = 0;
  words.clear();
  while (words.size() < count) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos >= line.size()) return false;
    size_t end = line.find(' ', pos);
    if (end == std::string::npos) return false;
    words.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  // Exactly one blank separates the time from the name; further blanks belong to the name.
  if (pos < line.size() && line[pos] == ' ') ++pos;
  rest = line.substr(pos);
  return !rest.empty();
}

bool ParseClock(const std::string& text, int& hour, int& minute) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  std::string h = text.substr(0, colon), m = text.substr(colon + 1, 2);
  // Two-digit minutes, at most two-digit hours: anything else is no clock
  // (and would not fit the numbers read below).
  if (h.size() > 2 || m.size() != 2 || !AllDigits(h) || !AllDigits(m)) return false;
  hour = std::stoi(h);
  minute = std::stoi(m);
  std::string suffix = text.substr(colon + 3);
  if (strcasecmp(suffix.c_str(), "PM") == 0 && hour < 12) hour += 12;
  if (strcasecmp(suffix.c_str(), "AM") == 0 && hour == 12) hour = 0;
  return (suffix.empty() || strcasecmp(suffix.c_str(), "AM") == 0 || strcasecmp(suffix.c_str(), "PM") == 0) &&
         hour < 24 && minute < 60;
}

// A size column: digits only, and small enough to hold.
std::optional<std::int64_t> SizeOf(const std::string& word) {
  if (!AllDigits(word) || word.size() > 18) return std::nullopt;
  return std::stoll(word);
}

bool ValidDate(int year, int month, int day) {
  return year_month_day{year_month_day{std::chrono::year{year} / month / day}}.ok();
}

bool ParseUnix(const std::string& line, WallTime today, ListingEntry& entry) {
  std::vector<std::string> words;
  std::string rest;
  // permissions, links, owner, group, size, month, day, time-or-year
  if (!SplitWords(line, 8, words, rest)) return false;
  const std::string& mode = words[0];
  if (mode.size() < 10 || std::string("-dlcbps").find(mode[0]) == std::string::npos) return false;
  int month = MonthNumber(words[5]);
  if (!month || !AllDigits(words[6]) || words[6].size() > 2) return false;
  int day = std::stoi(words[6]);
  int year, hour = 0, minute = 0;
  if (AllDigits(words[7])) {
    if (words[7].size() != 4) return false;
    year = std::stoi(words[7]);
  } else {
    if (!ParseClock(words[7], hour, minute)) return false;
    year_month_day now{floor<days>(today)};
    year = static_cast<int>(now.year());
    if (!ValidDate(year, month, day) || MakeWallTime(year, month, day, 0, 0) > today + days{1}) --year;
  }
  if (!ValidDate(year, month, day)) return false;
  entry.modified = MakeWallTime(year, month, day, hour, minute);
  entry.isDirectory = mode[0] == 'd';
  if (mode[0] == '-') entry.size = SizeOf(words[4]);
  entry.name = rest;
  if (mode[0] == 'l') {
    size_t arrow = entry.name.find(" -> ");
    if (arrow != std::string::npos) entry.name.resize(arrow);
  }
  return true;
}

bool ParseDos(const std::string& line, ListingEntry& entry) {
  std::vector<std::string> words;
  std::string rest;
  // date, time, "<DIR>" or size
  if (!SplitWords(line, 3, words, rest)) return false;
  const std::string& date = words[0];
  if (date.size() < 8 || (date[2] != '-' && date[2] != '/')) return false;
  std::string mm = date.substr(0, 2), dd = date.substr(3, 2), yy = date.substr(6);
  if (!AllDigits(mm) || !AllDigits(dd) || !AllDigits(yy) || (yy.size() != 2 && yy.size() != 4)) return false;
  int year = std::stoi(yy);
  // Two-digit years: 70-99 are the 1900s, the rest this century.
  if (yy.size() == 2) year += year < 70 ? 2000 : 1900;
  int month = std::stoi(mm), day = std::stoi(dd), hour, minute;
  if (!ValidDate(year, month, day) || !ParseClock(words[1], hour, minute)) return false;
  bool isDir = words[2] == "<DIR>";
  if (!isDir && !AllDigits(words[2])) return false;
  // DOS listings pad the size column; the name starts after those blanks.
  size_t start = rest.find_first_not_of(' ');
  if (start == std::string::npos) return false;
  entry.name = rest.substr(start);
  entry.modified = MakeWallTime(year, month, day, hour, minute);
  entry.isDirectory = isDir;
  if (!isDir) entry.size = SizeOf(words[2]);
  return true;
}

}  // namespace

std::vector<ListingEntry> ParseListing(const std::string& text, WallTime today) {
  std::vector<ListingEntry> entries;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ListingEntry entry;
    if (ParseUnix(line, today, entry) || ParseDos(line, entry)) {
      if (entry.name != "." && entry.name != "..") entries.push_back(std::move(entry));
    }
  }
  return entries;
}

}  // namespace kestrova::sync
