// Sign-in, password change and sessions, through the request handler on a
// real SQLite store: what a password guesser or a thief of an old session
// gets.
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <thread>

#include "login_throttle.h"
#include "password_hash.h"
#include "process.h"
#include "service_handler.h"
#include "service_requests.h"
#include "session_registry.h"
#include "store.h"

namespace ks = kestrova::service;

namespace {

using kestrova::test::requests::Login;
using kestrova::test::requests::Password;

std::string List(std::int64_t id) { return kestrova::test::requests::List(std::to_string(id)); }
std::string Password(std::int64_t id, const std::string& oldPassword, const std::string& newPassword) {
  return Password(std::to_string(id), oldPassword, newPassword);
}

std::string Result(const ks::ServiceOutcome& outcome) {
  pugi::xml_document doc;
  doc.load_string(outcome.body().c_str());
  return doc.child("data").child("msg").child("item").attribute("result").value();
}

class Accounts : public ::testing::Test {
 protected:
  void SetUp() override {
    ks::InitCrypto();
    ks::NewCompany company;
    company.account = "acme";
    company.passwordHash = ks::HashPassword("right");
    id_ = store_->addCompany(company);
  }

  ks::ServiceOutcome post(const std::string& text, const std::string& session = "") {
    return handler_.handle(text, session);
  }

  kestrova::test::TempDir dir_;
  std::unique_ptr<ks::Store> store_ = ks::OpenStore("sqlite:" + (dir_ / "s.db").string());
  ks::MemorySessionRegistry sessions_;
  ks::MemoryLoginThrottle throttle_{ks::ThrottlePolicy{3, std::chrono::minutes(15), std::chrono::minutes(15)}};
  ks::ServiceHandler handler_{*store_, sessions_, throttle_};
  std::int64_t id_ = 0;
};

TEST_F(Accounts, OverlongAccountNamesAreRefusedWithoutARecord) {
  for (size_t length : {size_t(201), size_t(1) << 20}) {
    ks::ServiceOutcome outcome = post(Login(std::string(length, 'a'), "x"));
    EXPECT_EQ(Result(outcome), "failure");
    EXPECT_TRUE(outcome.newSession.empty());
  }
  EXPECT_EQ(throttle_.recordCount(), 0u);
  // 200 characters of Chinese (600 bytes) is still a name one may try.
  std::string longest;
  for (int i = 0; i < 200; ++i) longest += "名";
  EXPECT_EQ(Result(post(Login(longest, "x"))), "failure");
  EXPECT_EQ(throttle_.recordCount(), 1u);
}

TEST(LoginThrottle, TableStaysBoundedUnderMadeUpNames) {
  ks::MemoryLoginThrottle throttle;
  for (int i = 0; i < 60000; ++i) throttle.recordFailure("name" + std::to_string(i));
  EXPECT_LE(throttle.recordCount(), 50000u);
  // Records of accounts under attack (locked) survive the bound.
  ks::MemoryLoginThrottle locking{ks::ThrottlePolicy{1, std::chrono::minutes(15), std::chrono::minutes(15)}};
  locking.recordFailure("target");
  for (int i = 0; i < 60000; ++i) locking.recordFailure("name" + std::to_string(i));
  EXPECT_GT(locking.lockedForSeconds("target"), 0);
}

TEST_F(Accounts, OldPasswordGuessesAreThrottledLikeSignIns) {
  std::string session = post(Login("acme", "right")).newSession;
  ASSERT_FALSE(session.empty());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Result(post(Password(id_, "guess", "new"), session)), "failure");
  ks::ServiceOutcome locked = post(Password(id_, "right", "new"), session);
  EXPECT_EQ(Result(locked), "failure");
  EXPECT_NE(locked.body().find("次数过多"), std::string::npos) << locked.body();
  EXPECT_EQ(Result(post(Login("acme", "right"))), "failure") << "the same account is locked for sign-in too";
  EXPECT_TRUE(ks::VerifyPassword(store_->findCompanyById(id_)->passwordHash, "right")) << "unchanged";
}

TEST_F(Accounts, PasswordChangeEndsTheOtherSessionsOnly) {
  std::string changer = post(Login("acme", "right")).newSession;
  std::string other = post(Login("acme", "right")).newSession;
  ASSERT_EQ(Result(post(Password(id_, "right", "fresh"), changer)), "success");
  EXPECT_FALSE(post(List(id_), changer).sessionExpired);
  ks::ServiceOutcome thief = post(List(id_), other);
  EXPECT_EQ(Result(thief), "failure");
  EXPECT_TRUE(thief.sessionExpired);
  EXPECT_FALSE(post(Login("acme", "fresh")).newSession.empty());
}

TEST(SessionRegistry, SessionsEndAtTheirAbsoluteLimitHoweverBusy) {
  ks::MemorySessionRegistry sessions(std::chrono::hours(1), std::chrono::seconds(1));
  std::string session = sessions.open(7);
  auto opened = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - opened < std::chrono::milliseconds(700)) {
    EXPECT_EQ(sessions.companyOf(session), 7);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(sessions.companyOf(session));
}

// The lockout reply names whole minutes, rounded up: never fewer minutes
// than the lock has left.
TEST(LockoutReply, NamesTheMinutesLeftRoundedUp) {
  ks::InitCrypto();
  const std::vector<std::pair<int, std::string>> table{{2, "1"}, {60, "1"}, {90, "2"}, {900, "15"}};
  for (const auto& [seconds, minutes] : table) {
    kestrova::test::TempDir dir;
    auto store = ks::OpenStore("sqlite:" + (dir / "s.db").string());
    ks::MemorySessionRegistry sessions;
    ks::MemoryLoginThrottle throttle{ks::ThrottlePolicy{1, std::chrono::minutes(15), std::chrono::seconds(seconds)}};
    ks::ServiceHandler handler{*store, sessions, throttle};
    handler.handle(Login("someone", "x"), "");
    ks::ServiceOutcome locked = handler.handle(Login("someone", "x"), "");
    pugi::xml_document doc;
    doc.load_string(locked.body().c_str());
    EXPECT_EQ(std::string(doc.child("data").child("msg").child("item").attribute("message").value()),
              "登录失败次数过多，请" + minutes + "分钟后再试")
        << seconds << " s";
  }
}

}  // namespace
