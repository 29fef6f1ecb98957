// kestrova-service from a terminal: the same request texts the desktop
// tool's service movie carries, posted over HTTP, one at a time, waiting for
// each reply.
#pragma once

#include <stdexcept>
#include <string>

#include "login_profile.h"

namespace kestrova::cli {

// No usable answer: the service could not be reached, or answered with
// something that is no reply.
class ServiceUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ServiceClient {
 public:
  // baseUrl: "http://host:port" or "https://..." (a trailing "/" is fine).
  // An https service's certificate is checked against the system's
  // certificate authorities, and against caFile's when one is given (a
  // private deployment's own authority); KESTROVA_CA_FILE is the default.
  explicit ServiceClient(std::string baseUrl, long timeoutSeconds = 60, std::string caFile = "");

  // Signs in with "loadMainFlash". Returns the company id; throws
  // std::runtime_error with the service's message when refused.
  std::string SignIn(const std::string& account, const std::string& password);
  // The same, returning the whole company profile the sign-in reply carries.
  publishing::LoginProfile SignInProfile(const std::string& account, const std::string& password);

  // Posts one request text and returns the reply text. When the service
  // has forgotten the session (a restart), signs in again and repeats the
  // request once, as the desktop tool does.
  std::string Post(const std::string& requestText);

  // The result of a single-answer reply ("success", "failure", "error"),
  // and its message when it carries one.
  static std::string Result(const std::string& reply);
  static std::string Message(const std::string& reply);

 private:
  struct Answer {
    long status = 0;
    std::string body;
    std::string session;
    bool sessionExpired = false;
  };
  Answer Send(const std::string& body);

  std::string serviceUrl_;
  long timeoutSeconds_;
  std::string caFile_;
  std::string session_;
  std::string signInRequest_;
};

// Signs in with --service URL and --account NAME from the command line and
// the password from KESTROVA_PASSWORD (kept off the command line, where
// anyone on the machine could read it).
struct SignedIn {
  ServiceClient client;
  publishing::LoginProfile profile;
};
SignedIn SignInFromCommandLine(const std::string& service, const std::string& account,
                               const std::string& caFile = "");

}  // namespace kestrova::cli
