#include "media/player/packet_queue.h"

namespace media::player {

void PacketQueue::Put(AVPacket* packet) {
  QueuedPacket entry;
  entry.packet = NewPacket();
  Av().av_packet_move_ref(entry.packet.get(), packet);
  {
    std::lock_guard lock(mutex_);
    bytes_ += entry.packet->size + kNodeOverhead;
    packets_.push_back(std::move(entry));
  }
  changed_.notify_all();
}

void PacketQueue::PutFlush(double resumeAt) {
  {
    std::lock_guard lock(mutex_);
    bytes_ += kNodeOverhead;
    packets_.push_back(QueuedPacket{nullptr, true, resumeAt});
  }
  changed_.notify_all();
}

void PacketQueue::PutEndOfStream(int streamIndex) {
  PacketPtr empty = NewPacket();
  empty->stream_index = streamIndex;
  Put(empty.get());
}

int PacketQueue::Get(QueuedPacket& out, bool block) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (abort_) return -1;
    if (!packets_.empty()) {
      out = std::move(packets_.front());
      packets_.pop_front();
      bytes_ -= (out.packet ? out.packet->size : 0) + kNodeOverhead;
      return 1;
    }
    if (!block) return 0;
    changed_.wait(lock);
  }
}

void PacketQueue::Flush() {
  std::deque<QueuedPacket> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(packets_);
    bytes_ = 0;
  }
}

void PacketQueue::Abort() {
  {
    std::lock_guard lock(mutex_);
    abort_ = true;
  }
  changed_.notify_all();
}

void PacketQueue::Start() {
  {
    std::lock_guard lock(mutex_);
    packets_.clear();
    bytes_ = 0;
    abort_ = false;
  }
  PutFlush();
}

int PacketQueue::Count() const {
  std::lock_guard lock(mutex_);
  return int(packets_.size());
}

int PacketQueue::Bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

bool PacketQueue::Aborted() const {
  std::lock_guard lock(mutex_);
  return abort_;
}

}  // namespace media::player
