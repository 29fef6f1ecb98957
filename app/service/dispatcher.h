// The main window's handling of the main movie's reply events, kept apart
// from the window so it can be driven without one.
#pragma once

#include <optional>
#include <string>

namespace kestrova::service {

// Reply command names, in their fixed order.
enum class TMyStrSel {
  ready = 0,
  getByCompIdVideoList = 1,
  editUploadFile = 2,
  delUploadFile = 3,
  ModCompanyResult = 4,
  saveUploadFile = 5,
  editEntPwd = 6,
};

// Looks a command name up without regard to letter case.
std::optional<TMyStrSel> LookupReplyCommand(const std::string& command);

// What the dispatcher makes the main window do.
class MainReplyActions {
 public:
  virtual ~MainReplyActions() = default;
  virtual void connectFtp() = 0;
  virtual void updateVideoFileList(const std::string& reply) = 0;
  virtual void sendVideoListRequest() = 0;
  virtual void showMessage(const std::string& text) = 0;
  // Opens the password dialog again, as its toolbar button does.
  virtual void reopenPasswordDialog() = 0;
};

// What to tell the user when one of the main window's requests got no
// answer (reason says why), or "" for a request that needs no word of its
// own (registrations are followed and reported by their own tracker).
std::string RequestFailureMessage(const std::string& request, const std::string& reason);

// Routes one reply event. A reply that is not well-formed XML, where its
// result must be read, throws ReplyParseError before anything is done.
void swfMainFSCommand(MainReplyActions& actions, const std::string& command, const std::string& args);

}  // namespace kestrova::service
