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
  // A data folder as the tool lays it out: the web player's template config.xml.
  fs::copy_file(fs::path(KESTROVA_SOURCE_DIR) / "web/template/config.xml", data / "config.xml");
  // A double quote in the title (the name up to the first ".") is carried
  // as typed.
  const fs::path quoted = dir / "Say \"hi\".mp4";
  fs::copy_file(SharedMedia().mp4, quoted);
  // A control character is no text XML can hold: the service refuses it,
  // and the already published file must go again.
  const fs::path refused = dir / "Bell\x01.mp4";
  fs::copy_file(SharedMedia().mp4, refused);

  auto r = RunCommand(AddCommand("secret", service, data,
                                 "--jobs 2 --preset 0 " + ShellQuote(good.string()) + " " +
                                     ShellQuote(SharedMedia().truncated.string()) + " " +
                                     ShellQuote(quoted.string()) + " " + ShellQuote(refused.string())));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("已添加 My Clip.mp4 -> "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("已添加 Say \"hi\".mp4 -> "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("失败 truncated.mp4："), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("失败 Bell\x01.mp4：后台服务拒绝登记"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("4 个文件中有 2 个失败：truncated.mp4, Bell\x01.mp4"), std::string::npos) << r.output;

  // Two videos and their thumbnails, each pair sharing a 16-character name;
  // nothing of the refused files.
  const auto videos = FilesIn(data / "video");
  ASSERT_EQ(videos.size(), 2u) << r.output;
  std::vector<std::string> thumbnails;
  for (const std::string& name : videos) {
    const std::string base = name.substr(0, name.find('.'));
    EXPECT_EQ(base.size(), 16u);
    EXPECT_EQ(name, base + ".html");
    thumbnails.push_back(base + ".jpg");
  }
  EXPECT_EQ(FilesIn(data / "zoom"), thumbnails);
  const fs::path video = data / "video" / videos[0];
  EXPECT_EQ(FfprobeValue("stream=codec_name,width,height", video, "v:0"), "h264\n176\n144");  // preset 0
  EXPECT_EQ(FfprobeValue("stream=codec_name,sample_rate", video, "a:0"), "aac\n22050");
  EXPECT_EQ(FfprobeValue("stream=width,height", data / "zoom" / thumbnails[0]), "120\n90");
  // md has run: the index comes before the media.
  auto trace = RunCommand("ffprobe -v trace " + ShellQuote(video.string()) + " 2>&1").output;
  EXPECT_LT(trace.find("type:'moov' parent:'root'"), trace.find("type:'mdat' parent:'root'"));

  const std::string session = service.login("acme", "secret");
  auto list = service.post(kestrova::service::VideoListRequest(service.companyId()), session);
  auto rows = kestrova::service::parseVideoList(list.body);
  ASSERT_EQ(rows.size(), 2u) << list.body;
  std::vector<std::string> titles, listed;
  for (const auto& row : rows) {
    titles.push_back(row.title);
    listed.push_back(row.fileName);
    EXPECT_EQ(row.zhimo, row.title);
    // As the batch list shows them: whole seconds reached and bytes written.
    EXPECT_TRUE(row.duration == "2" || row.duration == "3") << row.duration;
    EXPECT_GT(std::atoll(row.fileSize.c_str()), 10000) << row.fileSize;
  }
  std::sort(titles.begin(), titles.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(titles, (std::vector<std::string>{"My Clip", "Say \"hi\""}));
  EXPECT_EQ(listed, videos);

  // The site's playlist is current: an upload right after puts them on it.
  const std::string config = ReadFile(data / "config.xml");
  for (const std::string& name : videos)
    EXPECT_NE(config.find(name.substr(0, name.find('.'))), std::string::npos) << config << r.output;
}

TEST(CliAdd, NoConfigLeavesThePlaylistAlone) {
  ServiceProcess service({.company = kAcme});
  TempDir dir;
  const fs::path data = dir / "data";
  fs::create_directories(data);
  auto r = RunCommand(AddCommand("secret", service, data, "--no-config " + ShellQuote(SharedMedia().mp4.string())));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_FALSE(fs::exists(data / "config.xml")) << r.output;
  EXPECT_EQ(FilesIn(data / "video").size(), 1u) << r.output;
}

// A half-copied MP4: the probe reads 10 s, the conversion ends without an
// error at about 5 s. The run's line says
// so; --strict fails it, leaving nothing, and still adds a whole file.
TEST(CliAdd, AHalfMissingInputIsSaidShortAndStrictFailsIt) {
  ServiceProcess service({.company = kAcme});
  TempDir dir;
  const fs::path data = dir / "data";
  fs::create_directories(data);
  const fs::path half = dir / "half.mp4";
  MakeHalfMissingMp4(half);
  ASSERT_NEAR(std::atof(FfprobeValue("format=duration", half).c_str()), 10.0, 0.1);

  auto r = RunCommand(AddCommand("secret", service, data, "--no-config " + ShellQuote(half.string())));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("已添加 half.mp4 -> "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("源文件应有 10.0 秒：源文件可能不完整"), std::string::npos) << r.output;
  EXPECT_EQ(FilesIn(data / "video").size(), 1u);

  const fs::path strictData = dir / "strict";
  fs::create_directories(strictData);
  r = RunCommand(AddCommand("secret", service, strictData,
                            "--no-config --strict " + ShellQuote(half.string()) + " " + ShellQuote(SharedMedia().mp4.string())));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("失败 half.mp4：输出只有"), std::string::npos) << r.output;
  const size_t added = r.output.find("已添加 clip.mp4 -> ");
  ASSERT_NE(added, std::string::npos) << r.output;
  EXPECT_EQ(r.output.substr(added, r.output.find('\n', added) - added).find("不完整"), std::string::npos) << r.output;
  EXPECT_EQ(FilesIn(strictData / "video").size(), 1u);
  EXPECT_EQ(FilesIn(strictData / "zoom").size(), 1u);
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
      {AddCommand("wrong", service, data, clip), 1, "后台服务拒绝账号“acme”登录："},
      {AddCommand(std::nullopt, service, data, clip), 2, "KESTROVA_PASSWORD 中给出密码"},
      {AddCommand("secret", service, data, "--preset 12 " + clip), 2, "--preset 只能是 0 到 9"},
      {AddCommand("secret", service, data, "--thumbnail-at soon " + clip), 2, "--thumbnail-at “soon” 无效"},
      {AddCommand("secret", service, dir / "missing", clip), 1, " 不存在"},
      {AddCommand("secret", service, data, ""), 2, "用法：kestrova-cli add"},
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
