#include "pending_registrations.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kestrova::catalogue {

namespace fs = std::filesystem;

namespace {

constexpr size_t kFieldCount = 7;

// Source file names may hold tabs, line breaks or "%"; those become %XX so
// every entry stays one line of tab-separated fields.
std::string Escape(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A name that stays inside data/video: the list is a file anyone may edit.
bool PlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name.find("..") != std::string::npos) return false;
  return std::none_of(name.begin(), name.end(),
                      [](unsigned char c) { return c == '/' || c == '\\' || c < 0x20 || c == 0x7f; });
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace

fs::path PendingRegistrationsPath(const fs::path& dataFolder) { return dataFolder / kPendingRegistrationsFile; }

std::vector<PendingVideo> ReadPendingRegistrations(const fs::path& dataFolder) {
  std::vector<PendingVideo> videos;
  std::ifstream in(PendingRegistrationsPath(dataFolder), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> f = SplitTabs(line);
    if (f.size() != kFieldCount) continue;
    for (std::string& field : f) field = Unescape(field);
    PendingVideo video{f[0], f[1], f[2], f[3], f[4], f[5], f[6]};
    if (PlainFileName(video.fileName)) videos.push_back(std::move(video));
  }
  return videos;
}

std::string WritePendingRegistrations(const fs::path& dataFolder, const std::vector<PendingVideo>& videos) {
  const fs::path file = PendingRegistrationsPath(dataFolder);
  std::error_code error;
  if (videos.empty()) {
    fs::remove(file, error);
    return error ? error.message() : "";
  }
  std::ostringstream text;
  for (const PendingVideo& v : videos) {
    text << Escape(v.fileName) << '\t' << Escape(v.companyid) << '\t' << Escape(v.title) << '\t' << Escape(v.zhimo)
         << '\t' << Escape(v.duration) << '\t' << Escape(v.framerate) << '\t' << Escape(v.fileSize) << '\n';
  }
  const fs::path temporary = file.string() + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return std::string(std::strerror(errno));
    out << text.str();
    if (!out.flush()) {
      std::string reason = std::strerror(errno);
      out.close();
      fs::remove(temporary, error);
      return reason;
    }
  }
  fs::rename(temporary, file, error);
  if (error) {
    std::string reason = error.message();
    fs::remove(temporary, error);
    return reason;
  }
  return "";
}

std::string AddPendingRegistration(const fs::path& dataFolder, const PendingVideo& video) {
  std::vector<PendingVideo> videos = ReadPendingRegistrations(dataFolder);
  std::erase_if(videos, [&](const PendingVideo& v) { return v.fileName == video.fileName; });
  videos.push_back(video);
  return WritePendingRegistrations(dataFolder, videos);
}

std::string RemovePendingRegistration(const fs::path& dataFolder, const std::string& fileName) {
  std::vector<PendingVideo> videos = ReadPendingRegistrations(dataFolder);
  if (std::erase_if(videos, [&](const PendingVideo& v) { return v.fileName == fileName; }) == 0) return "";
  return WritePendingRegistrations(dataFolder, videos);
}

std::vector<std::string> HeldBackFiles(const std::vector<PendingVideo>& videos) {
  std::vector<std::string> files;
  for (const PendingVideo& v : videos) {
    files.push_back("video/" + v.fileName);
    // The thumbnail is named after the part before the first "."; see BaseName.
    files.push_back("zoom/" + v.fileName.substr(0, v.fileName.find('.')) + ".jpg");
  }
  return files;
}

}  // namespace kestrova::catalogue
