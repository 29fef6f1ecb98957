#include "media/engine/encode_worker.h"

#include "media/engine/engine_av.h"

namespace media {

namespace {
// Enough to cover the encoder's uneven time per picture (a key frame, a
// scene cut) without holding many large pictures.
constexpr size_t kQueuedPictures = 4;
}  // namespace

EncodeWorker::EncodeWorker(AVCodecContext* enc) : enc_(enc), thread_([this] { Run(); }) {}

EncodeWorker::~EncodeWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pictures_.clear();
    ending_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool EncodeWorker::Send(const AVFrame* picture) {
  // A reference, not a copy: whoever draws into the picture next makes it
  // writable first, which copies it only while the encoder still holds it.
  FramePtr copy = NewFrame();
  if (copy == nullptr || AV(av_frame_ref)(copy.get(), picture) < 0) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return failed_ || pictures_.size() < kQueuedPictures; });
  if (failed_) return false;
  pictures_.push_back(std::move(copy));
  lock.unlock();
  changed_.notify_all();
  return true;
}

std::vector<PacketPtr> EncodeWorker::TakePackets() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<PacketPtr> taken;
  taken.swap(packets_);
  return taken;
}

bool EncodeWorker::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return !failed_;
}

void EncodeWorker::Run() {
  while (true) {
    FramePtr picture;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return ending_ || !pictures_.empty(); });
      if (pictures_.empty()) return;
      picture = std::move(pictures_.front());
      pictures_.pop_front();
    }
    changed_.notify_all();
    // The encoder works with no lock held: the task's thread queues the
    // next pictures meanwhile.
    std::vector<PacketPtr> encoded;
    bool ok = AV(avcodec_send_frame)(enc_, picture.get()) >= 0;
    picture.reset();
    while (ok) {
      PacketPtr packet = NewPacket();
      if (packet == nullptr) {
        ok = false;
        break;
      }
      const int err = AV(avcodec_receive_packet)(enc_, packet.get());
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) break;
      if (err < 0) ok = false;
      else encoded.push_back(std::move(packet));
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (PacketPtr& packet : encoded) packets_.push_back(std::move(packet));
      if (!ok) failed_ = true;
    }
    changed_.notify_all();
    if (!ok) return;
  }
}

}  // namespace media
