#include "ftp_client.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace kestrova::sync {
namespace {

CURL* Handle(void* curl) { return static_cast<CURL*>(curl); }

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Commands go into quote lists and URLs; a line break inside a name would end
// our command early and let the rest of the name run as a command of its own.
void RefuseLineBreaks(const std::string& text) {
  if (text.find_first_of("\r\n") != std::string::npos)
    throw FtpError(FtpError::Kind::Refused, "路径中含有换行符，无法发送给服务器：" + text);
}

int DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  if (type == CURLINFO_HEADER_OUT || type == CURLINFO_HEADER_IN)
    static_cast<FtpClient*>(self)->onTrafficLine(type == CURLINFO_HEADER_OUT, std::string(data, size));
  return 0;
}

int ProgressCallback(void* self, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow) {
  auto* client = static_cast<FtpClient*>(self);
  // Only one direction moves in any one transfer.
  if (ulnow > 0 || ultotal > 0) return client->onTransferProgress(ultotal, ulnow);
  return client->onTransferProgress(dltotal, dlnow);
}

size_t CollectListing(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

struct CurlSlist {
  curl_slist* list = nullptr;
  ~CurlSlist() { curl_slist_free_all(list); }
  void add(const std::string& line) { list = curl_slist_append(list, line.c_str()); }
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool IsConnectionFailure(int curlCode) {
  switch (curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_URL_MALFORMAT:
    case CURLE_LOGIN_DENIED:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASS_REPLY:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
      return true;
    default:
      return false;
  }
}

FtpClient::FtpClient() { GlobalInitOnce(); }

FtpClient::~FtpClient() { disconnect(); }

std::string FtpClient::url(const std::string& path) const {
  RefuseLineBreaks(path);
  std::string host = login_.host;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  // "%2F" makes the path absolute for libcurl; every further segment is
  // escaped so blanks, '#', '?' and non-ASCII names reach the server as they are.
  std::string encoded = "%2F";
  size_t start = (!path.empty() && path.front() == '/') ? 1 : 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    std::string segment = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    char* escaped = curl_easy_escape(Handle(curl_), segment.c_str(), static_cast<int>(segment.size()));
    encoded += escaped ? escaped : "";
    curl_free(escaped);
    if (slash == std::string::npos) break;
    encoded += "/";
    start = slash + 1;
  }
  return "ftp://" + host + ":" + std::to_string(login_.port) + "/" + encoded;
}

void FtpClient::connect(const FtpLogin& login) {
  disconnect();
  login_ = login;
  curl_ = curl_easy_init();
  if (!curl_) throw FtpError(FtpError::Kind::Connection, "libcurl could not start");
  CURL* c = Handle(curl_);
  curl_easy_setopt(c, CURLOPT_USERNAME, login.user.c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, login.password.c_str());
  curl_easy_setopt(c, CURLOPT_FTPPORT, "-");  // active mode: the server connects back to us
  curl_easy_setopt(c, CURLOPT_FTP_USE_EPRT, 0L);  // plain PORT
  curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  curl_easy_setopt(c, CURLOPT_PROXY, "");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // we run on worker threads
  curl_easy_setopt(c, CURLOPT_TIMEOUT, 0L);   // no read time-out: large files take as long as they take
  curl_easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);  // feeds DebugCallback, which keeps the command log
  curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, DebugCallback);
  curl_easy_setopt(c, CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, ProgressCallback);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer_);

  int code = perform("/", Body::None, {"TYPE I", "*SYST"});
  if (code != CURLE_OK) {
    std::string text = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(static_cast<CURLcode>(code));
    curl_easy_cleanup(c);
    curl_ = nullptr;
    throw FtpError(FtpError::Kind::Connection, text);
  }
  connected_ = true;
}

void FtpClient::disconnect() {
  if (curl_) curl_easy_cleanup(Handle(curl_));  // sends QUIT on the open connection
  curl_ = nullptr;
  connected_ = false;
}

void FtpClient::abortAndQuit() {
  if (curl_) {
    perform("/", Body::None, {"*ABOR"});
  }
  disconnect();
}

int FtpClient::perform(const std::string& path, Body body, const std::vector<std::string>& quotes,
                       const std::vector<std::string>& afterTransfer) {
  if (!curl_) return CURLE_COULDNT_CONNECT;
  CURL* c = Handle(curl_);
  exchange_.clear();
  partialReply_.clear();
  listing_.clear();
  errorBuffer_[0] = 0;
  cancel_ = false;
  lastCount_ = -1;
  CurlSlist quoteList, postQuoteList;
  for (const auto& q : quotes) {
    RefuseLineBreaks(q);
    quoteList.add(q);
  }
  for (const auto& q : afterTransfer) {
    RefuseLineBreaks(q);
    postQuoteList.add(q);
  }
  curl_easy_setopt(c, CURLOPT_URL, url(path).c_str());
  curl_easy_setopt(c, CURLOPT_QUOTE, quoteList.list);
  curl_easy_setopt(c, CURLOPT_POSTQUOTE, postQuoteList.list);
  curl_easy_setopt(c, CURLOPT_NOBODY, body == Body::None ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_UPLOAD, body == Body::Upload ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, body == Body::Listing ? CollectListing : DiscardBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &listing_);
  inTransfer_ = body != Body::None;
  CURLcode code = curl_easy_perform(c);
  inTransfer_ = false;
  curl_easy_setopt(c, CURLOPT_QUOTE, nullptr);
  curl_easy_setopt(c, CURLOPT_POSTQUOTE, nullptr);
  if (IsConnectionFailure(code) && code != CURLE_LOGIN_DENIED) connected_ = false;
  return code;
}

void FtpClient::onTrafficLine(bool outgoing, const std::string& data) {
  if (outgoing) {
    std::string line = data;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("PASS ", 0) == 0) line = "PASS ****";
    sent_.push_back(line);
    exchange_.push_back({line, Reply{}});
    return;
  }
  partialReply_ += data;
  size_t end;
  while ((end = partialReply_.find('\n')) != std::string::npos) {
    std::string line = partialReply_.substr(0, end);
    partialReply_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A final reply line is three digits and a blank; "213-" starts a multi-line reply.
    if (line.size() < 4 || line[3] != ' ' || !isdigit(static_cast<unsigned char>(line[0]))) continue;
    for (auto& [command, reply] : exchange_) {
      if (reply.code == 0) {
        reply.code = std::stoi(line.substr(0, 3));
        reply.text = line;
        break;
      }
    }
  }
}

int FtpClient::onTransferProgress(std::int64_t total, std::int64_t count) {
  if (cancel_) return 1;
  if (inTransfer_ && count != lastCount_ && count > 0) {
    lastCount_ = count;
    if (events_.progress) events_.progress(count);
  }
  return 0;
}

std::optional<FtpClient::Reply> FtpClient::replyTo(const std::string& verb) const {
  for (const auto& [command, reply] : exchange_)
    if (command.rfind(verb, 0) == 0 && reply.code != 0) return reply;
  return std::nullopt;
}

void FtpClient::throwFor(int code, const std::string& what) {
  std::string detail = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(static_cast<CURLcode>(code));
  if (!exchange_.empty() && exchange_.back().second.code >= 400) detail = exchange_.back().second.text;
  throw FtpError(IsConnectionFailure(code) ? FtpError::Kind::Connection : FtpError::Kind::Refused,
                 what + "：" + detail);
}

std::optional<std::int64_t> FtpClient::size(const std::string& path) {
  int code = perform(path, Body::None, {});
  auto reply = replyTo("SIZE ");
  // A refused SIZE is an answer ("no copy"); no answer at all means the connection is gone.
  if (!reply) {
    if (code != CURLE_OK) throwFor(code, "SIZE " + path);
    return std::nullopt;
  }
  if (reply->code != 213) return std::nullopt;
  try {
    return std::stoll(reply->text.substr(4));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool FtpClient::accepted(const std::string& verb) const {
  auto reply = replyTo(verb);
  return reply && reply->code < 400;
}

bool FtpClient::simpleCommand(const std::string& command) {
  // The "*" tells libcurl that a refusal is an answer, not a broken
  // connection: without it libcurl closes the control connection after any
  // refused command and the next one logs in again.
  int code = perform("/", Body::None, {"*" + command});
  std::string verb = command.substr(0, command.find(' ') + 1);
  if (replyTo(verb)) return accepted(verb);
  if (code != CURLE_OK) throwFor(code, command);
  return false;
}

bool FtpClient::changeDir(const std::string& path) { return simpleCommand("CWD " + path); }
bool FtpClient::makeDir(const std::string& path) { return simpleCommand("MKD " + path); }
bool FtpClient::remove(const std::string& path) { return simpleCommand("DELE " + path); }

std::string FtpClient::list(const std::string& directory) {
  std::string dir = directory;
  if (dir.empty() || dir.back() != '/') dir += '/';
  if (events_.begin) events_.begin(0);
  int code = perform(dir, Body::Listing, {});
  if (code != CURLE_OK) throwFor(code, "LIST " + directory);
  if (events_.end) events_.end();
  return listing_;
}

void FtpClient::store(const std::string& localPath, const std::string& path,
                      const std::vector<std::string>& afterwards) {
  storeReachedServer_ = false;
  // Read-only; other programs may keep the file open (or write it) meanwhile.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(localPath.c_str(), "rb"));
  if (!file) throw FtpError(FtpError::Kind::Refused, "无法读取本地文件：" + localPath);
  std::fseek(file.get(), 0, SEEK_END);
  long total = std::ftell(file.get());
  std::fseek(file.get(), 0, SEEK_SET);
  if (!curl_) throw FtpError(FtpError::Kind::Connection, "STOR " + path + "：未连接服务器");
  CURL* c = Handle(curl_);
  curl_easy_setopt(c, CURLOPT_READDATA, file.get());
  curl_easy_setopt(c, CURLOPT_READFUNCTION, nullptr);  // fread from READDATA
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(total));
  curl_easy_setopt(c, CURLOPT_APPEND, 0L);
  curl_easy_setopt(c, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(0));
  if (events_.begin) events_.begin(total);
  std::vector<std::string> afterTransfer;
  for (const auto& command : afterwards) afterTransfer.push_back("*" + command);  // refusals are answers
  int code = perform(path, Body::Upload, {}, afterTransfer);
  curl_easy_setopt(c, CURLOPT_READDATA, nullptr);
  // A STOR refused outright (its first reply an error) wrote nothing; one
  // that was accepted may have left part of the file before it failed.
  auto storeReply = replyTo("STOR ");
  for (const auto& exchange : exchange_)
    if (exchange.first.rfind("STOR ", 0) == 0 && !(storeReply && storeReply->code >= 400)) storeReachedServer_ = true;
  if (code != CURLE_OK) throwFor(code, "STOR " + path);
  if (events_.end) events_.end();
}

bool FtpClient::storeAndRename(const std::string& localPath, const std::string& temporaryPath,
                               const std::string& path) {
  // The rename rides on the store's own request: it is sent only once the
  // server has confirmed the whole file.
  store(localPath, temporaryPath, {"RNFR " + temporaryPath, "RNTO " + path});
  return accepted("RNFR ") && accepted("RNTO ");
}

}  // namespace kestrova::sync
