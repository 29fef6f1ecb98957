// Which local files the change scan looks at: the filter list and the rule
// that matches a file's extension against its entries.
#pragma once

#include <string>
#include <vector>

namespace kestrova::sync {

// The fixed filter list of the upload panel.
inline constexpr const char* kExtensionList = "mp4,jpg,xml,js,html,gif,swf,htm";

// Splits a comma list into entries. Blanks also separate entries, and an
// entry in double quotes may hold commas and blanks ("" inside stands for ").
std::vector<std::string> spit(const std::string& text);

// The four-character sound code of a text ("mp4" -> "M100"); empty for an
// empty text.
std::string SoundexCode(const std::string& text);

// True when the extension (without the dot) and the filter entry have the
// same sound code. This deliberately matches more than equal names: "mov"
// and "mp3" match "mp4", while "mpg" (M120) and "png" do not.
bool ExtensionMatches(const std::string& extension, const std::string& entry);

// The extension of a file name without the dot; empty when it has none.
std::string ExtensionOf(const std::string& fileName);

}  // namespace kestrova::sync
