#include "service_client.h"

#include <strings.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "curl_library.h"
#include "reply_readers.h"
#include "request_texts.h"

namespace kestrova::cli {

namespace {

size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// Picks the two headers the service talks through out of the reply's lines.
struct HeaderValues {
  std::string session;
  bool sessionExpired = false;
};
size_t ReadHeader(char* data, size_t size, size_t count, void* target) {
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  auto* values = static_cast<HeaderValues*>(target);
  auto valueOf = [&](const std::string& name) -> std::optional<std::string> {
    if (line.size() <= name.size() + 1 || strncasecmp(line.c_str(), name.c_str(), name.size()) != 0 ||
        line[name.size()] != ':')
      return std::nullopt;
    std::string value = line.substr(name.size() + 1);
    value.erase(0, value.find_first_not_of(' '));
    return value;
  };
  if (auto v = valueOf("X-Session")) values->session = *v;
  if (auto v = valueOf("X-Session-Expired")) values->sessionExpired = *v == "1";
  return size * count;
}

bool LooksLikeXmlReply(const std::string& body) {
  const size_t first = body.find_first_not_of(" \t\r\n");
  return first != std::string::npos && body[first] == '<' && body.find("</") != std::string::npos;
}

}  // namespace

ServiceClient::ServiceClient(std::string baseUrl, long timeoutSeconds, std::string caFile)
    : timeoutSeconds_(timeoutSeconds), caFile_(std::move(caFile)) {
  while (!baseUrl.empty() && baseUrl.back() == '/') baseUrl.pop_back();
  serviceUrl_ = baseUrl + "/service";
  if (caFile_.empty())
    if (const char* fromEnvironment = std::getenv("KESTROVA_CA_FILE")) caFile_ = fromEnvironment;
}

ServiceClient::Answer ServiceClient::Send(const std::string& body) {
  const CurlLibrary* lib = nullptr;
  try {
    lib = &Curl();
  } catch (const std::exception& error) {
    throw ServiceUnavailable(error.what());
  }
  std::unique_ptr<CURL, void (*)(CURL*)> curl(lib->easy_init(), lib->easy_cleanup);
  if (!curl) throw ServiceUnavailable("无法发起 HTTP 请求");
  Answer answer;
  HeaderValues headers;
  curl_slist* list = lib->slist_append(nullptr, "Content-Type: text/xml; charset=utf-8");
  if (!session_.empty()) list = lib->slist_append(list, ("X-Session: " + session_).c_str());
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(list, lib->slist_free_all);
  lib->easy_setopt(curl.get(), CURLOPT_URL, serviceUrl_.c_str());
  lib->easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
  lib->easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  lib->easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headerList.get());
  lib->easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, AppendBody);
  lib->easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer.body);
  lib->easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, ReadHeader);
  lib->easy_setopt(curl.get(), CURLOPT_HEADERDATA, &headers);
  lib->easy_setopt(curl.get(), CURLOPT_TIMEOUT, timeoutSeconds_);
  lib->easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  // Certificates are always checked (libcurl's default); a private
  // authority's file is added, the system's authorities stay trusted.
  if (!caFile_.empty()) lib->easy_setopt(curl.get(), CURLOPT_CAINFO, caFile_.c_str());
  char detail[CURL_ERROR_SIZE] = "";
  lib->easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, detail);
  CURLcode code = lib->easy_perform(curl.get());
  if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE)
    throw ServiceUnavailable("后台服务 " + serviceUrl_ + " 的证书不受信任（" +
                             (caFile_.empty() ? std::string("私有证书颁发机构请用 --ca-file FILE 给出")
                                              : "证书颁发机构文件：" + caFile_) +
                             "）：" + (*detail ? detail : lib->easy_strerror(code)));
  if (code != CURLE_OK)
    throw ServiceUnavailable("无法连接后台服务 " + serviceUrl_ + "：" +
                             (*detail ? detail : lib->easy_strerror(code)));
  lib->easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.status);
  answer.session = headers.session;
  answer.sessionExpired = headers.sessionExpired;
  // A reply is an XML text: a single answer carries a result, a list reply
  // its rows. Anything else (an error page, nothing) is no reply.
  if (Result(answer.body).empty() && !LooksLikeXmlReply(answer.body))
    throw ServiceUnavailable("后台服务 " + serviceUrl_ + " 返回了 HTTP " + std::to_string(answer.status) + "，但没有应答内容");
  return answer;
}

std::string ServiceClient::SignIn(const std::string& account, const std::string& password) {
  return SignInProfile(account, password).companyid;
}

publishing::LoginProfile ServiceClient::SignInProfile(const std::string& account, const std::string& password) {
  const std::string request = service::LoadMainFlashRequest(account, password);
  session_.clear();
  Answer answer = Send(request);
  if (Result(answer.body) != "success" || answer.session.empty()) {
    std::string message = Message(answer.body);
    throw std::runtime_error("后台服务拒绝账号“" + account + "”登录" + (message.empty() ? "" : "：" + message));
  }
  session_ = answer.session;
  signInRequest_ = request;
  return publishing::ReadLoginProfile(answer.body);
}

std::string ServiceClient::Post(const std::string& requestText) {
  Answer answer = Send(requestText);
  if (answer.sessionExpired && !signInRequest_.empty()) {
    session_.clear();
    Answer renewed = Send(signInRequest_);
    if (Result(renewed.body) == "success" && !renewed.session.empty()) {
      session_ = renewed.session;
      answer = Send(requestText);
    }
  }
  return answer.body;
}

std::string ServiceClient::Result(const std::string& reply) {
  try {
    std::string result = service::getReplyValue(reply, "data.msg.item", "result");
    return result == "error" && reply.find("result=") == std::string::npos ? "" : result;
  } catch (const service::ReplyParseError&) {
    return "";
  }
}

std::string ServiceClient::Message(const std::string& reply) {
  try {
    std::string message = service::getReplyValue(reply, "data.msg.item", "message");
    return message == "error" ? "" : message;
  } catch (const service::ReplyParseError&) {
    return "";
  }
}

SignedIn SignInFromCommandLine(const std::string& service, const std::string& account, const std::string& caFile) {
  if (service.empty() || account.empty()) throw std::invalid_argument("需要 --service 和 --account");
  const char* password = std::getenv("KESTROVA_PASSWORD");
  if (!password) throw std::invalid_argument("请在环境变量 KESTROVA_PASSWORD 中给出密码");
  ServiceClient client(service, 60, caFile);
  publishing::LoginProfile profile = client.SignInProfile(account, password);
  return {std::move(client), std::move(profile)};
}

}  // namespace kestrova::cli
