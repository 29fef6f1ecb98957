// Following registrations until the back end confirms them: the stored list
// of videos waiting, what a refusal or a missing answer keeps and tells, the
// list reply that settles or retries them, and a fresh run that finds them.
#include <gtest/gtest.h>

#include "process.h"
#include "registration_tracker.h"
#include "request_texts.h"

namespace kestrova::catalogue {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

const std::string kSuccess = "<data><msg><item result=\"success\"/></msg></data>";
const std::string kRefused = "<data><msg><item result=\"failure\" message=\"文件名不合法\"/></msg></data>";

service::NewVideo Video(const std::string& name, const std::string& title, const std::string& company = "7") {
  return {name + ".html", title, title, "12.5", "25", company, "1000"};
}

service::Tvideofile Listed(const std::string& fileName) {
  service::Tvideofile video;
  video.fileName = fileName;
  return video;
}

struct TrackerTest : ::testing::Test {
  TrackerTest() {
    fs::create_directories(data / "video");
    for (const char* name : {"a", "b", "c"}) WriteFile(data / "video" / (std::string(name) + ".html"), "video");
  }
  RegistrationTracker make() {
    return RegistrationTracker(data, {[this](const std::string& r) { sent.push_back(r); },
                                      [this](const std::string& t) { told.push_back(t); }});
  }
  std::vector<std::string> pendingNames() const {
    std::vector<std::string> names;
    for (const PendingVideo& v : ReadPendingRegistrations(data)) names.push_back(v.fileName);
    return names;
  }

  TempDir folder;
  fs::path data = folder.path() / "data";
  std::vector<std::string> sent, told;
};

TEST_F(TrackerTest, AVideoIsStoredBeforeItsRequestAndLeavesOnlyWhenAccepted) {
  RegistrationTracker tracker = make();
  tracker.registerVideo(Video("a", "培训课程"));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], service::SaveUploadFileRequest(Video("a", "培训课程")));
  EXPECT_EQ(pendingNames(), std::vector<std::string>{"a.html"}) << "stored while its answer is awaited";

  tracker.answered("some other request", kSuccess);
  EXPECT_EQ(pendingNames(), std::vector<std::string>{"a.html"});
  tracker.answered(sent[0], kSuccess);
  EXPECT_TRUE(pendingNames().empty());
  EXPECT_FALSE(fs::exists(PendingRegistrationsPath(data))) << "an empty list leaves no file behind";
  EXPECT_TRUE(told.empty());
}

TEST_F(TrackerTest, NoAnswerAndRefusalKeepTheVideosAndOneMessageNamesThemAll) {
  RegistrationTracker tracker = make();
  tracker.registerVideo(Video("a", "第一段"));
  tracker.registerVideo(Video("b", "第二段"));
  tracker.registerVideo(Video("c", "第三段"));
  tracker.failed(sent[0], "后台服务没有应答（Connection refused）");
  tracker.answered(sent[1], kSuccess);
  EXPECT_TRUE(told.empty()) << "the message waits for the round's last answer";
  tracker.answered(sent[2], kRefused);
  ASSERT_EQ(told.size(), 1u);
  const std::string& text = told[0];
  EXPECT_NE(text.find("“第一段”（a.html）：后台服务没有应答（Connection refused）"), std::string::npos) << text;
  EXPECT_NE(text.find("“第三段”（c.html）：后台服务拒绝登记：文件名不合法"), std::string::npos) << text;
  EXPECT_EQ(text.find("第二段"), std::string::npos);
  EXPECT_EQ(pendingNames(), (std::vector<std::string>{"a.html", "c.html"}));
}

TEST_F(TrackerTest, TheListSettlesWhatTheBackEndHoldsAndAnArmedRetrySendsTheRestOnce) {
  {
    RegistrationTracker first = make();
    first.registerVideo(Video("a", "甲"));
    first.registerVideo(Video("b", "乙"));
    first.registerVideo(Video("c", "丙", "8"));  // another company's, signed in earlier
    for (const std::string& request : sent) first.failed(request, "后台服务没有应答");
  }
  sent.clear();
  // A new run: the list is all it knows.
  RegistrationTracker tracker = make();
  EXPECT_EQ(tracker.pending("7").size(), 2u);

  // The list without a retry armed only settles: "a" was taken although its
  // answer never came.
  tracker.listed({Listed("a.html")}, "7");
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(pendingNames(), (std::vector<std::string>{"b.html", "c.html"}));

  tracker.armRetry();
  tracker.listed({}, "7");
  ASSERT_EQ(sent.size(), 1u) << "only the signed-in company's videos go again";
  EXPECT_EQ(sent[0], service::SaveUploadFileRequest(Video("b", "乙")));
  tracker.listed({}, "7");
  EXPECT_EQ(sent.size(), 1u) << "a list reply without a new trigger sends nothing again";

  // A refused retry stays waiting; the next armed list sends it once more.
  tracker.answered(sent[0], kRefused);
  tracker.armRetry();
  tracker.listed({}, "7");
  EXPECT_EQ(sent.size(), 2u);
  // A video whose file has gone meanwhile is dropped, not registered.
  fs::remove(data / "video/b.html");
  tracker.armRetry();
  tracker.listed({}, "7");
  EXPECT_EQ(pendingNames(), std::vector<std::string>{"c.html"});
}

TEST_F(TrackerTest, TheStoredListKeepsAnyTitleAndHoldsBackTheVideoAndItsThumbnail) {
  const std::vector<PendingVideo> videos = {
      {"Ab12.html", "7", "tab\there", "line\nbreak 100%", "1.0", "25", "10"},
      {"Cd34.html", "7", "标题", "", "", "", ""},
  };
  ASSERT_EQ(WritePendingRegistrations(data, videos), "");
  EXPECT_EQ(ReadPendingRegistrations(data), videos);
  EXPECT_EQ(HeldBackFiles(videos),
            (std::vector<std::string>{"video/Ab12.html", "zoom/Ab12.jpg", "video/Cd34.html", "zoom/Cd34.jpg"}));

  // Hand-edited lines: a short one and one naming a file outside data/video are skipped.
  WriteFile(PendingRegistrationsPath(data), "short\tline\n../up.html\t7\tt\tz\t1\t25\t1\nok.html\t7\tt\tz\t1\t25\t1\n");
  const auto read = ReadPendingRegistrations(data);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].fileName, "ok.html");
}

}  // namespace
}  // namespace kestrova::catalogue
