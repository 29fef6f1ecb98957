// Replies are written straight into one string reserved up front, rather
// than built as a document tree and serialised: the catalogue reply of a
// large company is the service's hottest path, and the tree cost more than
// the database.
#include "reply_writer.h"

namespace kestrova::service {
namespace {

// Appends name="value" with the value escaped as pugixml (and every XML
// reader) expects: markup characters as entities, tab, line feed and
// carriage return as references so a reader does not turn them into blanks.
void Attribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  size_t plain = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char* escaped = nullptr;
    switch (value[i]) {
      case '&': escaped = "&amp;"; break;
      case '<': escaped = "&lt;"; break;
      case '>': escaped = "&gt;"; break;
      case '"': escaped = "&quot;"; break;
      case '\t': escaped = "&#9;"; break;
      case '\n': escaped = "&#10;"; break;
      case '\r': escaped = "&#13;"; break;
      default: continue;
    }
    out.append(value, plain, i - plain);
    out += escaped;
    plain = i + 1;
  }
  out.append(value, plain, std::string_view::npos);
  out += '"';
}

void Flag(std::string& out, std::string_view name, bool on) { Attribute(out, name, on ? "1" : "0"); }

constexpr std::string_view kHead = "<data><msg>";
constexpr std::string_view kTail = "</msg></data>";

}  // namespace

std::string ResultReply(std::string_view result, std::string_view message) {
  std::string out;
  out.reserve(kHead.size() + kTail.size() + 32 + result.size() + message.size() * 2);
  out += kHead;
  out += "<item";
  Attribute(out, "result", result);
  if (!message.empty()) Attribute(out, "message", message);
  out += "/>";
  out += kTail;
  return out;
}

std::string LoginReply(const Company& company) {
  const CompanyProfile& p = company.profile;
  std::string out;
  out.reserve(1024);
  out += kHead;
  out += "<item";
  Attribute(out, "result", "success");
  Attribute(out, "name", p.name);
  Attribute(out, "title", p.title);
  Attribute(out, "tel", p.tel);
  Attribute(out, "fax", p.fax);
  Attribute(out, "qq", p.qq);
  Attribute(out, "skype", p.skype);
  Attribute(out, "msn", p.msn);
  Attribute(out, "email", p.email);
  Flag(out, "dsp_ent_card", p.dspEntCard);
  Flag(out, "dsp_play_zhimo", p.dspPlayZhimo);
  Flag(out, "auto_play", p.autoPlay);
  Flag(out, "auto_cre", p.autoCre);
  Flag(out, "dsp_logo", p.dspLogo);
  Attribute(out, "ftp_path", p.ftpPath);
  Attribute(out, "ftp_addr", p.ftpAddr);
  Attribute(out, "ftp_port", p.ftpPort);
  Attribute(out, "ftp_account", p.ftpAccount);
  Attribute(out, "ftp_password", p.ftpPassword);
  Attribute(out, "domain", p.domain);
  Attribute(out, "companyid", std::to_string(company.id));
  Attribute(out, "account", company.account);
  Attribute(out, "tvtype", company.tvtype);
  out += "/>";
  out += kTail;
  return out;
}

std::string VideoListReply(const std::vector<Video>& videos) {
  // Room for every value plus the names and quotes around them; escapes are
  // rare, and a string that must grow once still costs little.
  size_t size = kHead.size() + kTail.size();
  for (const Video& v : videos)
    size += 160 + v.title.size() + v.duration.size() + v.fileName.size() + v.framerate.size() + v.fileSize.size() +
            v.createDate.size() + v.state.size() + v.memo.size() + v.zhimo.size();
  std::string out;
  out.reserve(size);
  out += kHead;
  for (const Video& v : videos) {
    out += "<item";
    Attribute(out, "id", std::to_string(v.id));
    Attribute(out, "title", v.title);
    Attribute(out, "duration", v.duration);
    Attribute(out, "fileName", v.fileName);
    Attribute(out, "framerate", v.framerate);
    Attribute(out, "fileSize", v.fileSize);
    Attribute(out, "sort", std::to_string(v.sort));
    Attribute(out, "createDate", v.createDate);
    Attribute(out, "state", v.state);
    Attribute(out, "memo", v.memo);
    Attribute(out, "zhimo", v.zhimo);
    out += "/>";
  }
  out += kTail;
  return out;
}

}  // namespace kestrova::service
