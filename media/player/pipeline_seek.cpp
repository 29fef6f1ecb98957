// Moving the input to a seek's target, for the read thread.
//
// A time seek must leave the demuxer on the key frame at or before the
// target: the decoders go forward from there and nothing before the target
// is played. Demuxers with an index of key frames land there at once. Those
// that search by timestamp alone (transport streams) land on whatever packet
// comes near the target, often in the middle of a group of pictures: decoding
// from there gives nothing until the next key frame, a whole group late, and
// nothing at all in the last group of the file. So the packets after a
// landing are read up to the target, looking for a key frame at or before
// it; without one the seek steps back further. The packets read from that
// key frame on are kept: they are the start of playback.
#include <algorithm>
#include <chrono>
#include <thread>

#include "media/player/pipeline.h"

namespace media::player {
namespace {

constexpr int64_t kFirstStepBackUs = 1'000'000;
// How much is read and kept past a landing while looking for the key frame:
// a group of pictures larger than this is played from its key frame on
// without reading it to the target first.
constexpr size_t kMostPacketsLookedAt = 20000;
constexpr int kMostBytesLookedAt = kQueueByteLimit / 2;
constexpr int kMostRetries = 100;
// A key frame this close after the target still starts at the target's
// picture: timestamps and the target are rounded differently.
constexpr int64_t kKeyFrameToleranceUs = 1000;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

int Pipeline::SeekInputTo(int64_t lowest, int64_t target, int64_t highest, int flags) {
  int result = Av().avformat_seek_file(input, -1, lowest, target, highest, flags & ~AVSEEK_FLAG_BACKWARD);
  const bool exact = !(flags & (AVSEEK_FLAG_BYTE | AVSEEK_FLAG_ANY));
  if (result < 0) result = Av().av_seek_frame(input, -1, target, flags | (exact ? AVSEEK_FLAG_BACKWARD : 0));
  if (result < 0 && !exact) result = Av().av_seek_frame(input, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
  return result;
}

Pipeline::Landing Pipeline::ReadToKeyFrameBefore(int64_t target, std::vector<PacketPtr>& readAhead) {
  const AVRational microseconds{1, AV_TIME_BASE};
  const int64_t latest = target + kKeyFrameToleranceUs;
  bool found = false, sawPicture = false;
  int bytes = 0, retries = 0;
  while (!abort) {
    if (readAhead.size() >= kMostPacketsLookedAt || bytes >= kMostBytesLookedAt) {
      // Kept from a key frame on, playback can start here; without one the
      // key frame lies further back.
      return found ? Landing::kOnKeyFrame : Landing::kPastKeyFrame;
    }
    PacketPtr packet = NewPacket();
    const int result = Av().av_read_frame(input, packet.get());
    if (result == AVERROR(EAGAIN) && ++retries < kMostRetries) {
      SleepMs(10);
      continue;
    }
    // The end or an error: the main loop meets it again.
    if (result < 0) return found ? Landing::kOnKeyFrame : Landing::kUnknown;
    const AVPacket& read = *packet;
    if (read.stream_index != videoStreamIndex) {
      bytes += read.size;
      readAhead.push_back(std::move(packet));
      continue;
    }
    const bool first = !sawPicture;
    sawPicture = true;
    const int64_t shown = read.pts != AV_NOPTS_VALUE ? read.pts : read.dts;
    const int64_t decoded = read.dts != AV_NOPTS_VALUE ? read.dts : read.pts;
    const AVRational timeBase = videoStream->time_base;
    if (shown == AV_NOPTS_VALUE) {
      // Without timestamps nothing can be judged: playback starts here.
      readAhead.push_back(std::move(packet));
      return Landing::kUnknown;
    }
    if ((read.flags & AV_PKT_FLAG_KEY) && Av().av_compare_ts(shown, timeBase, latest, microseconds) <= 0) {
      // A later key frame before the target: what came before it is not
      // needed, except sound muxed ahead of the pictures.
      const int64_t keyUs = Av().av_rescale_q(shown, timeBase, microseconds);
      std::erase_if(readAhead, [&](const PacketPtr& kept) {
        const AVStream* stream = input->streams[kept->stream_index];
        return kept->stream_index == videoStreamIndex ||
               (kept->pts != AV_NOPTS_VALUE &&
                Av().av_rescale_q(kept->pts + kept->duration, stream->time_base, microseconds) < keyUs);
      });
      bytes = 0;
      for (const PacketPtr& kept : readAhead) bytes += kept->size;
      found = true;
      bytes += read.size;
      readAhead.push_back(std::move(packet));
      if (first) return Landing::kOnKeyFrame;  // an index put the demuxer right there
      continue;
    }
    bytes += read.size;
    readAhead.push_back(std::move(packet));
    if (Av().av_compare_ts(decoded, timeBase, latest, microseconds) > 0) {
      // Past the target: no key frame after this one comes before it.
      return found ? Landing::kOnKeyFrame : Landing::kPastKeyFrame;
    }
  }
  return Landing::kUnknown;
}

int Pipeline::SeekToKeyFrameBefore(int64_t target, int64_t highest, int flags, std::vector<PacketPtr>& readAhead) {
  readAhead.clear();
  int result = SeekInputTo(INT64_MIN, target, highest, flags);
  const bool pictures = videoStream && !(videoStream->disposition & AV_DISPOSITION_ATTACHED_PIC);
  if (result < 0 || !pictures) return result;
  if (ReadToKeyFrameBefore(target, readAhead) != Landing::kPastKeyFrame) return 0;
  for (int64_t step = kFirstStepBackUs; !abort; step *= 2) {
    // The first pictures are decoded before the file's start time (that is
    // when the first of them is shown): the last step aims a while before it.
    const int64_t aim = target - step;
    const bool fromTheStart = aim <= startTimeUs - kFirstStepBackUs;
    readAhead.clear();
    if (SeekInputTo(INT64_MIN, aim, aim, 0) >= 0 && ReadToKeyFrameBefore(target, readAhead) != Landing::kPastKeyFrame) {
      return 0;
    }
    if (fromTheStart) break;
  }
  // Not even the file's start is a key frame before the target (its key
  // frames are not marked, or its timestamps jump): the first landing is the
  // best there is.
  readAhead.clear();
  if (abort) return 0;
  return SeekInputTo(INT64_MIN, target, highest, flags);
}

}  // namespace media::player
