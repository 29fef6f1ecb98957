#include "service_client.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <memory>

#include "reply_readers.h"
#include "request_texts.h"

namespace kestrova::cli {
namespace {

constexpr long kTimeoutSeconds = 60;

size_t CollectBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// Keeps the session header of the reply ("X-Session: token").
size_t CollectSession(char* data, size_t size, size_t count, void* target) {
  std::string line(data, size * count);
  const std::string name = "x-session:";
  if (line.size() > name.size()) {
    std::string head = line.substr(0, name.size());
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (head == name) {
      std::string value = line.substr(name.size());
      size_t begin = value.find_first_not_of(" \t");
      size_t end = value.find_last_not_of(" \t\r\n");
      if (begin != std::string::npos) *static_cast<std::string*>(target) = value.substr(begin, end - begin + 1);
    }
  }
  return size * count;
}

}  // namespace

ServiceClient::ServiceClient(std::string base) : base_(std::move(base)) {
  while (!base_.empty() && base_.back() == '/') base_.pop_back();
}

std::string ServiceClient::post(const std::string& requestText) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) throw ServiceUnreachable("cannot start an HTTP request");
  std::string url = base_ + "/service";
  std::string body, session;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml; charset=utf-8");
  if (!session_.empty()) headers = curl_slist_append(headers, ("X-Session: " + session_).c_str());
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers, curl_slist_free_all);
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, requestText.data());
  curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(requestText.size()));
  curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, CollectBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, CollectSession);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &session);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, kTimeoutSeconds);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  CURLcode result = curl_easy_perform(curl.get());
  if (result != CURLE_OK) {
    throw ServiceUnreachable("cannot reach the service at " + base_ + ": " + curl_easy_strerror(result));
  }
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) {
    throw ServiceUnreachable("the service at " + base_ + " answered HTTP " + std::to_string(status));
  }
  if (!session.empty()) session_ = session;
  return body;
}

publishing::LoginProfile ServiceClient::signIn(const std::string& account, const std::string& password) {
  std::string reply = post(service::LoadMainFlashRequest(account, password));
  publishing::LoginProfile profile = publishing::ReadLoginProfile(reply);
  if (!profile.accepted()) {
    std::string reason = service::getReplyValue(reply, "data.msg.item", "message");
    if (reason.empty() || reason == "error") reason = "wrong account or password";
    throw std::runtime_error("sign-in refused for \"" + account + "\": " + reason);
  }
  return profile;
}

SignedIn SignInFromCommandLine(const std::string& service, const std::string& account) {
  if (service.empty() || account.empty()) throw std::invalid_argument("--service URL and --account NAME are needed");
  const char* password = std::getenv("KESTROVA_PASSWORD");
  if (!password) throw std::invalid_argument("set KESTROVA_PASSWORD to the account's password");
  ServiceClient client(service);
  publishing::LoginProfile profile = client.signIn(account, password);
  return {std::move(client), std::move(profile)};
}

}  // namespace kestrova::cli
