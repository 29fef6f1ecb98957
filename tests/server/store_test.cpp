// The same store tests on SQLite and, when KESTROVA_TEST_PG names a database,
// on PostgreSQL (each test in a schema of its own, dropped afterwards).
#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdlib>
#include <thread>

#include <pugixml.hpp>

#include "login_throttle.h"
#include "password_hash.h"
#include "process.h"
#include "service_handler.h"
#include "session_registry.h"
#include "store.h"

#ifdef KESTROVA_HAVE_POSTGRESQL
#include <pqxx/pqxx>
#endif

namespace ks = kestrova::service;
using kestrova::test::TempDir;

namespace {

std::string RandomSuffix() {
  unsigned char bytes[6];
  randombytes_buf(bytes, sizeof bytes);
  char hex[sizeof bytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
  return hex;
}

class StoreTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ks::InitCrypto();
    if (GetParam() == "sqlite") {
      store_ = ks::OpenStore("sqlite:" + (dir_ / "store.db").string());
      return;
    }
#ifdef KESTROVA_HAVE_POSTGRESQL
    const char* pg = std::getenv("KESTROVA_TEST_PG");
    if (!pg || !*pg) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    pgAdmin_ = pg;
    schema_ = "store_test_" + RandomSuffix();
    pqxx::connection admin(pgAdmin_);
    pqxx::work tx(admin);
    tx.exec("CREATE SCHEMA " + schema_);
    tx.commit();
    std::string separator = pgAdmin_.find('?') == std::string::npos ? "?" : "&";
    store_ = ks::OpenStore(pgAdmin_ + separator + "options=-csearch_path%3D" + schema_);
#else
    GTEST_SKIP() << "built without PostgreSQL";
#endif
  }

  void TearDown() override {
    store_.reset();
#ifdef KESTROVA_HAVE_POSTGRESQL
    if (!schema_.empty()) {
      pqxx::connection admin(pgAdmin_);
      pqxx::work tx(admin);
      tx.exec("DROP SCHEMA " + schema_ + " CASCADE");
      tx.commit();
    }
#endif
  }

  static ks::NewCompany Company(const std::string& account) {
    ks::NewCompany c;
    c.account = account;
    c.passwordHash = "$argon2id$placeholder";
    c.tvtype = "SETUP";
    c.profile.name = "测试公司 \"引号\" <&>";
    c.profile.tel = "010-1234";
    c.profile.dspLogo = true;
    c.profile.ftpPort = "21";
    return c;
  }

  static ks::NewVideo Video(const std::string& title) {
    ks::NewVideo v;
    v.fileName = title + ".html";
    v.title = title;
    v.zhimo = "字幕 " + title;
    v.duration = "12";
    v.framerate = "25";
    v.fileSize = "345";
    v.state = "A";
    v.createDate = "2024-01-02 03:04:05";
    return v;
  }

  static std::vector<std::string> Titles(const std::vector<ks::Video>& videos) {
    std::vector<std::string> titles;
    for (const auto& v : videos) titles.push_back(v.title);
    return titles;
  }

  TempDir dir_;
  std::unique_ptr<ks::Store> store_;
  std::string pgAdmin_, schema_;
};

TEST_P(StoreTest, CompaniesAreCreatedFoundAndUnique) {
  ks::NewCompany acme = Company("acme");
  std::int64_t id = store_->addCompany(acme);

  auto byAccount = store_->findCompanyByAccount("acme");
  auto byId = store_->findCompanyById(id);
  ASSERT_TRUE(byAccount && byId);
  EXPECT_EQ(byAccount->id, id);
  EXPECT_EQ(byId->account, "acme");
  EXPECT_EQ(byId->tvtype, "SETUP");
  EXPECT_EQ(byId->passwordHash, acme.passwordHash);
  EXPECT_EQ(byId->profile, acme.profile);

  EXPECT_FALSE(store_->findCompanyByAccount("ACME"));
  EXPECT_FALSE(store_->findCompanyByAccount("acme' OR '1'='1"));
  EXPECT_FALSE(store_->findCompanyById(id + 1000));
  EXPECT_THROW(store_->addCompany(Company("acme")), ks::StoreError);
  EXPECT_THROW(store_->addCompany(Company("")), ks::StoreError);
}

TEST_P(StoreTest, PasswordHashIsStoredAndReplaced) {
  ks::NewCompany c = Company("acme");
  c.passwordHash = ks::HashPassword("old secret");
  std::int64_t id = store_->addCompany(c);
  std::string stored = store_->findCompanyById(id)->passwordHash;
  EXPECT_EQ(stored.rfind("$argon2id$", 0), 0u) << stored;
  EXPECT_TRUE(ks::VerifyPassword(stored, "old secret"));
  EXPECT_FALSE(ks::VerifyPassword(stored, "old secre"));

  ASSERT_TRUE(store_->updatePasswordHash(id, ks::HashPassword("new")));
  stored = store_->findCompanyById(id)->passwordHash;
  EXPECT_TRUE(ks::VerifyPassword(stored, "new"));
  EXPECT_FALSE(ks::VerifyPassword(stored, "old secret"));
  EXPECT_FALSE(store_->updatePasswordHash(id + 1000, "x"));
}

TEST_P(StoreTest, CatalogueKeepsPlayOrderAndBelongsToOneCompany) {
  std::int64_t a = store_->addCompany(Company("a"));
  std::int64_t b = store_->addCompany(Company("b"));
  std::int64_t first = store_->addVideo(a, Video("first"));
  std::int64_t second = store_->addVideo(a, Video("second"));
  std::int64_t third = store_->addVideo(a, Video("third"));
  std::int64_t other = store_->addVideo(b, Video("other"));

  auto list = store_->listVideos(a);
  ASSERT_EQ(Titles(list), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(list[0].sort, 1);
  EXPECT_EQ(list[2].sort, 3);
  EXPECT_EQ(list[0].zhimo, "字幕 first");
  EXPECT_EQ(list[0].createDate, "2024-01-02 03:04:05");
  EXPECT_EQ(store_->listVideos(b)[0].sort, 1) << "numbering is per company";

  // Equal sort numbers fall back to the id.
  ASSERT_TRUE(store_->updateVideo(a, {third, 1, "third", "memo", "z", "U"}));
  ASSERT_TRUE(store_->updateVideo(a, {first, 5, "first!", "", "", "A"}));
  list = store_->listVideos(a);
  EXPECT_EQ(Titles(list), (std::vector<std::string>{"third", "second", "first!"}));
  EXPECT_EQ(list[0].state, "U");
  EXPECT_EQ(list[0].memo, "memo");
  EXPECT_EQ(list[1].sort, 2);

  // Another company's video can be neither changed nor removed.
  EXPECT_FALSE(store_->updateVideo(b, {first, 9, "stolen", "", "", "A"}));
  EXPECT_FALSE(store_->deleteVideo(b, second));
  EXPECT_EQ(store_->listVideos(a).size(), 3u);
  EXPECT_EQ(store_->listVideos(a)[2].title, "first!");

  EXPECT_TRUE(store_->deleteVideo(a, second));
  EXPECT_FALSE(store_->deleteVideo(a, second));
  EXPECT_EQ(Titles(store_->listVideos(a)), (std::vector<std::string>{"third", "first!"}));
  // A new video goes after the largest sort number.
  store_->addVideo(a, Video("newest"));
  EXPECT_EQ(store_->listVideos(a).back().sort, 6);
  EXPECT_EQ(Titles(store_->listVideos(b)), (std::vector<std::string>{"other"}));
  (void)other;
}

TEST_P(StoreTest, ProfileUpdateReplacesEveryField) {
  std::int64_t id = store_->addCompany(Company("acme"));
  ks::CompanyProfile p;
  p.name = "新名称";
  p.title = "地址";
  p.tel = "1";
  p.fax = "2";
  p.qq = "3";
  p.skype = "4";
  p.msn = "5";
  p.email = "6@x";
  p.dspEntCard = p.autoCre = true;
  p.ftpPath = "/site";
  p.ftpAddr = "ftp.example";
  p.ftpPort = "2121";
  p.ftpAccount = "u";
  p.ftpPassword = "p\"w";
  p.domain = "http://example";
  ASSERT_TRUE(store_->updateProfile(id, p));
  EXPECT_EQ(store_->findCompanyById(id)->profile, p);
  EXPECT_FALSE(store_->updateProfile(id + 1000, p));
}

TEST_P(StoreTest, FailedWriteLeavesNothing) {
  // The third video is invalid (no file name): the company and the first two
  // videos must not be stored either.
  std::vector<ks::NewVideo> videos{Video("one"), Video("two"), Video("three")};
  videos[2].fileName.clear();
  EXPECT_THROW(store_->addCompany(Company("acme"), videos), ks::StoreError);
  EXPECT_FALSE(store_->findCompanyByAccount("acme"));

  std::int64_t id = store_->addCompany(Company("acme"), {Video("one")});
  EXPECT_THROW(store_->addVideo(id + 1000, Video("orphan")), ks::StoreError);
  ks::NewVideo bad = Video("bad");
  bad.fileName = std::string(300, 'x');
  EXPECT_THROW(store_->addVideo(id, bad), ks::StoreError);
  EXPECT_EQ(Titles(store_->listVideos(id)), (std::vector<std::string>{"one"}));
  // The store still works after the failures.
  store_->addVideo(id, Video("two"));
  EXPECT_EQ(store_->listVideos(id).size(), 2u);
}

TEST_P(StoreTest, ConcurrentAdditionsGetDistinctSortNumbers) {
  std::int64_t id = store_->addCompany(Company("acme"));
  constexpr int kThreads = 4, kEach = 10;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) store_->addVideo(id, Video("v" + std::to_string(t) + "_" + std::to_string(i)));
    });
  for (auto& t : threads) t.join();
  auto list = store_->listVideos(id);
  ASSERT_EQ(list.size(), size_t(kThreads * kEach));
  for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i].sort, std::int64_t(i + 1));
}

// Through the request handler into the store and back: texts with every
// character XML has to escape come back exactly, and references to
// characters XML forbids never reach the database (SQLite would store
// invalid UTF-8, PostgreSQL would refuse the whole request).
TEST_P(StoreTest, TextsComeBackExactlyAndForbiddenCharactersNeverReachTheStore) {
  ks::NewCompany company = Company("acme");
  company.passwordHash = ks::HashPassword("pw");
  std::int64_t id = store_->addCompany(company);
  ks::MemorySessionRegistry sessions;
  ks::MemoryLoginThrottle throttle;
  ks::ServiceHandler handler(*store_, sessions, throttle);
  auto envelope = [](const std::string& data) {
    return "<invoke name=\"ReceiveService\" returntype=\"xml\"><arguments><string>" + data +
           "</string></arguments></invoke>";
  };
  std::string session =
      handler.handle(envelope("<data><msgType>loadMainFlash</msgType><msg><item account=\"acme\" password=\"pw\"/>"
                              "</msg></data>"), "").newSession;
  ASSERT_FALSE(session.empty());
  auto save = [&](const std::string& title) {
    std::string body = handler.handle(envelope("<data><msgType method=\"saveUploadFile\">S</msgType><msg><item "
                                               "fileName=\"F.html\" zhimo=\"" + title + "\" title=\"" + title +
                                               "\" duration=\"1\" framerate=\"25\" companyId=\"" +
                                               std::to_string(id) + "\" fileSize=\"1\" state=\"A\"/></msg></data>"),
                                      session).body();
    return body.find("result=\"success\"") != std::string::npos;
  };
  for (const char* forbidden : {"&#0;", "&#1;", "&#xD800;", "&#x110000;", "&#xFFFE;", "&#xFFFF;"})
    EXPECT_FALSE(save(std::string("a") + forbidden + "b")) << forbidden;
  EXPECT_TRUE(store_->listVideos(id).empty());

  ASSERT_TRUE(save("&quot;&amp;&lt;&gt;'&#10;&#13;&#9;中文&#x1F600;"));
  const std::string typed = "\"&<>'\n\r\t中文\xF0\x9F\x98\x80";
  auto videos = store_->listVideos(id);
  ASSERT_EQ(videos.size(), 1u);
  EXPECT_EQ(videos[0].title, typed);
  std::string list = handler.handle(envelope("<data><msgType method=\"getByCompIdVideoList\">S</msgType><msg><item "
                                             "company_id=\"" + std::to_string(id) + "\"/></msg></data>"),
                                    session).body();
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(list.c_str())) << list;
  EXPECT_EQ(doc.child("data").child("msg").child("item").attribute("zhimo").value(), typed);
}

#ifdef KESTROVA_HAVE_POSTGRESQL
// The server drops every connection (a restart, an administrator): each
// pooled connection is broken, yet no request fails and nothing is stored
// twice.
TEST_P(StoreTest, DroppedConnectionsAreRetriedOnFreshOnes) {
  if (GetParam() != "postgresql") GTEST_SKIP() << "SQLite has no connections to lose";
  // A store of its own, named so that only its connections are dropped.
  std::string separator = pgAdmin_.find('?') == std::string::npos ? "?" : "&";
  auto store = ks::OpenStore(pgAdmin_ + separator + "application_name=" + schema_ + "&options=-csearch_path%3D" +
                             schema_);
  std::int64_t id = store->addCompany(Company("acme"));
  std::vector<std::thread> threads;  // several calls at once fill the pool
  for (int t = 0; t < 4; ++t) threads.emplace_back([&] { store->listVideos(id); });
  for (auto& t : threads) t.join();

  pqxx::connection admin(pgAdmin_);
  pqxx::nontransaction(admin).exec(
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = '" + schema_ + "'");
  for (int i = 0; i < 5; ++i) EXPECT_NO_THROW(store->addVideo(id, Video("after" + std::to_string(i))));
  EXPECT_EQ(store->listVideos(id).size(), 5u);
}
#endif

INSTANTIATE_TEST_SUITE_P(Databases, StoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
