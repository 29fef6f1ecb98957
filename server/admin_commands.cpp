#include "admin_commands.h"

#include <functional>
#include <stdexcept>

#include "local_time.h"
#include "password_hash.h"

namespace kestrova::service {
namespace {

bool FlagOption(const std::string& name, const std::string& value) {
  if (value == "1" || value == "True" || value == "true") return true;
  if (value == "0" || value == "False" || value == "false") return false;
  throw std::invalid_argument("--" + name + " must be 0 or 1");
}

}  // namespace

NewCompany CompanyFromOptions(const std::map<std::string, std::string>& options) {
  NewCompany company;
  company.tvtype = "SETUP";
  CompanyProfile& p = company.profile;
  const std::map<std::string, std::string*> texts{
      {"account", &company.account}, {"tvtype", &company.tvtype}, {"name", &p.name},
      {"title", &p.title},           {"tel", &p.tel},             {"fax", &p.fax},
      {"qq", &p.qq},                 {"skype", &p.skype},         {"msn", &p.msn},
      {"email", &p.email},           {"ftp_path", &p.ftpPath},    {"ftp_addr", &p.ftpAddr},
      {"ftp_port", &p.ftpPort},      {"ftp_account", &p.ftpAccount}, {"ftp_password", &p.ftpPassword},
      {"domain", &p.domain}};
  const std::map<std::string, bool*> flags{{"dsp_ent_card", &p.dspEntCard},
                                           {"dsp_play_zhimo", &p.dspPlayZhimo},
                                           {"auto_play", &p.autoPlay},
                                           {"auto_cre", &p.autoCre},
                                           {"dsp_logo", &p.dspLogo}};
  bool havePassword = false;
  for (const auto& [name, value] : options) {
    if (name == "db") continue;
    if (name == "password") {
      company.passwordHash = HashPassword(value);
      havePassword = true;
    } else if (auto t = texts.find(name); t != texts.end()) {
      *t->second = value;
    } else if (auto f = flags.find(name); f != flags.end()) {
      *f->second = FlagOption(name, value);
    } else {
      throw std::invalid_argument("unknown option --" + name);
    }
  }
  if (company.account.empty()) throw std::invalid_argument("--account is required");
  if (!havePassword) throw std::invalid_argument("--password is required");
  return company;
}

std::int64_t SeedDemoCompany(Store& store, bool& created, bool sampleVideos, const DemoSitePorts& ports) {
  created = false;
  const std::string domain = "http://127.0.0.1:" + ports.http;
  if (auto existing = store.findCompanyByAccount("demo")) {
    CompanyProfile& p = existing->profile;
    if (p.ftpPort != ports.ftp || p.domain != domain) {
      p.ftpPort = ports.ftp;
      p.domain = domain;
      store.updateProfile(existing->id, p);
    }
    return existing->id;
  }

  NewCompany demo;
  demo.account = "demo";
  demo.passwordHash = HashPassword("demo");
  demo.tvtype = "SETUP";
  CompanyProfile& p = demo.profile;
  p.name = "星禾数码科技有限公司";
  p.title = "上海市浦东新区示范路88号";
  p.tel = "021-55550101";
  p.fax = "021-55550102";
  p.qq = "800012345";
  p.skype = "xinghe.demo";
  p.msn = "demo@xinghe.example";
  p.email = "service@xinghe.example";
  p.dspEntCard = p.dspPlayZhimo = p.autoPlay = p.autoCre = p.dspLogo = true;
  p.ftpAddr = "127.0.0.1";
  p.ftpPort = ports.ftp;
  p.ftpAccount = "demo";
  p.ftpPassword = "demo";
  p.ftpPath = "/";
  p.domain = domain;

  std::string now = LocalTimestamp();
  std::vector<NewVideo> videos;
  if (sampleVideos) videos = {
      {"DemoWelcome00001.html", "欢迎观看星禾数码的企业宣传片", "企业宣传片", "30", "25", "2048", "A", "", now},
      {"DemoProduct00002.html", "新品发布：高清网络播放器", "新品介绍", "45", "25", "3072", "A", "", now},
      {"DemoDraft0000003.html", "草稿视频，尚未发布", "活动花絮（草稿）", "20", "25", "1024", "U", "", now},
  };
  try {
    std::int64_t id = store.addCompany(demo, videos);
    created = true;
    return id;
  } catch (const StoreError&) {
    // Two starts seeding at the same moment: the other one won, which is
    // just as good.
    if (auto existing = store.findCompanyByAccount("demo")) return existing->id;
    throw;
  }
}

}  // namespace kestrova::service
