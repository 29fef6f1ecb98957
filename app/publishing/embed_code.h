// The snippet a company pastes into its web pages to show the player, and
// the preview address. Values go into the query exactly as typed: the web
// player reads them back the same way.
#pragma once

#include <optional>
#include <string>

namespace kestrova::publishing {

struct EmbedOptions {
  bool isFloor = true;
  bool isMulVideofiles = true;
  // Set only when exactly one catalogue row is selected and the single-video
  // player is chosen.
  std::optional<std::string> fileName;
  std::string playerWidth = "400";
  std::string playerHeight = "340";
  bool displayCard = false;   // chkDisplayEntCard
  bool displayRec = false;    // chkAutocre
  bool displayZhimo = false;  // chkDisplayZhimo
  bool displayLogo = false;   // chkDisplayLogo
  bool autoplay = false;      // chkAutoPlay
  std::string title = "企业视频展示";
  std::string titleBgColor = "C92A27";
  std::string titleFontColor = "FFFFFF";
  std::string borderLineColor = "A67901";
};

// The address of our home page in the snippet's hidden link.
extern const char* const kVendorHomePage;

std::string BuildScriptQuery(const EmbedOptions& options);

// The hidden link and the script element loading domain + "/index.js?" + query.
// A "'" (and an "&" the page would read as a character reference) is written
// as a character reference, so the address stays one attribute and the page
// reads it as typed.
std::string BuildScriptText(const std::string& domain, const std::string& query);

// domain + "/preview.html?" + query.
std::string PreviewAddress(const std::string& domain, const std::string& query);

// Six upper-case hex digits, red first (pure red: "FF0000").
std::string ColourHex(int red, int green, int blue);

}  // namespace kestrova::publishing
