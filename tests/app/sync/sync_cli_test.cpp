// kestrova-cli scan and upload against a real FTP server.
#include <gtest/gtest.h>

#include "ftp_fixture.h"
#include "process.h"

namespace kestrova::test {
namespace {

std::string SiteArguments(const FtpServerProcess& server, const std::filesystem::path& data) {
  return " --host 127.0.0.1 --port " + std::to_string(server.port()) + " --user " + server.user() +
         " --root /site --data " + ShellQuote(data.string());
}

TEST(SyncCli, UploadMirrorsTheDataFolderAndScanThenFindsNothing) {
  FtpServerProcess server;
  TempDir local;
  auto data = local / "data";
  WriteFile(data / "config.xml", "<config/>");
  WriteFile(data / "video/Abc 1.html", std::string(100000, 'v'));  // published videos are .html
  WriteFile(data / "zoom/Abc 1.jpg", "jpeg");
  WriteFile(data / "zoom/宣传#1.jpg", "second");  // non-ASCII and URL-special characters
  WriteFile(data / "notes.txt", "not for the site");
  std::string cli = ShellQuote((BinDir() / "kestrova-cli").string());
  std::string env = "KESTROVA_FTP_PASSWORD=" + ShellQuote(server.password()) + " ";

  auto scan = RunCommand(env + cli + " scan" + SiteArguments(server, data) + " 2>&1");
  ASSERT_EQ(scan.exitCode, 0) << scan.output;
  EXPECT_NE(scan.output.find("config.xml\t"), std::string::npos) << scan.output;
  EXPECT_NE(scan.output.find("/site/video/Abc 1.html\t"), std::string::npos) << scan.output;
  EXPECT_EQ(scan.output.find("notes.txt"), std::string::npos) << scan.output;

  // The scan time record beside the data folder keeps whatever else it holds.
  WriteFile(local / "7in10.ini", "[other]\nkept=1\n\n[sys]\ncreatetime=earlier\nnext=2\n");
  auto upload = RunCommand(env + cli + " upload" + SiteArguments(server, data) + " 2>&1");
  ASSERT_EQ(upload.exitCode, 0) << upload.output;
  EXPECT_EQ(ReadFile(server.root() / "site/video/Abc 1.html"), std::string(100000, 'v'));
  EXPECT_EQ(ReadFile(server.root() / "site/zoom/Abc 1.jpg"), "jpeg");
  EXPECT_EQ(ReadFile(server.root() / "site/zoom/宣传#1.jpg"), "second");
  EXPECT_EQ(ReadFile(server.root() / "site/config.xml"), "<config/>");
  EXPECT_FALSE(std::filesystem::exists(server.root() / "site/notes.txt"));
  EXPECT_NE(upload.output.find("文件：Abc 1.jpg 上传完成"), std::string::npos) << upload.output;
  std::string record = ReadFile(local / "7in10.ini");
  EXPECT_NE(record.find("[other]\nkept=1\n"), std::string::npos) << record;
  EXPECT_NE(record.find("next=2\n"), std::string::npos) << record;
  EXPECT_EQ(record.find("earlier"), std::string::npos) << record;
  EXPECT_NE(record.find("\ncreatetime=20"), std::string::npos) << record;

  auto again = RunCommand(env + cli + " scan" + SiteArguments(server, data));
  ASSERT_EQ(again.exitCode, 0) << again.output;
  // The header, and the warning that plain FTP sends the password in clear.
  EXPECT_EQ(std::count(again.output.begin(), again.output.end(), '\n'), 2) << "header only:\n" << again.output;
  EXPECT_NE(again.output.find("明文"), std::string::npos) << again.output;

  // "data/" names the same folder as "data": the record stays beside it.
  auto slashed = RunCommand(env + cli + " upload" + SiteArguments(server, local / "data/") + " 2>&1");
  ASSERT_EQ(slashed.exitCode, 0) << slashed.output;
  EXPECT_FALSE(std::filesystem::exists(data / "7in10.ini"));
}

TEST(SyncCli, UploadFailsWithTheReasonWhenTheSiteRefusesTheLogin) {
  FtpServerProcess server;
  TempDir local;
  WriteFile(local / "data/config.xml", "<config/>");
  std::string cli = ShellQuote((BinDir() / "kestrova-cli").string());
  auto upload = RunCommand(cli + " upload" + SiteArguments(server, local / "data") + " --password wrong 2>&1");
  EXPECT_NE(upload.exitCode, 0);
  EXPECT_NE(upload.output.find("服务器拒绝了登录"), std::string::npos) << upload.output;
  EXPECT_FALSE(std::filesystem::exists(server.root() / "site/config.xml"));

  auto missing = RunCommand(cli + " upload --host 127.0.0.1 --data " + ShellQuote((local / "nope").string()) + " 2>&1");
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.output.find("数据目录不存在"), std::string::npos) << missing.output;
}

TEST(SyncCli, ScanFailsWithTheReasonWhenItCannotConnect) {
  FtpServerProcess server;
  TempDir local;
  WriteFile(local / "data/config.xml", "<config/>");
  std::string cli = ShellQuote((BinDir() / "kestrova-cli").string());
  // A refused login, and a port where nothing listens.
  for (const std::string& site :
       {SiteArguments(server, local / "data") + " --password wrong",
        " --host 127.0.0.1 --port 1 --user u --password p --data " + ShellQuote((local / "data").string())}) {
    auto scan = RunCommand(cli + " scan" + site + " 2>&1");
    EXPECT_EQ(scan.exitCode, 1) << site << "\n" << scan.output;
    // Each failure in its own words.
    bool refusedLogin = site.find("wrong") != std::string::npos;
    EXPECT_NE(scan.output.find(refusedLogin ? "服务器拒绝了登录" : "不能和服务器建立连接"), std::string::npos)
        << scan.output;
    EXPECT_EQ(scan.output.find("文件名\t"), std::string::npos) << "no table without a site:\n" << scan.output;
  }
}

TEST(SyncCli, UsageErrorsExitWithTwo) {
  std::string cli = ShellQuote((BinDir() / "kestrova-cli").string());
  const struct {
    const char* arguments;
    int exitCode;
  } cases[] = {
      {"", 2},
      {" no-such-command", 2},
      {" scan --data /tmp", 2},
      {" scan --host 127.0.0.1", 2},
      {" upload --data /tmp", 2},
      {" upload --host 127.0.0.1", 2},
      {" --help", 0},
  };
  for (const auto& c : cases) {
    auto r = RunCommand(cli + c.arguments + " 2>&1");
    EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << "\n" << r.output;
    EXPECT_NE(r.output.find("用法：kestrova-cli"), std::string::npos) << c.arguments << "\n" << r.output;
  }
}

}  // namespace
}  // namespace kestrova::test
