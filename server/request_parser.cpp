#include "request_parser.h"

#include <pugixml.hpp>

#include <array>
#include <regex>
#include <utility>

namespace kestrova::service {
namespace {

constexpr std::array<std::pair<const char*, const char*>, 7> kReplyCommands{{
    {"loadMainFlash", "loadMainFlash"},
    {"getByCompIdVideoList", "getByCompIdVideoList"},
    {"editUploadFile", "editUploadFile"},
    {"delUploadFile", "delUploadFile"},
    {"ModComCard", "ModCompanyResult"},
    {"saveUploadFile", "saveUploadFile"},
    {"ModComPsw", "editEntPwd"},
}};

constexpr size_t kGuessScanBytes = 4096;

// pugixml takes bytes as they come; the database layers and the tool expect
// UTF-8, so anything else is turned away at the door.
bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra;
    char32_t min;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, min = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;  // truncated sequence
    char32_t cp = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

// pugixml reads some texts that are not well-formed XML: a "<" inside an
// attribute value, or an "&" that starts no reference, both come through
// literally. The tool inserts values unescaped, so accepting those would make
// one title stored as typed and another (with "&amp;" in it) stored changed.
// One rule instead: what is not well-formed XML is refused. Returns why, or
// an empty text.
std::string StrictnessProblem(std::string_view text) {
  bool inTag = false;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '&') {
      size_t end = text.find(';', i);
      std::string_view name = end == std::string_view::npos ? std::string_view() : text.substr(i + 1, end - i - 1);
      static const std::regex reference("lt|gt|amp|quot|apos|#[0-9]{1,7}|#x[0-9A-Fa-f]{1,6}");
      if (name.empty() || !std::regex_match(name.begin(), name.end(), reference))
        return "\"&\" that starts no character reference at byte " + std::to_string(i);
    } else if (quote) {
      if (c == quote) quote = 0;
      else if (c == '<') return "\"<\" inside an attribute value at byte " + std::to_string(i);
    } else if (inTag) {
      if (c == '"' || c == '\'') quote = c;
      else if (c == '>') inTag = false;
    } else if (c == '<') {
      // Request texts carry no comments, CDATA or declarations; rather than
      // follow their rules here, the check ends at the first one and leaves
      // the rest to the parser.
      if (text.substr(i, 2) == "<!" || text.substr(i, 2) == "<?") return {};
      inTag = true;
    }
  }
  return {};
}

// The <data> element: inside the envelope, or the document itself when a
// caller posts the bare body.
pugi::xml_node FindDataElement(const pugi::xml_document& doc) {
  pugi::xml_node root = doc.document_element();
  if (std::string_view(root.name()) == "data") return root;
  if (std::string_view(root.name()) != "invoke") return {};
  return root.child("arguments").child("string").child("data");
}

}  // namespace

std::optional<std::string> ServiceRequest::value(const std::string& name) const {
  auto it = item.find(name);
  if (it == item.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> ReplyCommandFor(const std::string& messageType) {
  for (const auto& [type, command] : kReplyCommands)
    if (messageType == type) return std::string(command);
  return std::nullopt;
}

std::string GuessMessageType(std::string_view body) {
  std::string head(body.substr(0, kGuessScanBytes));
  static const std::regex methodAttribute(R"(<msgType[^>]*\bmethod\s*=\s*"([A-Za-z]+)\")");
  static const std::regex loginText(R"(<msgType\s*>\s*([A-Za-z]+)\s*</msgType>)");
  std::smatch match;
  std::string found;
  if (std::regex_search(head, match, methodAttribute) || std::regex_search(head, match, loginText))
    found = match[1].str();
  return ReplyCommandFor(found) ? found : std::string();
}

ParsedRequest ParseRequestText(std::string_view body) {
  ParsedRequest parsed;
  if (!IsValidUtf8(body)) {
    parsed.error = "request is not UTF-8 text";
    parsed.guessedType = GuessMessageType(body);
    return parsed;
  }
  if (std::string problem = StrictnessProblem(body); !problem.empty()) {
    parsed.error = "request is not well-formed XML: " + problem;
    parsed.guessedType = GuessMessageType(body);
    return parsed;
  }
  pugi::xml_document doc;
  pugi::xml_parse_result ok = doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!ok) {
    parsed.error = std::string("request is not well-formed XML: ") + ok.description() + " at byte " +
                   std::to_string(ok.offset);
    parsed.guessedType = GuessMessageType(body);
    return parsed;
  }
  pugi::xml_node data = FindDataElement(doc);
  pugi::xml_node msgType = data.child("msgType");
  if (!data || !msgType) {
    parsed.error = "not a service request: no <data><msgType> found";
    return parsed;
  }
  ServiceRequest request;
  // The sign-in names its type as the element's text; every other request
  // names it in the method attribute (the text is its service group).
  pugi::xml_attribute method = msgType.attribute("method");
  request.type = method ? method.value() : msgType.text().get();
  for (pugi::xml_attribute a : data.child("msg").child("item").attributes()) request.item.emplace(a.name(), a.value());
  parsed.request = std::move(request);
  return parsed;
}

}  // namespace kestrova::service
