// Talks with kestrova-service from a terminal: posts the tool's request texts
// to SERVICE/service and keeps the session that signing in hands out.
#pragma once

#include <stdexcept>
#include <string>

#include "login_profile.h"

namespace kestrova::cli {

// The service could not be reached or answered something that is no reply.
class ServiceUnreachable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ServiceClient {
 public:
  // base: "http://host:port" (a trailing "/" is fine).
  explicit ServiceClient(std::string base);

  // Posts one request text and returns the reply XML. Sends the session once
  // signed in. Throws ServiceUnreachable.
  std::string post(const std::string& requestText);

  // Signs in with "loadMainFlash" and returns the company profile. Throws
  // std::runtime_error with the service's own reason when it refuses.
  publishing::LoginProfile signIn(const std::string& account, const std::string& password);

 private:
  std::string base_;
  std::string session_;
};

// Signs in with --service URL and --account NAME from the command line and
// the password from KESTROVA_PASSWORD (kept off the command line, where
// anyone on the machine could read it).
struct SignedIn {
  ServiceClient client;
  publishing::LoginProfile profile;
};
SignedIn SignInFromCommandLine(const std::string& service, const std::string& account);

}  // namespace kestrova::cli
