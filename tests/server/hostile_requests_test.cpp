// kestrova-service against requests a careless or hostile client sends: texts
// that smuggle attributes in, forbidden characters, tricks that used to
// switch the strict checks off, page paths with NUL and log forgery. Each
// must be refused and leave the stored data as it was.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/wait.h>

#include <csignal>
#include <pugixml.hpp>
#include <thread>

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
      // File names that show as something else.
      {"DEL in a file name", kestrova::test::requests::Save(id, "a\x7f.html", "t"), "saveUploadFile"},
      {"right-to-left override in a file name",
       kestrova::test::requests::Save(id, "evil.html\xE2\x80\xAEgpj", "t"), "saveUploadFile"},
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
  // Blanks and Unicode line breaks: a type posing as the fields of a
  // successful sign-in, or ending the line for readers that honour U+2028.
  service.post(Envelope("<data><msgType method=\"a&#10;POST /service loadMainFlash company=1 result=success "
                        "1.0ms\">S</msgType><msg><item/></msg></data>"));
  service.post(Envelope("<data><msgType method=\"b\xE2\x80\xA8LS\xC2\x85NEL\">S</msgType><msg><item/></msg></data>"));
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
  EXPECT_EQ(log.find("company=1 result=success"), std::string::npos) << log;
  EXPECT_EQ(log.find("\xE2\x80\xA8"), std::string::npos) << log;
  EXPECT_EQ(log.find("\xC2\x85"), std::string::npos) << log;
}

TEST(HostileRequests, DeeplyNestedBodyIsRefusedAndTheServiceStaysUp) {
  ServiceProcess service({.seedDemo = true});
  std::string deep;
  for (int i = 0; i < 30000; ++i) deep += "<a>";
  for (int i = 0; i < 30000; ++i) deep += "</a>";
  EXPECT_EQ(service.post(deep).status, 400);
  std::string nested = "<data><msgType method=\"editUploadFile\">S</msgType><msg><item/>";
  for (int i = 0; i < 30000; ++i) nested += "<i>";
  ServiceReply reply = service.post(Envelope(nested));
  EXPECT_EQ(reply.replyCommand, "editUploadFile");
  EXPECT_EQ(FirstItem(reply.body)["result"], "error");
  EXPECT_FALSE(service.login("demo", "demo").empty()) << "still serving";
}

// Legal XML and HTTP that is merely unusual: a byte-order mark, references
// with leading zeros, a request target in absolute form.
TEST(HostileRequests, UnusualButLegalRequestsAreServed) {
  ServiceProcess service({.seedDemo = true});
  Demo demo = SignInDemo(service);
  ServiceReply bom = service.post("\xEF\xBB\xBF" + Edit(demo.firstVideo, demo.id, "bom"), demo.session);
  EXPECT_EQ(FirstItem(bom.body)["result"], "success") << bom.body;
  ServiceReply zeros =
      service.post(Edit(demo.firstVideo, demo.id, "&#0000000000065;&#x000000000042;"), demo.session);
  EXPECT_EQ(FirstItem(zeros.body)["result"], "success") << zeros.body;

  std::string request = kestrova::test::ServicePost(List(demo.id), demo.session);
  request.replace(0, std::string("POST /service").size(), "POST http://127.0.0.1/service");
  RawConnection connection(service.port());
  ASSERT_TRUE(connection.send(request));
  auto response = connection.read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(response->headers["x-reply-command"], "getByCompIdVideoList");
  EXPECT_EQ(FirstItem(response->body)["title"], "AB");
}

// Connections that declare a large body and send none of it hold no share of
// the memory budget for bodies: everyone else is still served.
TEST(HostileRequests, DeclaredButUnsentBodiesKeepNobodyOut) {
  ServiceProcess service({.seedDemo = true});
  std::vector<RawConnection> attackers;
  for (int i = 0; i < 80; ++i) {
    RawConnection& c = attackers.emplace_back(service.port());
    std::string framing = i % 2 ? "Content-Length: 4194304\r\n" : "Transfer-Encoding: chunked\r\n";
    ASSERT_TRUE(c.send("POST /service HTTP/1.1\r\nHost: 127.0.0.1\r\n" + framing + "\r\n"));
  }
  // The last of them has been read once a later connection is answered.
  RawConnection probe(service.port());
  ASSERT_TRUE(probe.send(kestrova::test::Get("/health")));
  ASSERT_TRUE(probe.read());
  Demo demo = SignInDemo(service);
  EXPECT_FALSE(demo.session.empty());
  EXPECT_FALSE(demo.firstVideo.empty());
}

// Sign-ins queue in a lane of their own, bounded, and one address gets a
// limited number a second: a flood of wrong sign-ins gets quick "busy"
// answers and a list is answered while the others are still being checked.
TEST(HostileRequests, SignInFloodNeitherHoldsUpListsNorQueuesWithoutEnd) {
  ServiceProcess service({.seedDemo = true});
  Demo demo = SignInDemo(service);
  std::vector<RawConnection> guessers;
  for (int i = 0; i < 40; ++i) {
    RawConnection& c = guessers.emplace_back(service.port());
    ASSERT_TRUE(c.send(kestrova::test::ServicePost(Login("nobody" + std::to_string(i), "guess"))));
  }
  RawConnection lister(service.port());
  ASSERT_TRUE(lister.send(kestrova::test::ServicePost(List(demo.id), demo.session)));
  auto list = lister.read(std::chrono::seconds(60));
  ASSERT_TRUE(list);
  EXPECT_EQ(list->headers["x-reply-command"], "getByCompIdVideoList");
  int unanswered = 0;
  for (RawConnection& c : guessers) {
    pollfd ready{c.fd(), POLLIN, 0};
    unanswered += poll(&ready, 1, 0) == 0;
  }
  EXPECT_GE(unanswered, 5) << "the list waited for the sign-ins queued before it";

  int busy = 0;
  for (RawConnection& c : guessers) {
    auto reply = c.read(std::chrono::seconds(120));
    ASSERT_TRUE(reply);
    if (reply->status == 503) {
      ++busy;
      EXPECT_EQ(reply->headers.count("x-reply-command"), 0u);
    } else {
      EXPECT_EQ(reply->status, 200);
      EXPECT_EQ(reply->headers["x-reply-command"], "loadMainFlash");
      EXPECT_EQ(FirstItem(reply->body)["result"], "failure");
    }
  }
  EXPECT_GE(busy, 1);
}

// SIGTERM while requests run: those already read are carried out and
// answered (a committed password change is reported as such), then the
// service exits by itself.
TEST(HostileRequests, StoppingServiceAnswersTheRequestsItHasRead) {
  ServiceProcess service({.seedDemo = true});
  Demo demo = SignInDemo(service);
  std::vector<RawConnection> clients;
  clients.emplace_back(service.port());
  ASSERT_TRUE(clients.back().send(kestrova::test::ServicePost(Password(demo.id, "demo", "demo2"), demo.session)));
  for (int i = 0; i < 5; ++i) {
    clients.emplace_back(service.port());
    ASSERT_TRUE(clients.back().send(kestrova::test::ServicePost(Login("nobody" + std::to_string(i), "x"))));
  }
  RawConnection probe(service.port());
  ASSERT_TRUE(probe.send(kestrova::test::Get("/health")));
  ASSERT_TRUE(probe.read());
  int status = -1;
  std::thread stopper([&] { status = service.process().stop(SIGTERM, std::chrono::seconds(20)); });
  for (size_t i = 0; i < clients.size(); ++i) {
    auto reply = clients[i].read(std::chrono::seconds(30));
    ASSERT_TRUE(reply) << "client " << i << " got no reply";
    EXPECT_EQ(reply->status, 200) << i;
    EXPECT_EQ(reply->headers["x-reply-command"], i == 0 ? "editEntPwd" : "loadMainFlash");
    EXPECT_EQ(FirstItem(reply->body)["result"], i == 0 ? "success" : "failure") << reply->body;
    EXPECT_EQ(reply->headers["connection"], "close");
  }
  stopper.join();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
