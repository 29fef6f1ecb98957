#include "request_parser.h"

#include <pugixml.hpp>

#include <array>
#include <map>
#include <set>
#include <regex>
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
