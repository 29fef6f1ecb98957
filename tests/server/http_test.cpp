// kestrova-service as the desktop tool meets it: request texts posted to the
// running program, replies read back as XML.
#include <gtest/gtest.h>
#include <httplib.h>

#include <pugixml.hpp>
#include <regex>
#include <thread>

#include "service_fixture.h"
#include "service_requests.h"

using kestrova::test::CompanyFields;
using kestrova::test::ServiceProcess;
using kestrova::test::ServiceReply;

namespace {

namespace requests = kestrova::test::requests;
using Card = requests::CompanyCard;

std::string Envelope(const std::string& data) { return ServiceProcess::Envelope(data); }

// A new video whose subtitle is its title.
std::string SaveRequest(const std::string& fileName, const std::string& title, const std::string& companyId) {
  return requests::Save(companyId, fileName, title, title);
}

using Attributes = std::map<std::string, std::string>;

// Every element under data/msg with its attributes; fails the test on a
// reply that is not well-formed.
std::vector<Attributes> Items(const std::string& reply) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_string(reply.c_str())) << reply;
  std::vector<Attributes> items;
  for (pugi::xml_node item : doc.child("data").child("msg").children()) {
    Attributes a;
    for (pugi::xml_attribute attr : item.attributes()) a[attr.name()] = attr.value();
    items.push_back(a);
  }
  return items;
}

std::string Result(const ServiceReply& reply) {
  auto items = Items(reply.body);
  return items.size() == 1 ? items[0]["result"] : "(no single item)";
}

std::vector<std::string> Titles(const ServiceReply& reply) {
  std::vector<std::string> titles;
  for (auto& item : Items(reply.body)) titles.push_back(item["title"]);
  return titles;
}

struct SignedIn {
  std::string session;
  std::string companyId;
};

SignedIn SignIn(const ServiceProcess& service, const std::string& account, const std::string& password) {
  ServiceReply reply = service.post(requests::Login(account, password));
  EXPECT_EQ(Result(reply), "success") << reply.body;
  EXPECT_FALSE(reply.session.empty());
  return {reply.session, Items(reply.body).at(0)["companyid"]};
}

TEST(ServiceHttp, SignInAnswersWithTheWholeProfileOrRefuses) {
  ServiceProcess service({.seedDemo = true});
  ServiceReply ok = service.post(requests::Login("demo", "demo"));
  EXPECT_EQ(ok.status, 200);
  EXPECT_EQ(ok.replyCommand, "loadMainFlash");
  EXPECT_EQ(ok.session.size(), 64u);
  Attributes item = Items(ok.body).at(0);
  for (const char* name : {"result", "name", "title", "tel", "fax", "qq", "skype", "msn", "email", "dsp_ent_card",
                           "dsp_play_zhimo", "auto_play", "auto_cre", "dsp_logo", "ftp_path", "ftp_addr", "ftp_port",
                           "ftp_account", "ftp_password", "domain", "companyid", "account", "tvtype"})
    EXPECT_TRUE(item.count(name)) << name;
  EXPECT_EQ(item["result"], "success");
  EXPECT_EQ(item["account"], "demo");
  EXPECT_EQ(item["tvtype"], "SETUP");
  EXPECT_EQ(item["dsp_logo"], "1");
  EXPECT_EQ(item["ftp_addr"], "127.0.0.1");
  EXPECT_EQ(item["ftp_port"], "2121");
  EXPECT_EQ(item["domain"], "http://127.0.0.1:8641");
  EXPECT_FALSE(item["name"].empty());

  for (auto [account, password] : std::vector<std::pair<std::string, std::string>>{
           {"demo", "wrong"}, {"demo", ""}, {"nobody", "demo"}, {"DEMO", "demo"}, {"demo", " demo"}}) {
    ServiceReply refused = service.post(requests::Login(account, password));
    EXPECT_EQ(refused.status, 200);
    EXPECT_EQ(refused.replyCommand, "loadMainFlash");
    EXPECT_NE(Result(refused), "success") << account << "/" << password;
    EXPECT_TRUE(refused.session.empty());
  }
}

TEST(ServiceHttp, RepeatedFailuresLockOnlyThatAccountForAWhile) {
  ServiceProcess service(
      {.seedDemo = true, .serveArgs = {"--login-max-failures", "3", "--login-lockout-seconds", "2"}});
  service.addCompany({{"account", "other"}, {"password", "pw"}});
  // A success forgets the failures before it: two, a success, then one more
  // make three failures in all but only one since the success.
  for (int i = 0; i < 2; ++i) EXPECT_NE(Result(service.post(requests::Login("demo", "guess"))), "success");
  EXPECT_FALSE(service.login("demo", "demo").empty());
  EXPECT_NE(Result(service.post(requests::Login("demo", "guess"))), "success");
  EXPECT_FALSE(service.login("demo", "demo").empty()) << "failures before a success still counted";

  for (int i = 0; i < 3; ++i) EXPECT_NE(Result(service.post(requests::Login("demo", "guess"))), "success");

  ServiceReply locked = service.post(requests::Login("demo", "demo"));
  EXPECT_EQ(Result(locked), "failure");
  EXPECT_NE(Items(locked.body).at(0)["message"].find("次数过多"), std::string::npos) << locked.body;
  EXPECT_TRUE(locked.session.empty());
  EXPECT_FALSE(service.login("other", "pw").empty()) << "other accounts are not affected";

  std::this_thread::sleep_for(std::chrono::milliseconds(2300));
  EXPECT_FALSE(service.login("demo", "demo").empty()) << "the lock ends";
}

TEST(ServiceHttp, CatalogueListSaveEditDelete) {
  ServiceProcess service({.seedDemo = true});
  auto [session, id] = SignIn(service, "demo", "demo");

  ServiceReply list = service.post(requests::List(id), session);
  EXPECT_EQ(list.replyCommand, "getByCompIdVideoList");
  auto videos = Items(list.body);
  ASSERT_EQ(videos.size(), 3u);
  for (auto& v : videos) {
    EXPECT_EQ(v.size(), 11u);
    for (const char* name : {"id", "title", "duration", "fileName", "framerate", "fileSize", "sort", "createDate",
                             "state", "memo", "zhimo"})
      EXPECT_TRUE(v.count(name)) << name;
  }
  EXPECT_EQ(videos[0]["sort"], "1");
  EXPECT_EQ(videos[2]["state"], "U") << "the third demo video is a draft";

  ServiceReply saved = service.post(SaveRequest("AbCdEfGh12345678.html", "新视频 more", id), session);
  EXPECT_EQ(saved.replyCommand, "saveUploadFile");
  EXPECT_EQ(Result(saved), "success");
  videos = Items(service.post(requests::List(id), session).body);
  ASSERT_EQ(videos.size(), 4u);
  Attributes added = videos[3];
  EXPECT_EQ(added["fileName"], "AbCdEfGh12345678.html");
  EXPECT_EQ(added["title"], "新视频 more");
  EXPECT_EQ(added["sort"], "4");
  EXPECT_EQ(added["state"], "A");
  EXPECT_EQ(added["memo"], "");
  EXPECT_TRUE(std::regex_match(added["createDate"], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
      << added["createDate"];

  // Moving the new video to the front and making it a draft.
  ServiceReply edited = service.post(requests::Edit(added["id"], " 0 ", "改过的标题", id, "m", "字幕", "U"), session);
  EXPECT_EQ(edited.replyCommand, "editUploadFile");
  EXPECT_EQ(Result(edited), "success");
  videos = Items(service.post(requests::List(id), session).body);
  EXPECT_EQ(videos[0]["id"], added["id"]);
  EXPECT_EQ(videos[0]["title"], "改过的标题");
  EXPECT_EQ(videos[0]["sort"], "0");
  EXPECT_EQ(videos[0]["memo"], "m");
  EXPECT_EQ(videos[0]["state"], "U");
  EXPECT_EQ(videos[0]["fileName"], "AbCdEfGh12345678.html") << "the file name is kept";

  // A sort number that is not a number is refused and changes nothing.
  for (const char* badSort : {"abc", "", "1.5", "99999999999999999999", "9223372036854775807"})
    EXPECT_EQ(Result(service.post(requests::Edit(added["id"], badSort, "x", id, "", "", "A"), session)), "error")
        << badSort;
  EXPECT_EQ(Items(service.post(requests::List(id), session).body)[0]["title"], "改过的标题");

  ServiceReply deleted = service.post(requests::Delete(added["id"], id), session);
  EXPECT_EQ(deleted.replyCommand, "delUploadFile");
  EXPECT_EQ(Result(deleted), "success");
  EXPECT_EQ(Items(service.post(requests::List(id), session).body).size(), 3u);
  EXPECT_EQ(Result(service.post(requests::Delete(added["id"], id), session)), "failure") << "already gone";
}

TEST(ServiceHttp, CardAndPasswordChanges) {
  ServiceProcess service({.seedDemo = true});
  auto [session, id] = SignIn(service, "demo", "demo");

  Card card;
  ServiceReply cardReply = service.post(requests::CardChange(id, card), session);
  EXPECT_EQ(cardReply.replyCommand, "ModCompanyResult");
  EXPECT_EQ(Result(cardReply), "success");
  Card badFlag;
  badFlag.dspLogo = "maybe";
  EXPECT_EQ(Result(service.post(requests::CardChange(id, badFlag), session)), "error");

  ServiceReply wrongOld = service.post(requests::Password(id, "not-it", "fresh"), session);
  EXPECT_EQ(wrongOld.replyCommand, "editEntPwd");
  EXPECT_EQ(Result(wrongOld), "failure");
  EXPECT_FALSE(service.login("demo", "demo").empty()) << "a refused change keeps the password";

  EXPECT_EQ(Result(service.post(requests::Password(id, "demo", "fresh"), session)), "success");
  EXPECT_TRUE(service.login("demo", "demo").empty());
  ServiceReply again = service.post(requests::Login("demo", "fresh"));
  ASSERT_EQ(Result(again), "success");
  Attributes item = Items(again.body).at(0);
  EXPECT_EQ(item["name"], "新公司");
  EXPECT_EQ(item["email"], "e@x");
  EXPECT_EQ(item["dsp_ent_card"], "0");
  EXPECT_EQ(item["dsp_play_zhimo"], "1");
  EXPECT_EQ(item["auto_cre"], "1");
  EXPECT_EQ(item["dsp_logo"], "0");
  EXPECT_EQ(item["ftp_path"], "/www");
  EXPECT_EQ(item["ftp_password"], "pw");
  EXPECT_EQ(item["domain"], "http://example.com");
}

TEST(ServiceHttp, MarkupCharactersInTextsComeBackWhole) {
  ServiceProcess service({.seedDemo = true});
  auto [session, id] = SignIn(service, "demo", "demo");
  // Sent escaped, as a well-formed request carries them; the replies must
  // escape them again or the tool cannot read them.
  const std::string text = "A&B <i>\"引号\"</i> & >";
  const std::string escaped = "A&amp;B &lt;i&gt;&quot;引号&quot;&lt;/i&gt; &amp; &gt;";
  ASSERT_EQ(Result(service.post(SaveRequest("Markup0000000001.html", escaped, id), session)), "success");
  Attributes saved = Items(service.post(requests::List(id), session).body).back();
  EXPECT_EQ(saved["title"], text);
  EXPECT_EQ(saved["zhimo"], text);
  ASSERT_EQ(
      Result(service.post(requests::Edit(saved["id"], "7", escaped + "!", id, escaped, escaped + "?", "A"), session)),
      "success");
  Attributes edited = Items(service.post(requests::List(id), session).body).back();
  EXPECT_EQ(edited["title"], text + "!");
  EXPECT_EQ(edited["memo"], text);
  EXPECT_EQ(edited["zhimo"], text + "?");

  Card card;
  card.name = escaped;
  card.title = escaped + "1";
  card.email = escaped + "2";
  ASSERT_EQ(Result(service.post(requests::CardChange(id, card), session)), "success");
  Attributes profile = Items(service.post(requests::Login("demo", "demo")).body).at(0);
  EXPECT_EQ(profile["name"], text);
  EXPECT_EQ(profile["title"], text + "1");
  EXPECT_EQ(profile["email"], text + "2");
}

TEST(ServiceHttp, OnlySetupAccountsChangeTheirSiteConnection) {
  ServiceProcess service({.company = {{"account", "managed"}, {"password", "pw"}, {"tvtype", "USER"},
                                      {"ftp_addr", "ftp.vendor"}, {"ftp_password", "vendor-secret"},
                                      {"domain", "http://vendor.example"}}});
  auto [session, id] = SignIn(service, "managed", "pw");
  Card card;
  card.ftpAddr = "evil.example";
  card.ftpPassword = "mine";
  ASSERT_EQ(Result(service.post(requests::CardChange(id, card), session)), "success");
  Attributes item = Items(service.post(requests::Login("managed", "pw")).body).at(0);
  EXPECT_EQ(item["name"], card.name) << "the card itself changes";
  EXPECT_EQ(item["dsp_play_zhimo"], "1");
  EXPECT_EQ(item["ftp_addr"], "ftp.vendor");
  EXPECT_EQ(item["ftp_password"], "vendor-secret");
  EXPECT_EQ(item["domain"], "http://vendor.example");
}

TEST(ServiceHttp, NobodyReachesAnotherCompanysData) {
  ServiceProcess service({.seedDemo = true});
  auto demo = SignIn(service, "demo", "demo");
  service.addCompany({{"account", "rival"}, {"password", "rival"}, {"name", "对手"}});
  auto rival = SignIn(service, "rival", "rival");
  ASSERT_NE(demo.companyId, rival.companyId);
  ASSERT_EQ(Result(service.post(SaveRequest("RivalVideo000001.html", "对手的", rival.companyId), rival.session)),
            "success");

  // Each company attacks the other: the older one's id is smaller than the
  // newer one's, so a check that only compares one way lets one side through.
  auto attack = [&](const SignedIn& attacker, const SignedIn& victim, const std::string& victimPassword) {
    std::string victimList = service.post(requests::List(victim.companyId), victim.session).body;
    std::string victimVideo = Items(victimList).at(0)["id"];
    const std::vector<std::pair<std::string, std::string>> attempts{
        {"list of the other company", requests::List(victim.companyId)},
        {"edit naming the other company", requests::Edit(victimVideo, "1", "hacked", victim.companyId, "", "", "A")},
        {"edit of a foreign video under one's own id",
         requests::Edit(victimVideo, "1", "hacked", attacker.companyId, "", "", "A")},
        {"delete of a foreign video under one's own id", requests::Delete(victimVideo, attacker.companyId)},
        {"delete naming the other company", requests::Delete(victimVideo, victim.companyId)},
        {"save into the other company", SaveRequest("Intruder00000001.html", "intruder", victim.companyId)},
        {"card of the other company", requests::CardChange(victim.companyId, Card{})},
        {"password of the other company", requests::Password(victim.companyId, victimPassword, "owned")},
    };
    for (const auto& [what, request] : attempts) {
      ServiceReply reply = service.post(request, attacker.session);
      EXPECT_EQ(reply.status, 200) << what;
      EXPECT_FALSE(reply.replyCommand.empty()) << what;
      EXPECT_EQ(Result(reply), "failure") << what << " by company " << attacker.companyId << ": " << reply.body;
    }
    EXPECT_EQ(service.post(requests::List(victim.companyId), victim.session).body, victimList);
  };
  attack(rival, demo, "demo");
  attack(demo, rival, "rival");

  // Without a session, or with a made-up one, nothing is done either.
  std::string demoList = service.post(requests::List(demo.companyId), demo.session).body;
  for (const std::string& session : {std::string(), std::string(64, 'a')}) {
    EXPECT_EQ(Result(service.post(requests::List(demo.companyId), session)), "failure");
    EXPECT_EQ(Result(service.post(requests::Delete(Items(demoList).at(0)["id"], demo.companyId), session)), "failure");
  }

  EXPECT_EQ(service.post(requests::List(demo.companyId), demo.session).body, demoList);
  EXPECT_FALSE(service.login("demo", "demo").empty());
  EXPECT_FALSE(service.login("rival", "rival").empty());
  EXPECT_EQ(Items(service.post(requests::Login("demo", "demo")).body).at(0)["tel"], "021-55550101");
  EXPECT_EQ(Items(service.post(requests::Login("rival", "rival")).body).at(0)["name"], "对手");
  EXPECT_EQ(Titles(service.post(requests::List(rival.companyId), rival.session)), std::vector<std::string>{"对手的"});
}

TEST(ServiceHttp, BadRequestsGetAFailureAndTheServiceCarriesOn) {
  ServiceProcess service({.seedDemo = true});
  auto [session, id] = SignIn(service, "demo", "demo");
  std::string before = service.post(requests::List(id), session).body;
  std::string videoId = Items(before).at(0)["id"];

  struct Case {
    std::string what;
    std::string body;
    int status;
    std::string command;  // expected X-Reply-Command
  };
  const std::vector<Case> cases{
      {"title with a double quote", requests::Edit(videoId, "1", "say \"hi\"", id, "", "", "A"), 200, "editUploadFile"},
      {"title with <", SaveRequest("Lt00000000000001.html", "a<b", id), 200, "saveUploadFile"},
      {"password with &", requests::Login("demo", "a&b"), 200, "loadMainFlash"},
      {"unknown message type",
       Envelope("<data><msgType method=\"dropEverything\">SysSetVideoFile</msgType><msg><item/></msg></data>"), 200,
       "dropEverything"},
      {"missing attribute",
       Envelope("<data><msgType method=\"saveUploadFile\">SysSetVideoFile</msgType><msg><item fileName=\"x.html\" "
                "companyId=\"" + id + "\"/></msg></data>"),
       200, "saveUploadFile"},
      {"file name leaving its folder", SaveRequest("../../etc/passwd", "x", id), 200, "saveUploadFile"},
      {"oversized body", SaveRequest("Big0000000000001.html", std::string(1536 * 1024, 'x'), id), 200,
       "saveUploadFile"},
      {"not a request at all", "hello", 400, ""},
      {"other XML", "<data><foo/></data>", 400, ""},
  };
  for (const Case& c : cases) {
    ServiceReply reply = service.post(c.body, session);
    EXPECT_EQ(reply.status, c.status) << c.what;
    EXPECT_EQ(reply.replyCommand, c.command) << c.what;
    EXPECT_EQ(Result(reply), "error") << c.what << ": " << reply.body;
    // The service is still up and answers the next request normally.
    EXPECT_EQ(service.post(requests::List(id), session).body, before) << "after " << c.what;
  }
}

TEST(ServiceHttp, ConcurrentSavesAllLand) {
  ServiceProcess service({.seedDemo = true});
  auto [session, id] = SignIn(service, "demo", "demo");
  constexpr int kThreads = 4, kEach = 8;
  std::vector<std::thread> threads;
  std::atomic<int> successes{0};
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        std::string name = "Par" + std::to_string(t) + "x" + std::to_string(i) + ".html";
        if (Result(service.post(SaveRequest(name, name, id), session)) == "success") ++successes;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(successes, kThreads * kEach);
  auto videos = Items(service.post(requests::List(id), session).body);
  ASSERT_EQ(videos.size(), size_t(3 + kThreads * kEach));
  for (size_t i = 0; i < videos.size(); ++i) EXPECT_EQ(videos[i]["sort"], std::to_string(i + 1));
}

TEST(ServiceHttp, DataOutlivesARestartButSessionsDoNot) {
  ServiceProcess service({.company = {{"account", "acme"}, {"password", "pw"}, {"tvtype", "USER"}}});
  auto [session, id] = SignIn(service, "acme", "pw");
  EXPECT_EQ(id, service.companyId());
  ASSERT_EQ(Result(service.post(SaveRequest("Keep000000000001.html", "留存", id), session)), "success");

  service.restart();
  EXPECT_EQ(Result(service.post(requests::List(id), session)), "failure") << "sessions live in memory";
  auto again = SignIn(service, "acme", "pw");
  EXPECT_EQ(Titles(service.post(requests::List(id), again.session)), (std::vector<std::string>{"留存"}));
  EXPECT_EQ(Items(service.post(requests::Login("acme", "pw")).body).at(0)["tvtype"], "USER");
}

TEST(ServiceHttp, ServesItsOwnPages) {
  ServiceProcess service;
  httplib::Client client("127.0.0.1", service.port());
  EXPECT_EQ(client.Get("/health")->body, "ok");
  for (const char* path : {"/member/", "/member/getentpwd.php", "/player/tvsetup/tvsetup.htm"}) {
    auto res = client.Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 200) << path;
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << path;
    EXPECT_NE(res->body.find("<meta charset=\"utf-8\">"), std::string::npos) << path;
  }
  EXPECT_EQ(client.Get("/member/../../etc/passwd")->status, 404);
}

TEST(ServiceHttp, RepliesNeverTakeTheSlowBrotliPathWhateverTheClientAccepts) {
  // Qt's client offers brotli; compressing a large catalogue that way took
  // seconds. Replies go out as they are, whatever the client accepts.
  ServiceProcess service;
  httplib::Client client("127.0.0.1", service.port());
  client.set_decompress(false);
  for (const char* accepted : {"gzip, deflate, br", "br;q=1.0, gzip;q=0.5", "br"}) {
    auto res = client.Get("/player/tvsetup/tvsetup.htm", {{"Accept-Encoding", accepted}});
    ASSERT_TRUE(res) << accepted;
    EXPECT_NE(res->get_header_value("Content-Encoding"), "br") << accepted;
    EXPECT_NE(res->body.find("<meta charset=\"utf-8\">"), std::string::npos) << accepted;
  }
}

TEST(ServiceAdmin, SeedDemoRunsAtEveryStartAndAddCompanyRefusesDuplicates) {
  ServiceProcess service({.seedDemo = true});
  using kestrova::test::RunCommand;
  using kestrova::test::ShellQuote;
  std::string program = ShellQuote((kestrova::test::BinDir() / "kestrova-service").string());
  std::string db = " --db " + ShellQuote(service.dbArgument());

  EXPECT_EQ(RunCommand(program + " seed-demo" + db).exitCode, 0);
  auto demo = SignIn(service, "demo", "demo");
  EXPECT_EQ(Items(service.post(requests::List(demo.companyId), demo.session).body).size(), 3u);

  auto duplicate = RunCommand(program + " add-company" + db + " --account demo --password x");
  EXPECT_NE(duplicate.exitCode, 0);
  EXPECT_FALSE(duplicate.output.empty());
  EXPECT_EQ(RunCommand(program + " add-company" + db + " --account x --password y --colour red").exitCode, 2);
  EXPECT_EQ(RunCommand(program + " add-company" + db + " --account x --password y --dsp_logo 7").exitCode, 2);
  EXPECT_EQ(RunCommand(program + " serve --db nosuchkind:x").exitCode, 2);
  EXPECT_FALSE(service.login("demo", "demo").empty()) << "the demo password was not replaced";

  // A second demo on other ports: its company points at its own site.
  EXPECT_EQ(RunCommand(program + " seed-demo" + db + " --ftp-port 2300 --http-port 8700").exitCode, 0);
  Attributes moved = Items(service.post(requests::Login("demo", "demo")).body).at(0);
  EXPECT_EQ(moved["ftp_port"], "2300");
  EXPECT_EQ(moved["domain"], "http://127.0.0.1:8700");
  EXPECT_EQ(RunCommand(program + " seed-demo" + db + " --ftp-port 70000").exitCode, 2);
}

}  // namespace
