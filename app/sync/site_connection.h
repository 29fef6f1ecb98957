// The site connection of the upload panel: the one FTP client, opening it
// from the settings fields (connectFtp), the connection test, and the server
// side of deleting a video. The client carries one command at a time; the
// upload worker holds `busy` for a whole run, and the window's own uses
// (test, delete) go ahead only when it is free.
#pragma once

#include <mutex>
#include <string>

#include "ftp_client.h"
#include "sync_view.h"

namespace kestrova::sync {

inline constexpr const char* kMsgNoServerAddress = "请先输入服务器地址!";
inline constexpr const char* kMsgPortNotNumber = "端口应该为数字!";
inline constexpr const char* kMsgBadSiteRoot =
    "请检查网站视频目录设置是否正确！正确的设置为现有网站的根目录+视频目录如tv";
inline constexpr const char* kMsgCannotConnect =
    "不能和服务器建立连接,请确定您的网络正常并检查相关参数设置是否正确！";
inline constexpr const char* kMsgLoginRefused = "服务器拒绝了登录,请检查用户名和密码是否正确！";
inline constexpr const char* kMsgUntrustedRefused = "已拒绝连接：无法确认服务器的身份。";
inline constexpr const char* kStatusConnected = "已连接服务器！";
inline constexpr const char* kMsgTestSucceeded = "成功连接到服务器！";
inline constexpr const char* kStatusTestSucceeded = "测试连接服务器成功！";
inline constexpr const char* kMsgTransferring = "正在传输文件,请稍侯！";

// Blanks (spaces, tabs, line ends) cut from both ends.
std::string TrimBlanks(const std::string& text);
// A port field that is a decimal integer in the TCP range; nothing otherwise.
bool ParsePort(const std::string& text, int& port);

// The box text for a connection that could not be opened.
std::string ConnectFailureText(const FtpError& error);

struct SiteConnection {
  FtpClient ftp;
  std::mutex busy;
};

// (Re)opens the connection from the fields and enters the site root, telling
// the user about every failure (an unreachable server, a refused login and an
// untrusted server each in their own words). A certificate or host key that
// fails its check is put to the user, who may trust it once or for good. Success shows as ftp.connected(). The caller
// holds site.busy.
void connectFtp(FtpClient& ftp, SyncView& view);

// The test button: connectFtp, then report success. transferring: a file
// transfer is marked as under way; the test then ends the connection.
void btntestConnClick(SiteConnection& site, SyncView& view, bool transferring);

// The server half of deleting a video: enter folder and, when the server
// reports a size for name there, delete it. Throws FtpError (with the
// server's answer) when a command is refused or the connection fails. The
// caller holds site.busy.
void deleteIfPresent(FtpClient& ftp, const std::string& folder, const std::string& name);

}  // namespace kestrova::sync
