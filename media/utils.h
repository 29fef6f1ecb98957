// Small shared media helpers: library error texts, duration and size texts,
// media type names, whole-file read (the ones that take the libraries' own
// types are internal: av_utils.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

// The library's "no time given" value.
constexpr int64_t kNoPts = INT64_MIN;

// fileName + ": " + the message for a library error code.
std::string ErrorText(const std::string& fileName, int error);
// Just the message part of ErrorText.
std::string ErrorMessage(int error);

// "HH:MM:SS.mmm" (hours not wrapped at 24), "N/A" for kNoPts.
std::string DurationText(int64_t microseconds);
// "Video", "Audio", "Data", "Subtitle", "Attachment", else "Unknown".
std::string MediaTypeName(int mediaType);
// "%d Byte", "%.2f KB", "%.2f MB", "%.2f GB".
std::string SizeText(int64_t bytes);

// Reads the whole file and puts a zero after it; size = bytes read + 1.
// Returns 0, -1 when it cannot be opened, -12 when memory runs out.
int ReadWholeFile(const std::string& fileName, std::vector<char>& buffer, int& size);

// printf into a std::string.
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace media
