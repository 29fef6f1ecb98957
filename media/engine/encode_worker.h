// One video encoder run on a thread of its own, so that the task's thread
// reads, decodes and scales the next pictures while the encoder works on the
// ones before. Internal to the engine.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "media/av_forward.h"
#include "media/av_owners.h"

namespace media {

class EncodeWorker {
 public:
  // The encoder is lent to the worker's thread until Finish returns or the
  // worker goes; nobody else touches it meanwhile.
  explicit EncodeWorker(AVCodecContext* enc);
  // Drops the pictures not yet encoded and waits for the thread (a stop).
  ~EncodeWorker();
  EncodeWorker(const EncodeWorker&) = delete;
  EncodeWorker& operator=(const EncodeWorker&) = delete;

  // Queues a reference to the picture, waiting while the queue is full. The
  // caller must make its picture writable (av_frame_make_writable) before it
  // draws into it again. False when the encoder has failed or memory ran out.
  bool Send(const AVFrame* picture);
  // The packets encoded so far, in the encoder's order.
  std::vector<PacketPtr> TakePackets();
  // Waits until every queued picture has gone through the encoder and ends
  // the thread; the encoder is the caller's again. False when it failed.
  bool Finish();

 private:
  void Run();

  AVCodecContext* enc_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<FramePtr> pictures_;
  std::vector<PacketPtr> packets_;
  bool ending_ = false;
  bool failed_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace media
