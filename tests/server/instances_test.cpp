// Two kestrova-service processes on one PostgreSQL database, as a load
// balancer would use them: whatever one instance did, the other knows at once
// (sessions, password changes, the sign-in throttle, catalogue writes), and
// a restart signs nobody out.
#include <gtest/gtest.h>

#include <memory>

#include "pg_schema.h"
#include "service_fixture.h"
#include "service_requests.h"

using kestrova::test::PgSchema;
using kestrova::test::ServiceProcess;
namespace requests = kestrova::test::requests;

namespace {

bool Succeeded(const kestrova::test::ServiceReply& reply) {
  return reply.body.find("result=\"success\"") != std::string::npos;
}

// A list answered with the catalogue, not refused for want of a session.
bool Listed(const kestrova::test::ServiceReply& reply) {
  return reply.status == 200 && !reply.body.empty() && reply.body.find("result=") == std::string::npos;
}

class InstancesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!schema.available()) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    ServiceProcess::Options options{.serveArgs = {"--login-max-failures", "3"}, .db = schema.db()};
    a = std::make_unique<ServiceProcess>(options);
    b = std::make_unique<ServiceProcess>(options);
    companyId = a->addCompany({{"account", "acme"}, {"password", "first"}});
  }
  PgSchema schema;
  std::unique_ptr<ServiceProcess> a, b;
  std::string companyId;
};

TEST_F(InstancesTest, ASessionFromOneInstanceWorksOnTheOtherAndOutlivesARestart) {
  std::string session = a->login("acme", "first");
  ASSERT_FALSE(session.empty());
  EXPECT_TRUE(Listed(b->post(requests::List(companyId), session)));
  // The database holds the token's hash, never the token.
  EXPECT_EQ(schema.query("SELECT count(*) FROM sessions WHERE token_hash = '" + session + "'"), "0");
  EXPECT_EQ(schema.query("SELECT count(*) FROM sessions"), "1");
  a->restart();
  b->restart();
  EXPECT_TRUE(Listed(a->post(requests::List(companyId), session)));
  EXPECT_TRUE(Listed(b->post(requests::List(companyId), session)));
  EXPECT_FALSE(Listed(b->post(requests::List(companyId), "0123456789abcdef")));
}

TEST_F(InstancesTest, APasswordChangeOnOneInstanceEndsTheOtherSessionsEverywhere) {
  std::string changer = a->login("acme", "first"), other = b->login("acme", "first");
  ASSERT_FALSE(changer.empty());
  ASSERT_FALSE(other.empty());
  ASSERT_TRUE(Succeeded(a->post(requests::Password(companyId, "first", "second"), changer)));
  EXPECT_FALSE(Listed(b->post(requests::List(companyId), other)));
  EXPECT_FALSE(Listed(a->post(requests::List(companyId), other)));
  EXPECT_TRUE(Listed(b->post(requests::List(companyId), changer)));
  EXPECT_FALSE(b->login("acme", "second").empty());
}

TEST_F(InstancesTest, FailedSignInsOnBothInstancesAddUpToOneLock) {
  EXPECT_TRUE(a->login("acme", "wrong").empty());
  EXPECT_TRUE(b->login("acme", "wrong").empty());
  EXPECT_TRUE(a->login("acme", "wrong").empty());  // the third: locked on every instance
  auto locked = b->post(requests::Login("acme", "first"));
  EXPECT_FALSE(Succeeded(locked));
  EXPECT_NE(locked.body.find("登录失败次数过多"), std::string::npos) << locked.body;
  EXPECT_TRUE(a->login("acme", "first").empty());
}

TEST_F(InstancesTest, AWriteOnOneInstanceIsInTheNextListFromTheOther) {
  std::string session = a->login("acme", "first");
  ASSERT_FALSE(session.empty());
  for (int i = 0; i < 5; ++i) {
    // b keeps its list reply between the writes.
    std::string before = b->post(requests::List(companyId), session).body;
    ASSERT_EQ(before, b->post(requests::List(companyId), session).body);
    std::string title = "video" + std::to_string(i);
    ASSERT_TRUE(Succeeded(a->post(requests::Save(companyId, "F" + std::to_string(i) + ".html", title, title), session)));
    std::string after = b->post(requests::List(companyId), session).body;
    EXPECT_NE(after.find("title=\"" + title + "\""), std::string::npos) << after;
  }
  std::string id = schema.query("SELECT min(id) FROM videos");
  ASSERT_TRUE(Succeeded(b->post(requests::Edit(id, companyId, "renamed"), session)));
  EXPECT_NE(a->post(requests::List(companyId), session).body.find("title=\"renamed\""), std::string::npos);
  ASSERT_TRUE(Succeeded(a->post(requests::Delete(id, companyId), session)));
  EXPECT_EQ(b->post(requests::List(companyId), session).body.find("title=\"renamed\""), std::string::npos);
}

}  // namespace
