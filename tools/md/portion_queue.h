// Decides how the packets of all streams are laid out in the output: in
// portions that follow one another in time, each holding every stream's
// packets of that stretch, stream after stream. A portion is cut so that no
// stream's run in it lasts longer than the portion length, and all streams
// share the same cut points, so the streams never drift apart in the file.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
}

namespace md {

struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

class PortionQueue {
 public:
  // portionLength in microseconds; bufferLimit bounds how many bytes wait
  // for a stream that has nothing to say for a long stretch (a sparse track,
  // or an input that is not interleaved at all).
  PortionQueue(int streamCount, int64_t portionLength, int64_t bufferLimit = 64 << 20);

  // Takes a packet of stream whose media lasts from start to end (microseconds,
  // end >= start, both non-decreasing within a stream).
  void Push(int stream, PacketPtr packet, int64_t start, int64_t end);
  // No more packets will come.
  void Finish() { finished_ = true; }

  // When the next portion is decided, appends its packets to out (stream by
  // stream, each in its own order) and returns true.
  bool PopPortion(std::vector<PacketPtr>& out);

 private:
  struct Entry {
    PacketPtr packet;
    int64_t start, end;
  };
  // The start of the first packet of the stream that would make its run
  // outlast limit, or INT64_MAX when all its waiting packets fit.
  int64_t FirstStartBeyond(int stream, int64_t limit) const;
  // True when the portion ending at limit can be cut now.
  bool Ready(int64_t limit) const;

  std::vector<std::deque<Entry>> queues_;
  int64_t length_;
  int64_t bufferLimit_;
  int64_t buffered_ = 0;
  int64_t portionStart_ = INT64_MIN;
  bool finished_ = false;
};

}  // namespace md
