#include "service_handler.h"

#include <charconv>

#include "local_time.h"
#include "password_hash.h"
#include "reply_writer.h"
#include "request_parser.h"

namespace kestrova::service {
namespace {

// Thrown by a request step that cannot go on; becomes the failure reply.
// result is "failure" for a refusal (wrong password, not yours, not found) and
// "error" for a request that is malformed or could not be carried out.
struct Refusal {
  std::string result;
  std::string message;
  std::string detail;  // for the log only
};

constexpr std::int64_t kSortLimit = 1'000'000'000;
constexpr const char* kBusyMessage = "服务繁忙，请稍后再试";

Refusal BadInput(std::string message) { return Refusal{"error", std::move(message), {}}; }

std::int64_t ParseInteger(const std::string& text, const char* what) {
  // Surrounding blanks are forgiven: the sort number is typed by hand.
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  std::int64_t value = 0;
  if (begin != std::string::npos) {
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc() && ptr == last) return value;
  }
  throw BadInput(std::string(what) + "必须是整数");
}

bool ParseFlag(const std::string& text, const char* name) {
  if (text == "True" || text == "true" || text == "1") return true;
  if (text == "False" || text == "false" || text == "0") return false;
  throw BadInput(std::string(name) + "只能是True或False");
}

// A character at name[at] that does not show as itself: C0 and C1 controls,
// DEL, and the direction marks and overrides that make "evil.html" followed
// by U+202E and "gpj" look like a picture's name.
bool IsHiddenControl(const std::string& name, size_t at) {
  auto byte = [&](size_t k) { return at + k < name.size() ? static_cast<unsigned char>(name[at + k]) : 0u; };
  unsigned char first = byte(0);
  if (first < 0x20 || first == 0x7F) return true;
  if (first == 0xC2) return byte(1) >= 0x80 && byte(1) <= 0x9F;            // U+0080-U+009F
  if (first == 0xD8) return byte(1) == 0x9C;                               // U+061C
  if (first == 0xE2 && byte(1) == 0x80)
    return byte(2) == 0x8E || byte(2) == 0x8F || (byte(2) >= 0xAA && byte(2) <= 0xAE);  // U+200E-F, U+202A-E
  if (first == 0xE2 && byte(1) == 0x81) return byte(2) >= 0xA6 && byte(2) <= 0xA9;     // U+2066-U+2069
  return false;
}

// The catalogue file name becomes a path on the company's site and in the
// tool's data folder, so it must be one plain name that stays in its folder.
void CheckPlainFileName(const std::string& name) {
  bool plain = !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
               name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
  for (size_t i = 0; plain && i < name.size(); ++i) plain = !IsHiddenControl(name, i);
  if (!plain) throw BadInput("文件名无效");
}

size_t CharacterCount(const std::string& utf8) {
  size_t count = 0;
  for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
  return count;
}

Refusal Locked(long long seconds) {
  long long minutes = (seconds + 59) / 60;
  return Refusal{"failure", "登录失败次数过多，请" + std::to_string(minutes) + "分钟后再试",
                 "account locked after repeated failures"};
}

}  // namespace

// Forgets the company's kept list reply when a catalogue write ends, whether
// it succeeded or not: a write whose commit was cut off may have landed.
struct CatalogueWrite {
  ListReplyCache& cache;
  std::int64_t companyId;
  ~CatalogueWrite() { cache.invalidate(companyId); }
};

const std::string& ServiceOutcome::body() const {
  static const std::string empty;
  return reply ? *reply : empty;
}

struct ServiceHandler::Context {
  const ServiceRequest& request;
  const std::string& sessionToken;
  ServiceOutcome& outcome;
  std::int64_t companyId = 0;  // the signed-in company, once checked

  std::string require(const char* name) const {
    auto value = request.value(name);
    if (!value) throw BadInput(std::string("缺少参数 ") + name);
    return *value;
  }
};

ServiceHandler::ServiceHandler(Store& store, SessionRegistry& sessions, LoginThrottle& throttle)
    : store_(store), sessions_(sessions), throttle_(throttle) {}

ServiceOutcome ServiceHandler::handle(std::string_view body, const std::string& sessionToken) {
  return carryOut(read(body), sessionToken);
}

bool ServiceHandler::hashesPassword(const ParsedRequest& parsed) {
  return parsed.request && (parsed.request->type == "loadMainFlash" || parsed.request->type == "ModComPsw");
}

ServiceOutcome ServiceHandler::busy(const ParsedRequest& parsed) {
  ServiceOutcome outcome;
  outcome.result = "error";
  outcome.detail = "too many password checks waiting";
  // No command: the tool tells a turned-away request from a refused sign-in
  // by that, and says the service is busy instead of "wrong password".
  outcome.httpStatus = 503;
  if (parsed.request) outcome.messageType = parsed.request->type;
  outcome.setBody(ResultReply("error", kBusyMessage));
  return outcome;
}

ServiceOutcome ServiceHandler::carryOut(const ParsedRequest& parsed, const std::string& sessionToken) {
  ServiceOutcome outcome;
  if (!parsed.request) {
    outcome.result = "error";
    outcome.detail = parsed.error;
    if (parsed.guessedType.empty()) {
      // Not something the tool sent at all: plain HTTP refusal.
      outcome.httpStatus = 400;
      outcome.setBody(ResultReply("error", "不是有效的服务请求"));
    } else {
      outcome.messageType = parsed.guessedType;
      outcome.replyCommand = *ReplyCommandFor(parsed.guessedType);
      outcome.setBody(ResultReply("error", "请求格式错误，内容中可能含有引号、<或&等字符"));
    }
    return outcome;
  }

  const ServiceRequest& request = *parsed.request;
  outcome.messageType = request.type;
  Context context{request, sessionToken, outcome};
  try {
    dispatch(context);
  } catch (const Refusal& refusal) {
    outcome.result = refusal.result;
    outcome.detail = refusal.detail.empty() ? refusal.message : refusal.detail;
    outcome.setBody(ResultReply(refusal.result, refusal.message));
  } catch (const std::exception& e) {
    // A database fault: the store rolled the change back; say so plainly.
    outcome.result = "error";
    outcome.detail = e.what();
    outcome.setBody(ResultReply("error", "服务器内部错误，请稍候再试"));
  }
  return outcome;
}

ServiceOutcome ServiceHandler::oversized(std::string_view bodyStart, size_t limit) {
  ServiceOutcome outcome;
  outcome.result = "error";
  outcome.detail = "request body larger than " + std::to_string(limit) + " bytes";
  outcome.messageType = GuessMessageType(bodyStart);
  if (outcome.messageType.empty()) {
    outcome.httpStatus = 413;
  } else {
    outcome.replyCommand = *ReplyCommandFor(outcome.messageType);
  }
  outcome.setBody(ResultReply("error", "请求内容过大"));
  return outcome;
}

void ServiceHandler::dispatch(Context& context) {
  const std::string& type = context.request.type;
  auto command = ReplyCommandFor(type);
  if (!command) {
    // Answer under the name the request gave, when it is a plain word, so
    // the tool reports an unknown command rather than waiting for ever.
    bool word = !type.empty() && type.size() <= 64 &&
                type.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") ==
                    std::string::npos;
    if (word) context.outcome.replyCommand = type;
    throw BadInput("未知的请求类型");
  }
  context.outcome.replyCommand = *command;
  if (std::string extra = UnexpectedAttribute(context.request); !extra.empty())
    throw Refusal{"error", "请求含有多余的参数", "attribute \"" + extra + "\" is not part of " + type};
  if (type == "loadMainFlash") return login(context);

  // Everything but the sign-in acts for the signed-in company only.
  auto sessionCompany = sessions_.companyOf(context.sessionToken);
  if (!sessionCompany) {
    context.outcome.sessionExpired = true;
    throw Refusal{"failure", "未登录或登录已过期，请重新登录", "no valid session"};
  }
  context.companyId = *sessionCompany;
  context.outcome.companyId = std::to_string(*sessionCompany);

  // Each request names the company under its own attribute.
  const char* companyAttribute = type == "getByCompIdVideoList" ? "company_id"
                                 : type == "ModComPsw"          ? "id"
                                                                : "companyId";
  std::int64_t named = ParseInteger(context.require(companyAttribute), companyAttribute);
  if (named != *sessionCompany)
    throw Refusal{"failure", "无权操作其他企业的数据",
                  "session of company " + std::to_string(*sessionCompany) + " names company " + std::to_string(named)};

  if (type == "getByCompIdVideoList") return listVideos(context);
  if (type == "editUploadFile") return editVideo(context);
  if (type == "delUploadFile") return deleteVideo(context);
  if (type == "saveUploadFile") return saveVideo(context);
  if (type == "ModComCard") return modifyCard(context);
  if (type == "ModComPsw") return modifyPassword(context);
}

void ServiceHandler::login(Context& context) {
  std::string account = context.require("account");
  std::string password = context.require("password");
  // No such account can exist; answering at once keeps huge names out of
  // the throttle's table and costs no password hash.
  if (CharacterCount(account) > kMaxAccountLength)
    throw Refusal{"failure", "用户名或密码错误", "account name longer than any account"};

  if (long long seconds = throttle_.lockedForSeconds(account); seconds > 0) throw Locked(seconds);
  auto company = store_.findCompanyByAccount(account);
  bool accepted = false;
  if (company) {
    accepted = VerifyPassword(company->passwordHash, password);
  } else {
    VerifyAgainstDummyHash(password);
  }
  if (!accepted) {
    throttle_.recordFailure(account);
    throw Refusal{"failure", "用户名或密码错误", "wrong account or password"};
  }
  throttle_.recordSuccess(account);
  context.outcome.companyId = std::to_string(company->id);
  context.outcome.newSession = sessions_.open(company->id);
  context.outcome.setBody(LoginReply(*company));
  context.outcome.result = "success";
}

void ServiceHandler::listVideos(Context& context) {
  ListReplyCache::Ticket ticket;
  // Read before the catalogue itself, so a reply is never kept under a
  // version older than the data it was built from allows.
  auto version = store_.catalogueVersion(context.companyId);
  ListReplyCache::Reply reply = listCache_.find(context.companyId, ticket, version);
  if (!reply) {
    reply = std::make_shared<const std::string>(VideoListReply(store_.listVideos(context.companyId)));
    listCache_.keep(ticket, reply);
  }
  context.outcome.reply = std::move(reply);
  context.outcome.result = "success";
}

void ServiceHandler::editVideo(Context& context) {
  VideoEdit edit;
  edit.id = ParseInteger(context.require("id"), "id");
  edit.sort = ParseInteger(context.require("sort"), "排序号");
  // New videos take the largest sort number + 1; keeping hand-typed numbers
  // far from the integer limits keeps that sum from overflowing.
  if (edit.sort < -kSortLimit || edit.sort > kSortLimit) throw BadInput("排序号超出范围");
  edit.title = context.require("title");
  edit.memo = context.require("memo");
  edit.zhimo = context.require("zhimo");
  edit.state = context.require("state");
  CatalogueWrite write{listCache_, context.companyId};
  if (!store_.updateVideo(context.companyId, edit))
    throw Refusal{"failure", "视频不存在", "no video " + std::to_string(edit.id) + " in this company"};
  context.outcome.setBody(ResultReply("success"));
  context.outcome.result = "success";
}

void ServiceHandler::deleteVideo(Context& context) {
  std::int64_t videoId = ParseInteger(context.require("id"), "id");
  CatalogueWrite write{listCache_, context.companyId};
  if (!store_.deleteVideo(context.companyId, videoId))
    throw Refusal{"failure", "视频不存在", "no video " + std::to_string(videoId) + " in this company"};
  context.outcome.setBody(ResultReply("success"));
  context.outcome.result = "success";
}

void ServiceHandler::saveVideo(Context& context) {
  NewVideo video;
  video.fileName = context.require("fileName");
  video.zhimo = context.require("zhimo");
  video.title = context.require("title");
  video.duration = context.require("duration");
  video.framerate = context.require("framerate");
  video.fileSize = context.require("fileSize");
  video.state = context.require("state");
  CheckPlainFileName(video.fileName);
  video.createDate = LocalTimestamp();
  CatalogueWrite write{listCache_, context.companyId};
  store_.addVideo(context.companyId, video);
  context.outcome.setBody(ResultReply("success"));
  context.outcome.result = "success";
}

void ServiceHandler::modifyCard(Context& context) {
  // Every field is read before anything is written, so a request missing one
  // changes nothing.
  CompanyProfile p;
  p.name = context.require("name");
  p.title = context.require("title");
  p.tel = context.require("tel");
  p.fax = context.require("fax");
  p.qq = context.require("qq");
  p.skype = context.require("skype");
  p.msn = context.require("msn");
  p.email = context.require("email");
  p.dspEntCard = ParseFlag(context.require("dsp_ent_card"), "dsp_ent_card");
  p.dspPlayZhimo = ParseFlag(context.require("dsp_play_zhimo"), "dsp_play_zhimo");
  p.autoPlay = ParseFlag(context.require("auto_play"), "auto_play");
  p.autoCre = ParseFlag(context.require("auto_cre"), "auto_cre");
  p.dspLogo = ParseFlag(context.require("dsp_logo"), "dsp_logo");
  p.ftpPath = context.require("ftp_path");
  p.ftpAddr = context.require("ftp_addr");
  p.ftpPort = context.require("ftp_port");
  p.ftpAccount = context.require("ftp_account");
  p.ftpPassword = context.require("ftp_password");
  p.domain = context.require("domain");
  auto company = store_.findCompanyById(context.companyId);
  if (!company) throw Refusal{"failure", "企业不存在", "company vanished"};
  // Only a "SETUP" account manages its own site connection; for the others
  // the vendor set it up, and the tool sends the stored values back masked
  // and unchanged. Keeping the stored ones enforces that here as well.
  if (company->tvtype != "SETUP") {
    const CompanyProfile& stored = company->profile;
    p.ftpPath = stored.ftpPath;
    p.ftpAddr = stored.ftpAddr;
    p.ftpPort = stored.ftpPort;
    p.ftpAccount = stored.ftpAccount;
    p.ftpPassword = stored.ftpPassword;
    p.domain = stored.domain;
  }
  if (!store_.updateProfile(context.companyId, p))
    throw Refusal{"failure", "企业不存在", "company vanished"};
  context.outcome.setBody(ResultReply("success"));
  context.outcome.result = "success";
}

void ServiceHandler::modifyPassword(Context& context) {
  std::string oldPassword = context.require("oldpwd");
  std::string newPassword = context.require("newpwd");
  if (newPassword.find_first_not_of(' ') == std::string::npos) throw BadInput("新密码不能为空");
  auto company = store_.findCompanyById(context.companyId);
  if (!company) throw Refusal{"failure", "企业不存在", "company vanished"};
  // The old-password check is a password guess like a sign-in, and counts
  // against the same account.
  if (long long seconds = throttle_.lockedForSeconds(company->account); seconds > 0) throw Locked(seconds);
  if (!VerifyPassword(company->passwordHash, oldPassword)) {
    throttle_.recordFailure(company->account);
    throw Refusal{"failure", "原始密码错误", "old password does not match"};
  }
  throttle_.recordSuccess(company->account);
  store_.updatePasswordHash(context.companyId, HashPassword(newPassword));
  // Whoever signed in with the old password is signed out; the session that
  // made the change carries on.
  sessions_.endOtherSessions(context.companyId, context.sessionToken);
  context.outcome.setBody(ResultReply("success"));
  context.outcome.result = "success";
}

}  // namespace kestrova::service
