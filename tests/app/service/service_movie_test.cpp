// The service movie against the real back end: every request the tool sends,
// through the same HTTP client the windows use, and the replies fed to the
// same readers and dispatcher.
#include "service_movie.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <pugixml.hpp>

#include "config_xml.h"
#include "dispatcher.h"
#include "login_profile.h"
#include "process.h"
#include "reply_readers.h"
#include "request_texts.h"
#include "service_fixture.h"

namespace kestrova::service {
namespace {

using test::ServiceProcess;
using test::TempDir;
using test::WriteFile;

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "service_movie_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

struct Reply {
  std::string command;
  std::string args;
};

// One login movie and one main movie sharing a session, as the windows hold
// them, with movie files in a folder of their own.
class MovieRig {
 public:
  explicit MovieRig(const std::string& baseUrl) {
    App();
    WriteFile(dir_ / "login.dll", baseUrl + "\n");
    WriteFile(dir_ / "main.dll", baseUrl + "\n");
    session_ = std::make_shared<ServiceSession>();
    login = std::make_unique<ServiceMovie>(ServiceMovie::Kind::Login, session_);
    main = std::make_unique<ServiceMovie>(ServiceMovie::Kind::Main, session_);
    login->setMovie(path("login.dll"));
  }

  // Loads the main movie and lets its load and "ready" events pass.
  void loadMain() {
    QSignalSpy states(main.get(), &ServiceMovie::OnReadyStateChange);
    main->setMovie(path("main.dll"));
    states.wait(5000);
    QCoreApplication::processEvents();
  }

  QString path(const char* file) const { return QString::fromStdString((dir_ / file).string()); }

  // Sends a request and waits for the one reply event it brings.
  static Reply Call(ServiceMovie& movie, const std::string& request) {
    QSignalSpy spy(&movie, &ServiceMovie::OnFSCommand);
    movie.CallFunction(QString::fromStdString(request));
    if (!spy.wait(15000)) return {"<no reply>", ""};
    return {spy.at(0).at(0).toString().toStdString(), spy.at(0).at(1).toString().toStdString()};
  }

  static std::string Result(const Reply& reply) { return getReplyValue(reply.args, "data.msg.item", "result"); }

  std::string signIn(const std::string& account, const std::string& password) {
    Reply reply = Call(*login, LoadMainFlashRequest(account, password));
    if (Result(reply) != "success") return "";
    return getReplyValue(reply.args, "data.msg.item", "companyid");
  }

  TvideofileList list(const std::string& companyid) {
    Reply reply = Call(*main, VideoListRequest(companyid));
    EXPECT_EQ(reply.command, "getByCompIdVideoList");
    return parseVideoList(reply.args);
  }

  std::unique_ptr<ServiceMovie> login, main;

 private:
  TempDir dir_;
  std::shared_ptr<ServiceSession> session_;
};

class RecordingActions : public MainReplyActions {
 public:
  std::vector<std::string> done;
  void connectFtp() override { done.push_back("connectFtp"); }
  void updateVideoFileList(const std::string&) override { done.push_back("update"); }
  void sendVideoListRequest() override { done.push_back("sendList"); }
  void showMessage(const std::string& text) override { done.push_back(text); }
  void reopenPasswordDialog() override { done.push_back("reopenPassword"); }
};

TEST(ServiceMovie, SignInIsAcceptedOrRefused) {
  ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  EXPECT_EQ(rig.signIn("demo", "wrong"), "");
  EXPECT_EQ(rig.signIn("nobody", "demo"), "");
  Reply reply = MovieRig::Call(*rig.login, LoadMainFlashRequest("demo", "demo"));
  EXPECT_EQ(MovieRig::Result(reply), "success");
  for (const char* attribute : {"name", "title", "tel", "fax", "qq", "skype", "msn", "email", "dsp_ent_card",
                                "dsp_play_zhimo", "auto_play", "auto_cre", "dsp_logo", "ftp_path", "ftp_addr",
                                "ftp_port", "ftp_account", "ftp_password", "domain", "companyid", "account",
                                "tvtype"}) {
    EXPECT_NE(getReplyValue(reply.args, "data.msg.item", attribute), "error") << attribute;
  }
  EXPECT_EQ(getReplyValue(reply.args, "data.msg.item", "tvtype"), "SETUP");
}

// Behind nginx with a certificate of a private authority, as deploy/ sets
// it up: trusted with KESTROVA_CA_FILE naming that authority, refused
// without it or with another one.
TEST(ServiceMovie, AnHttpsServiceIsTrustedOnlyThroughItsOwnAuthority) {
  if (test::RunCommand("command -v nginx && command -v openssl").exitCode != 0) GTEST_SKIP() << "no nginx";
  const std::filesystem::path source = KESTROVA_SOURCE_DIR;
  ServiceProcess service({.seedDemo = true});
  TempDir dir;
  for (const char* name : {"tls", "other"})
    ASSERT_EQ(test::RunCommand(test::ShellQuote((source / "deploy/make-test-certificate").string()) + " " +
                               test::ShellQuote((dir / name).string())).exitCode, 0);
  int port = test::FreeTcpPort();
  ASSERT_EQ(test::RunCommand(test::ShellQuote((source / "deploy/nginx-config").string()) + " " +
                             test::ShellQuote((dir / "nginx").string()) + " 127.0.0.1:" + std::to_string(port) + " " +
                             test::ShellQuote((dir / "tls/server.pem").string()) + " " +
                             test::ShellQuote((dir / "tls/server.key").string()) + " 127.0.0.1:" +
                             std::to_string(service.port())).exitCode, 0);
  struct Nginx {  // stopped with SIGTERM: a SIGKILL would leave its workers serving the port
    test::ChildProcess process;
    ~Nginx() { process.stop(SIGTERM); }
  } nginx{test::ChildProcess({"nginx", "-c", (dir / "nginx/nginx.conf").string()}, dir / "nginx.log")};
  ASSERT_TRUE(test::WaitForTcpPort(port));
  const std::string url = "https://127.0.0.1:" + std::to_string(port);
  App();

  qunsetenv("KESTROVA_CA_FILE");
  EXPECT_FALSE(CheckServiceConnection(QUrl(QString::fromStdString(url)), 5000));
  qputenv("KESTROVA_CA_FILE", QByteArray::fromStdString((dir / "other/ca.pem").string()));
  QString problem;
  EXPECT_EQ(CheckServiceReachability(QUrl(QString::fromStdString(url)), &problem), ServiceReachability::Untrusted);
  EXPECT_FALSE(problem.isEmpty());
  // Nothing listens on a free port: unreachable, not untrusted.
  EXPECT_EQ(CheckServiceReachability(QUrl(QString("https://127.0.0.1:%1").arg(test::FreeTcpPort()))),
            ServiceReachability::Unreachable);
  qputenv("KESTROVA_CA_FILE", QByteArray::fromStdString((dir / "tls/ca.pem").string()));
  EXPECT_TRUE(CheckServiceConnection(QUrl(QString::fromStdString(url)), 5000));
  MovieRig rig(url);
  EXPECT_NE(rig.signIn("demo", "demo"), "");
  qunsetenv("KESTROVA_CA_FILE");
}

TEST(ServiceMovie, MainMovieRaisesReadyOncePerRunAndLoadEventOnEveryLoad) {
  ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  QSignalSpy states(rig.main.get(), &ServiceMovie::OnReadyStateChange);
  QSignalSpy commands(rig.main.get(), &ServiceMovie::OnFSCommand);
  for (int i = 0; i < 5; ++i) {
    rig.loadMain();
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(states.count(), 5);
  EXPECT_EQ(states.at(0).at(0).toInt(), 4);
  ASSERT_EQ(commands.count(), 1);
  EXPECT_EQ(commands.at(0).at(0).toString(), "ready");
}

TEST(ServiceMovie, MissingMovieFileNeverAnswers) {
  ServiceProcess service({.seedDemo = true});
  App();
  ServiceMovie movie(ServiceMovie::Kind::Main, nullptr);
  QSignalSpy states(&movie, &ServiceMovie::OnReadyStateChange);
  QSignalSpy commands(&movie, &ServiceMovie::OnFSCommand);
  movie.setMovie(ServiceMovie::MoviePath("no-such-movie.dll"));
  movie.CallFunction(QString::fromStdString(LoadMainFlashRequest("demo", "demo")));
  EXPECT_FALSE(commands.wait(500));
  EXPECT_EQ(states.count(), 0);
  EXPECT_FALSE(movie.loaded());
}

// A request the service turns away answers without a command (as a 503 for
// "busy" does); the user is told the service is busy instead of nothing.
TEST(ServiceMovie, AnswerWithoutACommandIsReportedAsBusy) {
  ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl() + "/elsewhere");
  QSignalSpy busy(rig.login.get(), &ServiceMovie::OnServiceBusy);
  QSignalSpy commands(rig.login.get(), &ServiceMovie::OnFSCommand);
  rig.login->CallFunction(QString::fromStdString(LoadMainFlashRequest("demo", "demo")));
  ASSERT_TRUE(busy.wait(15000));
  EXPECT_EQ(busy.at(0).at(0).toString(), QStringLiteral("服务繁忙，请稍后再试"));
  EXPECT_EQ(commands.count(), 0);
}

TEST(ServiceMovie, CatalogueRoundTripThroughTheDispatcher) {
  ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  std::string company = rig.signIn("demo", "demo");
  ASSERT_FALSE(company.empty());
  rig.loadMain();

  TvideofileList before = rig.list(company);
  ASSERT_FALSE(before.empty());

  // Save a new video: the reply only asks for the list again.
  Reply saved = MovieRig::Call(*rig.main, SaveUploadFileRequest({"NewNameAbcdefgh1.html", "滚动字幕", "新视频",
                                                                 "12", "15", company, "2048"}));
  EXPECT_EQ(saved.command, "saveUploadFile");
  RecordingActions onSave;
  swfMainFSCommand(onSave, saved.command.c_str(), saved.args);
  EXPECT_EQ(onSave.done, std::vector<std::string>{"sendList"});

  TvideofileList afterSave = rig.list(company);
  ASSERT_EQ(afterSave.size(), before.size() + 1);
  const Tvideofile& added = afterSave.back();
  EXPECT_EQ(added.fileName, "NewNameAbcdefgh1.html");
  EXPECT_EQ(added.title, "新视频");
  EXPECT_EQ(added.state, "A");
  EXPECT_FALSE(added.createDate.empty());
  EXPECT_GT(std::stoi(added.sort), std::stoi(before.back().sort));

  // Edit it into a draft.
  Reply edited = MovieRig::Call(*rig.main, EditUploadFileRequest({added.id, added.sort, "改过的标题", company,
                                                                  added.memo, "新字幕", "U"}));
  RecordingActions onEdit;
  swfMainFSCommand(onEdit, edited.command, edited.args);
  EXPECT_EQ(onEdit.done, (std::vector<std::string>{"sendList", "修改成功！"}));
  TvideofileList afterEdit = rig.list(company);
  EXPECT_EQ(afterEdit.back().title, "改过的标题");
  EXPECT_EQ(afterEdit.back().state, "U");
  EXPECT_EQ(afterEdit.back().zhimo, "新字幕");


  // Delete it.
  Reply deleted = MovieRig::Call(*rig.main, DelUploadFileRequest(added.id, company));
  RecordingActions onDelete;
  swfMainFSCommand(onDelete, deleted.command, deleted.args);
  EXPECT_EQ(onDelete.done, (std::vector<std::string>{"sendList", "删除成功！"}));
  EXPECT_EQ(rig.list(company), before);
}

TEST(ServiceMovie, CardAndPasswordChanges) {
  ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  std::string company = rig.signIn("demo", "demo");
  ASSERT_FALSE(company.empty());
  rig.loadMain();

  CompanyCard card{company, "新公司", "名片标题", "1", "2", "3", "4", "5", "x@y.z", true, false, true, false, true,
                   "/web", "127.0.0.1", "2121", "demo", "demo", "http://127.0.0.1:8641"};
  Reply cardReply = MovieRig::Call(*rig.main, ModComCardRequest(card));
  EXPECT_EQ(cardReply.command, "ModCompanyResult");
  EXPECT_EQ(MovieRig::Result(cardReply), "success");

  Reply wrongOld = MovieRig::Call(*rig.main, ModComPswRequest(company, "nope", "secret2"));
  RecordingActions onWrong;
  swfMainFSCommand(onWrong, wrongOld.command, wrongOld.args);
  EXPECT_EQ(onWrong.done, (std::vector<std::string>{"企业密码修改失败！", "reopenPassword"}));

  Reply changed = MovieRig::Call(*rig.main, ModComPswRequest(company, " demo ", " secret2 "));
  EXPECT_EQ(changed.command, "editEntPwd");
  EXPECT_EQ(MovieRig::Result(changed), "success");

  // The new card and password hold for the next sign-in.
  EXPECT_EQ(rig.signIn("demo", "demo"), "");
  Reply again = MovieRig::Call(*rig.login, LoadMainFlashRequest("demo", "secret2"));
  EXPECT_EQ(MovieRig::Result(again), "success");
  EXPECT_EQ(getReplyValue(again.args, "data.msg.item", "name"), "新公司");
  EXPECT_EQ(getReplyValue(again.args, "data.msg.item", "dsp_play_zhimo"), "0");
  EXPECT_EQ(getReplyValue(again.args, "data.msg.item", "auto_play"), "1");
  EXPECT_EQ(getReplyValue(again.args, "data.msg.item", "ftp_path"), "/web");
}

// Markup characters typed into a title, a subtitle and the company card come
// back whole in the list, the sign-in profile and config.xml.
TEST(ServiceMovie, MarkupCharactersComeBackWholeInTheListTheProfileAndConfigXml) {
  ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  std::string company = rig.signIn("demo", "demo");
  ASSERT_FALSE(company.empty());
  rig.loadMain();
  const std::string text = "A&B <i>\"引号\"</i> & >";

  Reply saved = MovieRig::Call(*rig.main, SaveUploadFileRequest({"MarkupName000001.html", text + "?", text, "12",
                                                                 "15", company, "2048"}));
  ASSERT_EQ(MovieRig::Result(saved), "success") << saved.args;
  Tvideofile added = rig.list(company).back();
  EXPECT_EQ(added.title, text);
  EXPECT_EQ(added.zhimo, text + "?");
  Reply edited = MovieRig::Call(*rig.main, EditUploadFileRequest({added.id, added.sort, text + "!", company, text,
                                                                  text + "?!", "A"}));
  ASSERT_EQ(MovieRig::Result(edited), "success") << edited.args;
  TvideofileList videos = rig.list(company);
  EXPECT_EQ(videos.back().title, text + "!");
  EXPECT_EQ(videos.back().memo, text);
  EXPECT_EQ(videos.back().zhimo, text + "?!");

  CompanyCard card{company, text, text + "1", "1", "2", "3", "4", "5", text + "2", true, true, true, true, true,
                   "/web", "127.0.0.1", "2121", "demo", "demo", "http://127.0.0.1:8641"};
  ASSERT_EQ(MovieRig::Result(MovieRig::Call(*rig.main, ModComCardRequest(card))), "success");
  publishing::LoginProfile profile =
      publishing::ReadLoginProfile(MovieRig::Call(*rig.login, LoadMainFlashRequest("demo", "demo")).args);
  EXPECT_EQ(profile.name, text);
  EXPECT_EQ(profile.title, text + "1");
  EXPECT_EQ(profile.email, text + "2");

  TempDir dir;
  WriteFile(dir / "config.xml", "<?xml version=\"1.0\"?>\n<root/>");
  publishing::PlayerConfig config;
  config.companyname = profile.name;
  config.addr = profile.title;
  config.rows = videos;
  publishing::createConfigXml(dir / "config.xml", config);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((dir / "config.xml").c_str()));
  EXPECT_EQ(std::string(doc.child("root").child("videosetting").child_value("companyname")), text);
  EXPECT_EQ(std::string(doc.child("root").child("videosetting").child_value("addr")), text + "1");
  pugi::xml_node item =
      doc.child("root").child("videofilelist").find_child_by_attribute("item", "id", added.id.c_str());
  EXPECT_EQ(std::string(item.attribute("title").value()), text + "!");
  EXPECT_EQ(std::string(item.attribute("zhimo").value()), text + "?!");
}

TEST(ServiceMovie, AnotherCompanysDataIsOutOfReach) {
  ServiceProcess service({.seedDemo = true});
  std::string other = service.addCompany({{"account", "other"}, {"password", "pw"}, {"name", "别家"}});
  MovieRig otherRig(service.baseUrl());
  ASSERT_EQ(otherRig.signIn("other", "pw"), other);
  otherRig.loadMain();
  MovieRig::Call(*otherRig.main, SaveUploadFileRequest({"OtherVideo000001.html", "", "别家的", "1", "15", other, "1"}));
  TvideofileList othersVideos = otherRig.list(other);
  ASSERT_EQ(othersVideos.size(), 1u);
  const Tvideofile& theirs = othersVideos[0];

  MovieRig rig(service.baseUrl());
  std::string demo = rig.signIn("demo", "demo");
  rig.loadMain();
  // Naming the other company outright, or slipping its video id under our own.
  for (const std::string& companyid : {other, demo}) {
    Reply edit = MovieRig::Call(*rig.main, EditUploadFileRequest({theirs.id, "1", "抢来的", companyid, "", "", "A"}));
    EXPECT_NE(MovieRig::Result(edit), "success") << companyid;
    Reply del = MovieRig::Call(*rig.main, DelUploadFileRequest(theirs.id, companyid));
    EXPECT_NE(MovieRig::Result(del), "success") << companyid;
  }
  for (const Tvideofile& v : rig.list(other)) EXPECT_NE(v.title, "别家的");
  EXPECT_EQ(otherRig.list(other), othersVideos);
}

TEST(ServiceMovie, DataOutlivesARestart) {
  ServiceProcess service({.seedDemo = true});
  std::string company;
  TvideofileList before;
  {
    MovieRig rig(service.baseUrl());
    company = rig.signIn("demo", "demo");
    rig.loadMain();
    MovieRig::Call(*rig.main, SaveUploadFileRequest({"KeptAfterRestart.html", "", "留下", "3", "15", company, "9"}));
    before = rig.list(company);
  }
  service.restart();
  MovieRig rig(service.baseUrl());
  ASSERT_EQ(rig.signIn("demo", "demo"), company);
  rig.loadMain();
  EXPECT_EQ(rig.list(company), before);
}

}  // namespace
}  // namespace kestrova::service

namespace kestrova::service {
namespace {

TEST(ServiceMovie, SignsInAgainWhenTheServiceForgotTheSession) {
  test::ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  std::string company = rig.signIn("demo", "demo");
  rig.loadMain();
  TvideofileList before = rig.list(company);
  ASSERT_FALSE(before.empty());

  // Sessions live in the service's memory: a restart forgets them. The main
  // movie signs in again by itself and the request still gets its answer.
  service.restart();
  EXPECT_EQ(rig.list(company), before);
  Reply edit = MovieRig::Call(*rig.main, EditUploadFileRequest({before[0].id, before[0].sort, "重启之后", company,
                                                                before[0].memo, "", "A"}));
  EXPECT_EQ(MovieRig::Result(edit), "success");
}

TEST(ServiceMovie, WithoutASignInTheRefusalComesThrough) {
  test::ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  rig.loadMain();
  Reply reply = MovieRig::Call(*rig.main, VideoListRequest("1"));
  EXPECT_EQ(reply.command, "getByCompIdVideoList");
  EXPECT_EQ(MovieRig::Result(reply), "failure");
}

}  // namespace
}  // namespace kestrova::service

namespace kestrova::service {
namespace {

// What a user types, with every character XML must escape and line breaks,
// goes through the tool's request texts and the real service and comes back
// exactly: in the catalogue list, in the sign-in profile and in config.xml.
TEST(ServiceMovie, TypedTextsComeBackExactlyWhateverTheyHold) {
  test::ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  std::string company = rig.signIn("demo", "demo");
  rig.loadMain();
  const std::vector<std::string> typed{"say \"hi\" & <b>'s", "第一行\n第二行", "crlf\r\nend\ttab",
                                       "z\" state=\"U", "&amp; stays as typed"};
  for (const std::string& text : typed) {
    Reply saved = MovieRig::Call(*rig.main, SaveUploadFileRequest({"Typed0000000001.html", text, text, "1", "15",
                                                                   company, "1"}));
    ASSERT_EQ(MovieRig::Result(saved), "success") << text;
  }
  TvideofileList rows = rig.list(company);
  ASSERT_EQ(rows.size(), 3 + typed.size());
  for (size_t i = 0; i < typed.size(); ++i) {
    const Tvideofile& row = rows[3 + i];
    EXPECT_EQ(row.title, typed[i]);
    EXPECT_EQ(row.zhimo, typed[i]);
    EXPECT_EQ(row.state, "A");
    // Editing keeps them too, the memo included.
    Reply edited = MovieRig::Call(*rig.main, EditUploadFileRequest({row.id, row.sort, row.title, company, typed[i],
                                                                    row.zhimo, "A"}));
    EXPECT_EQ(MovieRig::Result(edited), "success") << typed[i];
  }
  rows = rig.list(company);
  for (size_t i = 0; i < typed.size(); ++i) EXPECT_EQ(rows[3 + i].memo, typed[i]);

  CompanyCard card{company, typed[0], typed[1], typed[2], "2", "3", "4", "5", typed[3], true, true, true, false, true,
                   "/web", "127.0.0.1", "2121", "demo", typed[4], "http://127.0.0.1:8641"};
  ASSERT_EQ(MovieRig::Result(MovieRig::Call(*rig.main, ModComCardRequest(card))), "success");
  const std::string password = "p\"&<>' x";
  ASSERT_EQ(MovieRig::Result(MovieRig::Call(*rig.main, ModComPswRequest(company, "demo", password))), "success");
  Reply again = MovieRig::Call(*rig.login, LoadMainFlashRequest("demo", password));
  publishing::LoginProfile profile = publishing::ReadLoginProfile(again.args);
  ASSERT_TRUE(profile.accepted()) << again.args;
  EXPECT_EQ(profile.name, typed[0]);
  EXPECT_EQ(profile.title, typed[1]);
  EXPECT_EQ(profile.tel, typed[2]);
  EXPECT_EQ(profile.email, typed[3]);
  EXPECT_EQ(profile.ftp_password, typed[4]);

  test::TempDir dir;
  test::WriteFile(dir / "config.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?><root/>");
  publishing::PlayerConfig config;
  config.companyid = company;
  config.companyname = profile.name;
  config.addr = profile.title;
  config.tel = profile.tel;
  config.rows = rows;
  publishing::createConfigXml(dir / "config.xml", config);
  pugi::xml_document written;
  ASSERT_TRUE(written.load_file((dir / "config.xml").c_str()));
  pugi::xml_node setting = written.child("root").child("videosetting");
  EXPECT_EQ(setting.child_value("companyname"), typed[0]);
  EXPECT_EQ(setting.child_value("addr"), typed[1]);
  // A carriage return is written as a reference, so it survives XML's
  // end-of-line rule in every reader, the web player's included.
  EXPECT_EQ(setting.child_value("tel"), std::string("crlf\r\nend\ttab"));
  std::vector<std::string> titles, zhimos;
  for (pugi::xml_node item : written.child("root").child("videofilelist").children("item")) {
    titles.push_back(item.attribute("title").value());
    zhimos.push_back(item.attribute("zhimo").value());
  }
  ASSERT_EQ(titles.size(), rows.size() - 1) << "the seeded draft is left out";
  EXPECT_EQ(std::vector<std::string>(titles.end() - typed.size(), titles.end()), typed);
  EXPECT_EQ(std::vector<std::string>(zhimos.end() - typed.size(), zhimos.end()), typed);
}

// After a password change the session that made it stays signed in, and
// when the service forgets it later the tool signs in again with the new
// password by itself.
TEST(ServiceMovie, SilentSignInKeepsWorkingAfterAPasswordChange) {
  test::ServiceProcess service({.seedDemo = true});
  MovieRig rig(service.baseUrl());
  std::string company = rig.signIn("demo", "demo");
  rig.loadMain();
  ASSERT_EQ(MovieRig::Result(MovieRig::Call(*rig.main, ModComPswRequest(company, "demo", "new&\"pw"))), "success");
  TvideofileList before = rig.list(company);
  ASSERT_FALSE(before.empty());
  service.restart();
  EXPECT_EQ(rig.list(company), before);
}

}  // namespace
}  // namespace kestrova::service
