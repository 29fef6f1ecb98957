// Where a catalogue video's files live in the local data folder and on the
// site, derived from its fileName. The fileName comes from a server reply, so
// it is only ever used as a plain base name inside the data folder.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace kestrova::catalogue {

// The name up to its first "." (the whole name when it has none).
std::string BaseName(const std::string& fileName);

// The base name when fileName can safely name files inside the data folder:
// not empty, and without "/", "\", ".." or control characters. Otherwise
// nothing.
std::optional<std::string> SafeBaseName(const std::string& fileName);

// A fileName that would reach outside the data folder.
class UnsafeFileNameError : public std::runtime_error {
 public:
  explicit UnsafeFileNameError(const std::string& fileName);
};

// Like SafeBaseName, but throws UnsafeFileNameError.
std::string RequireSafeBaseName(const std::string& fileName);

std::filesystem::path ThumbnailPath(const std::filesystem::path& dataPath, const std::string& base);
std::filesystem::path VideoPath(const std::filesystem::path& dataPath, const std::string& base);

// The site's copy of the thumbnail: domain (no trailing "/") + "/zoom/" + base + ".jpg".
std::string ThumbnailAddress(const std::string& domain, const std::string& base);

// Removes the local thumbnail and video of base, each only when it exists.
// Throws std::runtime_error naming the file when one cannot be removed.
void DeleteLocalVideoFiles(const std::filesystem::path& dataPath, const std::string& base);

}  // namespace kestrova::catalogue
