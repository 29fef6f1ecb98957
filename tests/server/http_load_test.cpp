// kestrova-service with many connections at once: idle, slow and silent
// clients must not keep others waiting or the service from stopping; large
// replies to hundreds of clients arrive whole; pipelined requests are all
// answered, in order. Deadlines here only guard against hangs.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <pugixml.hpp>

#include "raw_http.h"
#include "service_fixture.h"
#include "service_requests.h"

using kestrova::test::RawConnection;
using kestrova::test::RawResponse;
using kestrova::test::ServiceProcess;
using kestrova::test::ServicePost;
using kestrova::test::ServiceReply;

namespace {

using kestrova::test::requests::Envelope;

std::string ListText(const std::string& id) { return kestrova::test::requests::List(id); }
std::string LoginText() { return kestrova::test::requests::Login("demo", "demo"); }

std::string CompanyIdOf(const std::string& loginReply) {
  pugi::xml_document doc;
  doc.load_string(loginReply.c_str());
  return doc.child("data").child("msg").child("item").attribute("companyid").value();
}

size_t ItemCount(const std::string& reply) {
  pugi::xml_document doc;
  if (!doc.load_string(reply.c_str())) return 0;
  auto children = doc.child("data").child("msg").children();
  return static_cast<size_t>(std::distance(children.begin(), children.end()));
}

TEST(ServiceLoad, IdleSlowAndSilentConnectionsNeitherBlockOthersNorTheStop) {
  kestrova::test::RaiseOpenFileLimit();
  ServiceProcess service({.seedDemo = true});
  std::vector<RawConnection> held;
  held.reserve(500);
  for (int i = 0; i < 500; ++i) {
    RawConnection& c = held.emplace_back(service.port());
    switch (i % 3) {
      case 0:  // silent: connected, nothing sent
        break;
      case 1:  // slow: half a header, the rest never comes
        ASSERT_TRUE(c.send("POST /service HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Le"));
        break;
      case 2:  // kept alive after one answered request, then idle
        ASSERT_TRUE(c.send(kestrova::test::Get("/health")));
        ASSERT_TRUE(c.read()) << "connection " << i;
        break;
    }
  }
  // Another client signs in and lists its catalogue.
  ServiceReply login = service.post(LoginText());
  ASSERT_FALSE(login.session.empty()) << service.log();
  RawConnection fresh(service.port());
  ASSERT_TRUE(fresh.send(ServicePost(ListText(CompanyIdOf(login.body)), login.session)));
  auto list = fresh.read(std::chrono::seconds(10));
  ASSERT_TRUE(list);
  EXPECT_EQ(list->status, 200);
  EXPECT_EQ(ItemCount(list->body), 3u);

  // SIGTERM with all of them still open: the service ends by itself (the
  // fixture would kill it after the grace time, which reads as a signal).
  kestrova::test::ChildProcess& process = service.process();
  int status = process.stop(SIGTERM, std::chrono::seconds(2));
  ASSERT_TRUE(WIFEXITED(status)) << "still running 2 s after SIGTERM";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The header deadline counts from the connection's start: a client that
// keeps sending one byte at a time is cut off all the same.
TEST(ServiceLoad, AHeaderTricklingInIsCutOffAtItsDeadline) {
  ServiceProcess service({.serveArgs = {"--header-deadline-seconds", "1"}});
  RawConnection trickle(service.port());
  const std::string header = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: " + std::string(200, 'x');
  bool cutOff = false;
  for (char byte : header) {  // one byte every 100 ms: 20 s for the whole header
    if (!trickle.send(std::string(1, byte)) || trickle.closedByPeer(std::chrono::milliseconds(100))) {
      cutOff = true;
      break;
    }
  }
  EXPECT_TRUE(cutOff);
  // A prompt client is answered as ever.
  RawConnection prompt(service.port());
  ASSERT_TRUE(prompt.send(kestrova::test::Get("/health")));
  auto reply = prompt.read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "ok");
}

TEST(ServiceLoad, LargeRepliesReachHundredsOfClientsWhole) {
  kestrova::test::RaiseOpenFileLimit();
  ServiceProcess service({.seedDemo = true});
  ServiceReply login = service.post(LoginText());
  std::string id = CompanyIdOf(login.body);
  // About 1 MB of catalogue: 100 videos with 10 KB titles.
  for (int i = 0; i < 100; ++i) {
    std::string title(10000, 'a' + i % 26);
    ServiceReply saved = service.post(
        Envelope("<data><msgType method=\"saveUploadFile\">SysSetVideoFile</msgType><msg><item fileName=\"Big" +
                 std::to_string(1000 + i) + ".html\" zhimo=\"z\" title=\"" + title +
                 "\" duration=\"1\" framerate=\"25\"  companyId=\"" + id + "\" fileSize=\"1\"  state=\"A\"/></msg></data>"),
        login.session);
    ASSERT_NE(saved.body.find("success"), std::string::npos) << saved.body;
  }
  const std::string request = ServicePost(ListText(id), login.session);
  constexpr int kClients = 300;
  std::vector<RawConnection> clients;
  clients.reserve(kClients);
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back(service.port());
    ASSERT_TRUE(clients.back().send(request));
  }
  size_t expectedSize = 0;
  for (int i = 0; i < kClients; ++i) {
    auto reply = clients[i].read(std::chrono::seconds(60));
    ASSERT_TRUE(reply) << "client " << i << " got no whole reply";
    EXPECT_EQ(reply->status, 200);
    if (i == 0) {
      expectedSize = reply->body.size();
      EXPECT_GT(expectedSize, 1000000u);
      EXPECT_EQ(ItemCount(reply->body), 103u);
    }
    EXPECT_EQ(reply->body.size(), expectedSize) << "client " << i;
  }
}

TEST(ServiceLoad, PipelinedRequestsAreAllAnsweredInOrder) {
  ServiceProcess service({.seedDemo = true});
  ServiceReply login = service.post(LoginText());
  std::string list = ServicePost(ListText(CompanyIdOf(login.body)), login.session);

  RawConnection connection(service.port());
  ASSERT_TRUE(connection.send(kestrova::test::Get("/health") + list + kestrova::test::Get("/member/") + list +
                              ServicePost("hello")));
  std::vector<RawResponse> replies;
  for (int i = 0; i < 5; ++i) {
    auto reply = connection.read();
    ASSERT_TRUE(reply) << "reply " << i;
    replies.push_back(*reply);
  }
  EXPECT_EQ(replies[0].body, "ok");
  EXPECT_EQ(replies[1].headers["x-reply-command"], "getByCompIdVideoList");
  EXPECT_EQ(ItemCount(replies[1].body), 3u);
  EXPECT_NE(replies[2].headers["content-type"].find("text/html"), std::string::npos);
  EXPECT_EQ(replies[3].body, replies[1].body);
  EXPECT_EQ(replies[4].status, 400);

  // A request that asks to close ends the connection after its reply, even
  // with more requests behind it; the reply still arrives whole.
  RawConnection closing(service.port());
  ASSERT_TRUE(closing.send(kestrova::test::Get("/health", true) + list + list));
  auto only = closing.read();
  ASSERT_TRUE(only);
  EXPECT_EQ(only->body, "ok");
  EXPECT_TRUE(closing.closedByPeer(std::chrono::seconds(10)));
}

}  // namespace
