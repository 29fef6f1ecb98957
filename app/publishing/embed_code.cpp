#include "embed_code.h"

#include <cstdio>

namespace kestrova::publishing {

const char* const kVendorHomePage = "https://kestrova.example/";

namespace {
const char* Flag(bool on) { return on ? "True" : "False"; }
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
         "\">ZorvaneKestrova</a></div><SCRIPT id='zvParam'  language=Javascript src='" + domain + "/index.js?" +
         query + "'></script>";
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
