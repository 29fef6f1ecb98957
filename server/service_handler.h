// Answers one posted request text: recognises it, checks the session and the
// company it names, carries it out on the store and writes the reply. Knows
// nothing of HTTP, so it is tested and reused without a server.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "list_reply_cache.h"
#include "request_parser.h"
#include "login_throttle.h"
#include "session_registry.h"
#include "store.h"

namespace kestrova::service {

struct ServiceOutcome {
  int httpStatus = 200;
  // The reply XML, shared: a kept catalogue reply goes out to many clients
  // without a copy.
  std::shared_ptr<const std::string> reply;
  std::string replyCommand;  // for the X-Reply-Command header; empty: none
  std::string newSession;    // set by a successful sign-in (X-Session)
  // The request carried no live session (never signed in, expired, or the
  // service restarted): the tool may sign in again and repeat the request.
  bool sessionExpired = false;
  // For the request log:
  std::string messageType;
  std::string companyId;
  std::string result;  // "success", "failure" or "error"
  std::string detail;  // why it failed, if it did

  const std::string& body() const;
  void setBody(std::string text) { reply = std::make_shared<const std::string>(std::move(text)); }
};

class ServiceHandler {
 public:
  ServiceHandler(Store& store, SessionRegistry& sessions, LoginThrottle& throttle);

  ServiceOutcome handle(std::string_view body, const std::string& sessionToken);

  // handle() in two steps, so a caller can run requests that hash a password
  // apart from the cheap ones: read the text, then carry it out.
  static ParsedRequest read(std::string_view body) { return ParseRequestText(body); }
  // True when carrying the request out verifies or hashes a password (a
  // sign-in or a password change): a fraction of a second of a core each.
  static bool hashesPassword(const ParsedRequest& parsed);
  ServiceOutcome carryOut(const ParsedRequest& parsed, const std::string& sessionToken);
  // The quick answer to a request turned away because too many are waiting:
  // 503 without a reply command, which the tool reports as "service busy".
  static ServiceOutcome busy(const ParsedRequest& parsed);

  // The answer to a body that is too large to read: a failure under the
  // command the tool waits for when one can be found near its start.
  ServiceOutcome oversized(std::string_view bodyStart, size_t limit);

 private:
  struct Context;
  void dispatch(Context& context);
  void login(Context& context);
  void listVideos(Context& context);
  void editVideo(Context& context);
  void deleteVideo(Context& context);
  void saveVideo(Context& context);
  void modifyCard(Context& context);
  void modifyPassword(Context& context);

  Store& store_;
  SessionRegistry& sessions_;
  LoginThrottle& throttle_;
  ListReplyCache listCache_;
};

}  // namespace kestrova::service
