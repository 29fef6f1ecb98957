// kestrova-cli add as a company runs it on a folder of videos: each good file
// ends up converted, published under its ".html" name, rewritten by md and in
// the catalogue; a broken one is named, and leaves nothing in the data folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "media_fixture.h"
#include "process.h"
#include "reply_readers.h"
#include "request_texts.h"
#include "service_fixture.h"

using namespace kestrova::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// password: KESTROVA_PASSWORD's value, or nothing to leave it unset.
std::string AddCommand(const std::optional<std::string>& password, const ServiceProcess& service,
                       const fs::path& data, const std::string& rest) {
  const std::string environment =
      password ? "KESTROVA_PASSWORD=" + ShellQuote(*password) : std::string("env -u KESTROVA_PASSWORD");
  return environment + " " + ShellQuote((BinDir() / "kestrova-cli").string()) +
         " add --service " + service.baseUrl() + " --account acme --data " + ShellQuote(data.string()) + " " + rest +
         " 2>&1";
}

const CompanyFields kAcme = {{"account", "acme"}, {"password", "secret"}, {"name", "Acme"}};

TEST(CliAdd, PublishesEachGoodFileAndNamesTheBrokenOne) {
  ServiceProcess service({.company = kAcme});
  TempDir dir;
  const fs::path data = dir / "data";
  fs::create_directories(data);
  const fs::path good = dir / "My Clip.mp4";
  fs::copy_file(SharedMedia().mp4, good);
  // Converts and publishes, but its title (the name up to the first ".")
  // carries a double quote, which the request texts cannot hold: the service
  // refuses it, and the already published file must go again.
  const fs::path refused = dir / "Say \"hi\".mp4";
  fs::copy_file(SharedMedia().mp4, refused);

  auto r = RunCommand(AddCommand("secret", service, data,
                                 "--jobs 2 --preset 0 " + ShellQuote(good.string()) + " " +
                                     ShellQuote(SharedMedia().truncated.string()) + " " +
                                     ShellQuote(refused.string())));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("added  My Clip.mp4 -> "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("FAILED truncated.mp4: "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("FAILED Say \"hi\".mp4: the service refused it"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("2 of 3 files failed: truncated.mp4, Say \"hi\".mp4"), std::string::npos) << r.output;

  // One video and its thumbnail, sharing a 16-character name; nothing else.
  const auto videos = FilesIn(data / "video");
  ASSERT_EQ(videos.size(), 1u) << r.output;
  const std::string base = videos[0].substr(0, videos[0].find('.'));
  EXPECT_EQ(base.size(), 16u);
  EXPECT_EQ(videos[0], base + ".html");
  EXPECT_EQ(FilesIn(data / "zoom"), std::vector<std::string>{base + ".jpg"});
  const fs::path video = data / "video" / videos[0];
  EXPECT_EQ(FfprobeValue("stream=codec_name,width,height", video, "v:0"), "h264\n176\n144");  // preset 0
  EXPECT_EQ(FfprobeValue("stream=codec_name,sample_rate", video, "a:0"), "aac\n22050");
  EXPECT_EQ(FfprobeValue("stream=width,height", data / "zoom" / (base + ".jpg")), "120\n90");
  // md has run: the index comes before the media.
  auto trace = RunCommand("ffprobe -v trace " + ShellQuote(video.string()) + " 2>&1").output;
  EXPECT_LT(trace.find("type:'moov' parent:'root'"), trace.find("type:'mdat' parent:'root'"));

  const std::string session = service.login("acme", "secret");
  auto list = service.post(kestrova::service::VideoListRequest(service.companyId()), session);
  auto rows = kestrova::service::parseVideoList(list.body);
  ASSERT_EQ(rows.size(), 1u) << list.body;
  EXPECT_EQ(rows[0].fileName, videos[0]);
  EXPECT_EQ(rows[0].title, "My Clip");
  EXPECT_EQ(rows[0].zhimo, "My Clip");
  // As the batch list shows them: whole seconds reached and bytes written.
  EXPECT_TRUE(rows[0].duration == "2" || rows[0].duration == "3") << rows[0].duration;
  EXPECT_GT(std::atoll(rows[0].fileSize.c_str()), 10000) << rows[0].fileSize;
}

TEST(CliAdd, RefusalsConvertNothing) {
  ServiceProcess service({.company = kAcme});
  TempDir dir;
  const fs::path data = dir / "data";
  fs::create_directories(data);
  const std::string clip = ShellQuote(SharedMedia().mp4.string());
  const struct {
    std::string command;
    int exitCode;
    std::string message;
  } cases[] = {
      {AddCommand("wrong", service, data, clip), 1, "sign-in refused: "},
      {AddCommand(std::nullopt, service, data, clip), 2, "KESTROVA_PASSWORD"},
      {AddCommand("secret", service, data, "--preset 12 " + clip), 2, "--preset takes 0 to 9"},
      {AddCommand("secret", service, data, "--thumbnail-at soon " + clip), 2, "invalid --thumbnail-at"},
      {AddCommand("secret", service, dir / "missing", clip), 1, "does not exist"},
      {AddCommand("secret", service, data, ""), 2, "usage: kestrova-cli add"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    auto r = RunCommand(c.command);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
  EXPECT_EQ(FilesIn(data), std::vector<std::string>{}) << "nothing written";
}

}  // namespace
