// Follows every registration ("saveUploadFile") the desktop tool sends until
// the back end has confirmed it. A video is written to the stored pending
// list before its request goes out and leaves it only when the back end
// accepts the request or lists the video; a request that gets no answer or is
// refused keeps it there, tells the user which videos and why, and it is
// sent again when a retry is armed and the next list reply shows the back
// end answering (sign-in, list refresh, the retry button).
// Plain C++: the window hands in how a request is sent and a message shown.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "pending_registrations.h"
#include "request_texts.h"
#include "videofile.h"

namespace kestrova::catalogue {

// The words for a registration that did not go through: the video's title
// and published name, and the reason.
struct RegistrationFailure {
  std::string title;
  std::string fileName;
  std::string reason;
};

// One message for all videos of a round that were not registered.
std::string RegistrationFailureText(const std::vector<RegistrationFailure>& failures);

// The reason a reply that refused a request gives, or a general one.
std::string RefusalReason(const std::string& reply);

class RegistrationTracker {
 public:
  struct Steps {
    std::function<void(const std::string& request)> send;
    std::function<void(const std::string& text)> tell;
  };
  RegistrationTracker(std::filesystem::path dataFolder, Steps steps);

  // Stores the video as pending, then sends its registration.
  void registerVideo(const service::NewVideo& video);

  // What became of a request the tracker may have sent: the reply text, or
  // why no answer came. Requests it did not send are ignored.
  void answered(const std::string& request, const std::string& reply);
  void failed(const std::string& request, const std::string& reason);

  // The back end's list of companyid's videos: listed pending videos are
  // registered after all (the answer got lost on its way) and leave the
  // list; when a retry is armed, the others are sent again.
  void listed(const service::TvideofileList& videos, const std::string& companyid);

  // The next list reply sends the pending videos again.
  void armRetry() { retryArmed_ = true; }

  // companyid's videos waiting for registration.
  std::vector<PendingVideo> pending(const std::string& companyid) const;

 private:
  struct InFlight {
    std::string request;
    PendingVideo video;
  };
  void send(const PendingVideo& video);
  void finish(const std::string& request, const std::string* failure);
  void store(const std::function<std::string()>& write);

  std::filesystem::path dataFolder_;
  Steps steps_;
  std::deque<InFlight> inFlight_;
  std::vector<RegistrationFailure> failures_;  // of the requests still in flight's round
  bool retryArmed_ = false;
};

}  // namespace kestrova::catalogue
