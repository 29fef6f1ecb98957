// kestrova-service against requests a careless or hostile client sends: texts
// that smuggle attributes in, forbidden characters, tricks that used to
// switch the strict checks off, page paths with NUL and log forgery. Each
// must be refused and leave the stored data as it was.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "raw_http.h"
#include "service_fixture.h"
#include "service_requests.h"

using kestrova::test::RawConnection;
using kestrova::test::ServiceProcess;
using kestrova::test::ServiceReply;

namespace {

using namespace kestrova::test::requests;

std::string Save(const std::string& id, const std::string& title) {
  return kestrova::test::requests::Save(id, "Hostile000000001.html", title);
}

std::string Card(const std::string& id, const std::string& name) {
  return Envelope("<data><msgType method=\"ModComCard\">SysSetComCard</msgType><msg><item companyId=\"" + id +
                  "\" name=\"" + name + "\"  title=\"t\" tel=\"\" fax=\"\" qq=\"\" skype=\"\" msn=\"\" email=\"\" "
                  "dsp_ent_card=\"True\" dsp_play_zhimo=\"True\" auto_play=\"True\" auto_cre=\"True\" "
                  "dsp_logo=\"True\" ftp_path = \"/\" ftp_addr=\"127.0.0.1\" ftp_port=\"2121\" ftp_account=\"demo\" "
                  "ftp_password=\"demo\" domain=\"http://127.0.0.1:8641\"/></msg></data>");
}

std::map<std::string, std::string> FirstItem(const std::string& reply) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_string(reply.c_str())) << reply;
  std::map<std::string, std::string> item;
  for (pugi::xml_attribute a : doc.child("data").child("msg").first_child().attributes()) item[a.name()] = a.value();
  return item;
}

struct Demo {
  std::string session, id, firstVideo;
};

Demo SignInDemo(const ServiceProcess& service) {
  ServiceReply reply = service.post(Login("demo", "demo"));
  Demo demo{reply.session, FirstItem(reply.body)["companyid"], ""};
  demo.firstVideo = FirstItem(service.post(List(demo.id), demo.session).body)["id"];
  return demo;
}

TEST(HostileRequests, SmuggledAttributesForbiddenCharactersAndMarkupTricksAreRefused) {
  ServiceProcess service({.seedDemo = true});
  Demo demo = SignInDemo(service);
  const std::string listBefore = service.post(List(demo.id), demo.session).body;
  const std::string profileBefore = service.post(Login("demo", "demo")).body;
  const std::string video = demo.firstVideo, id = demo.id;

  struct Case {
    const char* what;
    std::string body;
    const char* command;
  };
  const std::vector<Case> cases{
      // A value that breaks out of its quotes repeats an attribute or adds one.
      {"title turning a video into a draft", Edit(video, id, "z\" state=\"U"), "editUploadFile"},
      {"company name changing the FTP address", Card(id, "x\" ftp_addr=\"evil.example"), "ModCompanyResult"},
      {"new password cut short", Password(id, "demo", "a\" q=\"LongSecretPart123"), "editEntPwd"},
      {"attribute no list request has", List(id, " state=\"U\""), "getByCompIdVideoList"},
      {"company id given twice", List(id, " company_id=\"999\""), "getByCompIdVideoList"},
      // References to characters XML forbids, and such characters typed raw.
      {"reference to U+0001", Save(id, "a&#1;b"), "saveUploadFile"},
      {"reference to NUL", Save(id, "a&#0;b"), "saveUploadFile"},
      {"reference to a surrogate", Save(id, "a&#xD800;b"), "saveUploadFile"},
      {"reference beyond Unicode", Save(id, "a&#x110000;b"), "saveUploadFile"},
      {"reference to U+FFFE", Save(id, "a&#xFFFE;b"), "saveUploadFile"},
      {"raw control character", Save(id, std::string("a\x01" "b")), "saveUploadFile"},
      {"raw U+FFFF", Save(id, "a\xEF\xBF\xBF" "b"), "saveUploadFile"},
      // What comes first must not switch the checks off.
      {"declaration, then a lone &", "<?xml version=\"1.0\"?>" + Save(id, "a&b"), "saveUploadFile"},
      {"comment, then < in a value", "<!-- hi -->" + Save(id, "a<b"), "saveUploadFile"},
      {"CDATA, then a lone &", Envelope("<data><![CDATA[x]]><msgType method=\"saveUploadFile\">S</msgType></data>") +
                                   Save(id, "a&b"),
       "saveUploadFile"},
      {"declaration not at the start", " <?xml version=\"1.0\"?>" + Edit(video, id, "x"), "editUploadFile"},
      {"content after the root element", Edit(video, id, "x") + "<data/>", "editUploadFile"},
      {"text after the root element", Edit(video, id, "x") + "tail", "editUploadFile"},
      {"DOCTYPE with an entity",
       "<!DOCTYPE invoke [<!ENTITY e \"evil\">]>" + Edit(video, id, "&e;"), "editUploadFile"},
  };
  for (const Case& c : cases) {
    ServiceReply reply = service.post(c.body, demo.session);
    EXPECT_EQ(reply.status, 200) << c.what;
    EXPECT_EQ(reply.replyCommand, c.command) << c.what;
    EXPECT_EQ(FirstItem(reply.body)["result"], "error") << c.what << ": " << reply.body;
  }
  EXPECT_EQ(service.post(List(id), demo.session).body, listBefore) << "no video changed";
  EXPECT_EQ(service.post(Login("demo", "demo")).body, profileBefore) << "password and card unchanged";

  // Well-formed texts with a declaration or a comment in front still work.
  for (const std::string& head : {std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"), std::string("<!-- c -->")}) {
    ServiceReply reply = service.post(head + Edit(video, id, "x &amp; &#10;y"), demo.session);
    EXPECT_EQ(FirstItem(reply.body)["result"], "success") << head << ": " << reply.body;
  }
  EXPECT_EQ(FirstItem(service.post(List(id), demo.session).body)["title"], "x & \ny");
}

TEST(HostileRequests, PagePathsWithNulOrControlCharactersAreRefused) {
  ServiceProcess service;
  RawConnection connection(service.port());
  const std::vector<std::pair<std::string, int>> paths{
      {"/member/index.html", 200},
      {"/member/index.html%00.xml", 400},
      {"/member%00/", 400},
      {"/member/%0aindex.html", 400},
      {"/member/index.html%", 400},
      {"/member/%2e%2e/%2e%2e/etc/passwd", 404},
      {"/nothing-here", 404},
  };
  for (const auto& [path, status] : paths) {
    ASSERT_TRUE(connection.send(kestrova::test::Get(path))) << path;
    auto response = connection.read();
    ASSERT_TRUE(response) << path;
    EXPECT_EQ(response->status, status) << path;
    if (status == 200) {
      EXPECT_EQ(response->headers["content-type"], "text/html; charset=utf-8");
    } else {
      EXPECT_EQ(response->headers["content-type"].find("html"), std::string::npos) << path;
    }
  }
}

TEST(HostileRequests, ClientTextCannotForgeLinesInTheRequestLog) {
  ServiceProcess service({.seedDemo = true});
  service.post(Envelope("<data><msgType method=\"x&#10;FORGED result=success\">S</msgType><msg><item/></msg></data>"));
  service.post(Envelope("<data><msgType>x&#13;&#10;FORGED</msgType><msg><item/></msg></data>"));
  RawConnection connection(service.port());
  connection.send(kestrova::test::Get("/a%0aFORGED%0d%0a"));
  connection.read();
  connection.send("GET\x0b /b HTTP/1.1\r\nHost: x\r\n\r\n");
  connection.read();
  // The last request line proves the earlier ones were written.
  ASSERT_EQ(FirstItem(service.post(Login("demo", "wrong")).body)["result"], "failure");

  std::string log = service.log();
  EXPECT_NE(log.find("loadMainFlash"), std::string::npos) << log;
  EXPECT_EQ(log.find("\nFORGED"), std::string::npos) << log;
  EXPECT_EQ(log.find("\rFORGED"), std::string::npos) << log;
  EXPECT_NE(log.find("x\\x0aFORGED"), std::string::npos) << log;
}

}  // namespace
