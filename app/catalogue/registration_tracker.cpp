#include "registration_tracker.h"

#include <algorithm>

#include "reply_readers.h"

namespace kestrova::catalogue {

namespace {

service::NewVideo AsNewVideo(const PendingVideo& v) {
  return {v.fileName, v.zhimo, v.title, v.duration, v.framerate, v.companyid, v.fileSize};
}

PendingVideo AsPending(const service::NewVideo& v) {
  return {v.fileName, v.companyid, v.title, v.zhimo, v.duration, v.framerate, v.fileSize};
}

}  // namespace

std::string RegistrationFailureText(const std::vector<RegistrationFailure>& failures) {
  std::string text = "以下视频未能在后台服务登记：\n";
  for (const RegistrationFailure& f : failures) text += "“" + f.title + "”（" + f.fileName + "）：" + f.reason + "\n";
  text +=
      "视频文件和缩略图已保留，登记前不会上传到网站；后台服务恢复后，重新登录、刷新视频列表或点“重试”即可重新登记。";
  return text;
}

std::string RefusalReason(const std::string& reply) {
  std::string message;
  try {
    message = service::getReplyValue(reply, "data.msg.item", "message");
  } catch (const service::ReplyParseError&) {
    return "后台服务的应答无法读取";
  }
  if (message.empty() || message == "error") return "后台服务拒绝登记";
  return "后台服务拒绝登记：" + message;
}

RegistrationTracker::RegistrationTracker(std::filesystem::path dataFolder, Steps steps)
    : dataFolder_(std::move(dataFolder)), steps_(std::move(steps)) {}

void RegistrationTracker::store(const std::function<std::string()>& write) {
  const std::string problem = write();
  if (!problem.empty() && steps_.tell)
    steps_.tell("无法保存待登记视频的列表“" + PendingRegistrationsPath(dataFolder_).string() + "”：" + problem);
}

void RegistrationTracker::registerVideo(const service::NewVideo& video) {
  PendingVideo pending = AsPending(video);
  store([&] { return AddPendingRegistration(dataFolder_, pending); });
  send(pending);
}

void RegistrationTracker::send(const PendingVideo& video) {
  std::string request = service::SaveUploadFileRequest(AsNewVideo(video));
  inFlight_.push_back({request, video});
  if (steps_.send) steps_.send(request);
}

void RegistrationTracker::answered(const std::string& request, const std::string& reply) {
  std::string result;
  try {
    result = service::getReplyValue(reply, "data.msg.item", "result");
  } catch (const service::ReplyParseError&) {
  }
  if (result == "success") {
    finish(request, nullptr);
  } else {
    const std::string reason = RefusalReason(reply);
    finish(request, &reason);
  }
}

void RegistrationTracker::failed(const std::string& request, const std::string& reason) { finish(request, &reason); }

void RegistrationTracker::finish(const std::string& request, const std::string* failure) {
  auto it = std::find_if(inFlight_.begin(), inFlight_.end(), [&](const InFlight& f) { return f.request == request; });
  if (it == inFlight_.end()) return;
  const PendingVideo video = it->video;
  inFlight_.erase(it);
  if (failure)
    failures_.push_back({video.title, video.fileName, *failure});
  else
    store([&] { return RemovePendingRegistration(dataFolder_, video.fileName); });
  // One message for the whole round, once its last request is done.
  if (inFlight_.empty() && !failures_.empty()) {
    std::vector<RegistrationFailure> round;
    round.swap(failures_);
    if (steps_.tell) steps_.tell(RegistrationFailureText(round));
  }
}

void RegistrationTracker::listed(const service::TvideofileList& videos, const std::string& companyid) {
  std::vector<PendingVideo> all = ReadPendingRegistrations(dataFolder_);
  const size_t before = all.size();
  std::erase_if(all, [&](const PendingVideo& p) {
    if (p.companyid != companyid) return false;
    // Registered after all, or its file has gone since (registering it now
    // would list a video that cannot play).
    std::error_code error;
    return std::any_of(videos.begin(), videos.end(),
                       [&](const service::Tvideofile& v) { return v.fileName == p.fileName; }) ||
           !std::filesystem::exists(dataFolder_ / "video" / p.fileName, error);
  });
  if (all.size() != before) store([&] { return WritePendingRegistrations(dataFolder_, all); });
  if (!retryArmed_) return;
  retryArmed_ = false;
  for (const PendingVideo& video : all) {
    const bool underWay = std::any_of(inFlight_.begin(), inFlight_.end(),
                                      [&](const InFlight& f) { return f.video.fileName == video.fileName; });
    if (video.companyid == companyid && !underWay) send(video);
  }
}

std::vector<PendingVideo> RegistrationTracker::pending(const std::string& companyid) const {
  std::vector<PendingVideo> mine = ReadPendingRegistrations(dataFolder_);
  std::erase_if(mine, [&](const PendingVideo& p) { return p.companyid != companyid; });
  return mine;
}

}  // namespace kestrova::catalogue
