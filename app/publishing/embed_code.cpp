#include "embed_code.h"

#include <cstdio>

namespace kestrova::publishing {

const char* const kVendorHomePage = "https://kestrova.example/";

namespace {
const char* Flag(bool on) { return on ? "True" : "False"; }

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The address stands in a single-quoted attribute and goes over as typed,
// except where the page would read it differently: a "'" would end the
// attribute (the rest of the options lost, or turned into markup), and an
// "&" that starts a character reference ("&lt;", "&#39;", "&copy ") would be
// replaced by the character. Both are written as references, which the
// browser turns back into the typed text. The "&" before each option
// ("&title=") and an "&" before a blank stay as they are.
std::string AttributeText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\'') {
      out += "&#39;";
    } else if (c == '&') {
      size_t end = i + 1;
      while (end < text.size() && IsAsciiAlnum(text[end])) ++end;
      bool optionName = end > i + 1 && end < text.size() && text[end] == '=';
      bool startsReference = end > i + 1 || (end < text.size() && text[end] == '#');
      out += startsReference && !optionName ? "&amp;" : "&";
    } else {
      out += c;
    }
  }
  return out;
}
}  // namespace

std::string BuildScriptQuery(const EmbedOptions& o) {
  std::string q = "isfloor=";
  q += Flag(o.isFloor);
  if (o.fileName) q += "&filename=" + *o.fileName;
  q += "&isMulVideofiles=";
  q += Flag(o.isMulVideofiles);
  q += "&playerwidth=" + o.playerWidth;
  q += "&playerheight=" + o.playerHeight;
  q += "&displaycard=";
  q += Flag(o.displayCard);
  q += "&displayRec=";
  q += Flag(o.displayRec);
  q += "&displayZhimo=";
  q += Flag(o.displayZhimo);
  q += "&displaylogo=";
  q += Flag(o.displayLogo);
  q += "&autoplay=";
  q += Flag(o.autoplay);
  q += "&title=" + o.title;
  q += "&titlebg=" + o.titleBgColor;
  q += "&titlefontcolor=" + o.titleFontColor;
  q += "&borderlinecolor=" + o.borderLineColor;
  return q;
}

std::string BuildScriptText(const std::string& domain, const std::string& query) {
  return std::string("<div style=\"display:none\"><a href=\"") + kVendorHomePage +
         "\">ZorvaneKestrova</a></div><SCRIPT id='zvParam'  language=Javascript src='" +
         AttributeText(domain + "/index.js?" + query) + "'></script>";
}

std::string PreviewAddress(const std::string& domain, const std::string& query) {
  return domain + "/preview.html?" + query;
}

std::string ColourHex(int red, int green, int blue) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", red & 0xff, green & 0xff, blue & 0xff);
  return text;
}

}  // namespace kestrova::publishing
