#include "request_parser.h"

#include <pugixml.hpp>

#include <array>
#include <map>
#include <set>
#include <utility>

#include "xml_strictness.h"

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

// The attributes each request's <item> carries. Anything else is refused:
// an extra attribute in a request means a value broke out of its quotes.
const std::map<std::string, std::set<std::string>, std::less<>>& AttributeSets() {
  static const std::map<std::string, std::set<std::string>, std::less<>> sets{
      {"loadMainFlash", {"account", "password"}},
      {"getByCompIdVideoList", {"company_id"}},
      {"editUploadFile", {"id", "sort", "title", "companyId", "memo", "zhimo", "state"}},
      {"delUploadFile", {"id", "companyId"}},
      {"saveUploadFile", {"fileName", "zhimo", "title", "duration", "framerate", "companyId", "fileSize", "state"}},
      {"ModComCard", {"companyId", "name", "title", "tel", "fax", "qq", "skype", "msn", "email", "dsp_ent_card",
                      "dsp_play_zhimo", "auto_play", "auto_cre", "dsp_logo", "ftp_path", "ftp_addr", "ftp_port",
                      "ftp_account", "ftp_password", "domain"}},
      {"ModComPsw", {"id", "oldpwd", "newpwd"}},
  };
  return sets;
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

std::string UnexpectedAttribute(const ServiceRequest& request) {
  auto set = AttributeSets().find(request.type);
  if (set == AttributeSets().end()) return {};
  for (const auto& [name, value] : request.item)
    if (!set->second.count(name)) return name;
  return {};
}

std::optional<std::string> ReplyCommandFor(const std::string& messageType) {
  for (const auto& [type, command] : kReplyCommands)
    if (messageType == type) return std::string(command);
  return std::nullopt;
}

namespace {

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsWordChar(char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '_'; }

size_t SkipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && IsBlankChar(text[at])) ++at;
  return at;
}

size_t SkipLetters(std::string_view text, size_t at) {
  while (at < text.size() && IsLetter(text[at])) ++at;
  return at;
}

// In tag (the text after "<msgType" up to its ">"): the letters of a
// method="..." attribute, or "".
std::string_view MethodIn(std::string_view tag) {
  for (size_t at = tag.find("method"); at != std::string_view::npos; at = tag.find("method", at + 1)) {
    if (at > 0 && IsWordChar(tag[at - 1])) continue;
    size_t i = SkipBlanks(tag, at + 6);
    if (i >= tag.size() || tag[i] != '=') continue;
    i = SkipBlanks(tag, i + 1);
    if (i >= tag.size() || tag[i] != '"') continue;
    size_t end = SkipLetters(tag, i + 1);
    if (end > i + 1 && end < tag.size() && tag[end] == '"') return tag.substr(i + 1, end - i - 1);
  }
  return {};
}

// After "<msgType" at `at`: the letters of "<msgType>Name</msgType>", or "".
std::string_view TextTypeAt(std::string_view text, size_t at) {
  size_t i = SkipBlanks(text, at);
  if (i >= text.size() || text[i] != '>') return {};
  size_t begin = SkipBlanks(text, i + 1);
  size_t end = SkipLetters(text, begin);
  if (end == begin) return {};
  return text.substr(SkipBlanks(text, end)).starts_with("</msgType>") ? text.substr(begin, end - begin)
                                                                        : std::string_view();
}

}  // namespace

// A plain scan rather than a regular expression: it runs on every malformed
// body, and a backtracking search over a hostile one costs far more than the
// request is worth. Each byte is looked at a bounded number of times.
std::string GuessMessageType(std::string_view body) {
  std::string_view head = body.substr(0, kGuessScanBytes);
  constexpr std::string_view kOpen = "<msgType";
  std::string_view byMethod, byText;
  size_t at = head.find(kOpen);
  while (at != std::string_view::npos && byMethod.empty()) {
    size_t afterName = at + kOpen.size();
    size_t tagEnd = head.find('>', afterName);
    std::string_view tag = head.substr(afterName, tagEnd == std::string_view::npos ? head.npos : tagEnd - afterName);
    byMethod = MethodIn(tag);
    // Another "<msgType" before this tag's ">" sees the same end of tag and
    // a shorter stretch of it, so it names no other method; of those, only
    // the last can be followed by nothing but blanks and ">".
    size_t lastInside = tag.rfind(kOpen);
    if (byText.empty())
      byText = TextTypeAt(head, lastInside == std::string_view::npos ? afterName : afterName + lastInside + kOpen.size());
    if (tagEnd == std::string_view::npos) break;
    at = head.find(kOpen, tagEnd);
  }
  std::string found(byMethod.empty() ? byText : byMethod);
  return ReplyCommandFor(found) ? found : std::string();
}

ParsedRequest ParseRequestText(std::string_view body) {
  ParsedRequest parsed;
  auto refuse = [&](std::string why) {
    parsed.error = "request is not well-formed XML: " + why;
    parsed.guessedType = GuessMessageType(body);
    return parsed;
  };
  if (std::string problem = RawTextProblem(body); !problem.empty()) return refuse(problem);
  pugi::xml_document doc;
  pugi::xml_parse_result ok = doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!ok) return refuse(std::string(ok.description()) + " at byte " + std::to_string(ok.offset));
  if (std::string problem = DocumentProblem(doc); !problem.empty()) return refuse(problem);
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
