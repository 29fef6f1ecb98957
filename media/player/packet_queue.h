// A packet queue between the read thread and one decoder. A flush marker
// travels in it like a packet: the decoder that takes it forgets what it
// holds (after a seek). Sizes count each packet's data plus a node's share,
// so the read thread can keep all queues together under one byte limit.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "media/av_owners.h"
#include "media/entry_points.h"

namespace media::player {

// A flush marker's resumeAt when nothing is to be skipped after it.
constexpr double kResumeAnywhere = -1e300;

struct QueuedPacket {
  PacketPtr packet;  // null for the flush marker
  bool flush = false;
  // Of a flush marker after a seek: where playback resumes (seconds on the
  // stream's clock). The decoder lands on the key frame before it and
  // decodes forward, playing nothing earlier.
  double resumeAt = kResumeAnywhere;
};

class PacketQueue {
 public:
  static constexpr int kNodeOverhead = 72;

  // Takes over the packet's reference (the caller's packet is left blank).
  void Put(AVPacket* packet);
  void PutFlush(double resumeAt = kResumeAnywhere);
  // An empty packet: the decoder hands out the pictures it still holds.
  void PutEndOfStream(int streamIndex);
  // 1 with a packet, 0 when empty and not blocking, -1 once aborted.
  int Get(QueuedPacket& out, bool block);
  void Flush();
  void Abort();
  // Ready for use again, emptied, with the flush marker first (stream opening).
  void Start();

  int Count() const;
  int Bytes() const;
  bool Aborted() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<QueuedPacket> packets_;
  int bytes_ = 0;
  bool abort_ = false;
};

}  // namespace media::player
