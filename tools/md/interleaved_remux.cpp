#include "interleaved_remux.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "movie_timing.h"
#include "mp4_boxes.h"
#include "portion_queue.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace md {

namespace {

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof text);
  return text;
}

// The libraries' own error lines are kept rather than printed, so md's
// message is one clear line; the last one is added to it as the detail.
std::mutex gLibraryMessageLock;
std::string gLibraryMessage;

void KeepLibraryMessage(void* context, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[1024];
  int prefix = 0;  // no "[demuxer @ address]" in front
  av_log_format_line(context, level, format, args, line, sizeof line, &prefix);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::lock_guard<std::mutex> lock(gLibraryMessageLock);
  gLibraryMessage = text;
}

std::string WithLibraryDetail(const std::string& message, int code) {
  std::string detail = AvErrorText(code);
  std::lock_guard<std::mutex> lock(gLibraryMessageLock);
  if (!gLibraryMessage.empty()) detail += " (" + gLibraryMessage + ")";
  gLibraryMessage.clear();
  return message + ": " + detail;
}

struct InputCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputCloser {
  void operator()(AVFormatContext* c) const {
    if (!c) return;
    if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};
struct DictionaryFree {
  void operator()(AVDictionary* d) const { av_dict_free(&d); }
};

bool IsMp4Family(const AVInputFormat* format) {
  // The one demuxer that reads MP4 also reads QuickTime and 3GP; all of them
  // keep the same index and can be rewritten the same way.
  return format && std::string(format->name).find("mp4") != std::string::npos;
}

// Room for the new index: the old index plus, for every cut the new layout may
// make in a stream, a chunk offset (8 bytes) and a sample-to-chunk entry (12),
// and some slack for the header boxes. A chunk also ends where the muxer caps
// its size, so every megabyte of a stream may add one more.
int64_t EstimateIndexRoom(const std::string& input, const AVFormatContext* in, int64_t portionLength) {
  int64_t oldIndex = 0;
  for (const Mp4Box& box : ReadTopLevelBoxes(input))
    if (box.type == "moov") oldIndex = static_cast<int64_t>(box.size);
  if (oldIndex == 0) return 0;
  int64_t chunks = 0;
  const int64_t duration = std::max<int64_t>(in->duration, 0);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    const AVStream* st = in->streams[i];
    int64_t byDuration = 2 * duration / std::max<int64_t>(portionLength, 1) + 2;
    int64_t samples = st->nb_frames > 0 ? st->nb_frames : byDuration;
    int64_t bytes = st->codecpar->bit_rate > 0 ? st->codecpar->bit_rate / 8 * (duration / AV_TIME_BASE + 1) : 0;
    chunks += std::min(samples, byDuration) + bytes / (1 << 20) + 1;
  }
  return oldIndex + oldIndex / 10 + 20 * chunks + 1024;
}

void CopyStreamSetUp(const AVStream* from, AVStream* to, const AVOutputFormat* format) {
  if (avcodec_parameters_copy(to->codecpar, from->codecpar) < 0) throw RemuxError("out of memory");
  // Keep the input's codec tag when the MP4 muxer knows it for this codec;
  // otherwise let the muxer pick its own.
  const uint32_t tag = from->codecpar->codec_tag;
  unsigned int known = 0;
  if (format->codec_tag && av_codec_get_id(format->codec_tag, tag) != from->codecpar->codec_id &&
      av_codec_get_tag2(format->codec_tag, from->codecpar->codec_id, &known))
    to->codecpar->codec_tag = 0;
  to->time_base = from->time_base;
  to->avg_frame_rate = from->avg_frame_rate;
  to->r_frame_rate = from->r_frame_rate;
  to->sample_aspect_ratio = from->sample_aspect_ratio;
  to->disposition = from->disposition;
  av_dict_copy(&to->metadata, from->metadata, 0);
  for (int i = 0; i < from->nb_side_data; ++i) {
    const AVPacketSideData& sd = from->side_data[i];
    uint8_t* data = av_stream_new_side_data(to, sd.type, sd.size);
    if (!data) throw RemuxError("out of memory");
    std::copy(sd.data, sd.data + sd.size, data);
  }
}

}  // namespace

void RemuxInterleaved(const std::string& input, const std::string& output, const RemuxSettings& settings) {
  av_log_set_callback(KeepLibraryMessage);

  // The samples are copied with their stored times, and the input's edit
  // lists put back into the new index afterwards (movie_timing.h), when every
  // track of the index is a stream here.
  std::optional<MovieTiming> timing = ReadMovieTiming(input);
  std::unique_ptr<AVFormatContext, InputCloser> in;
  for (bool storedTimes : {true, false}) {
    if (storedTimes && !timing) continue;
    AVFormatContext* rawIn = nullptr;
    AVDictionary* rawOpenOptions = nullptr;
    if (storedTimes) av_dict_set(&rawOpenOptions, "ignore_editlist", "1", 0);
    int opened = avformat_open_input(&rawIn, input.c_str(), nullptr, &rawOpenOptions);
    av_dict_free(&rawOpenOptions);
    if (opened < 0) throw RemuxError(WithLibraryDetail("cannot read " + input, opened));
    in.reset(rawIn);
    if (!IsMp4Family(in->iformat))
      throw RemuxError(input + " is not an MP4 file (it reads as " + std::string(in->iformat->name) + ")");
    if (!storedTimes || timing->tracks.size() == in->nb_streams) break;
    timing.reset();
  }
  if (in->nb_streams == 0) throw RemuxError(input + " holds no streams");
  // Where each track's stored times lie on the movie's timeline, so that the
  // portions hold what plays together.
  std::vector<int64_t> timelineShift(in->nb_streams, 0);
  for (unsigned i = 0; timing && i < in->nb_streams; ++i) {
    const TrackTiming& t = timing->tracks[i];
    timelineShift[i] = av_rescale(t.emptyBefore, AV_TIME_BASE, timing->timescale) -
                       av_rescale_q(t.mediaStart, in->streams[i]->time_base, AV_TIME_BASE_Q);
  }
  int ret = 0;

  AVFormatContext* rawOut = nullptr;
  ret = avformat_alloc_output_context2(&rawOut, nullptr, "mp4", output.c_str());
  if (ret < 0) throw RemuxError(WithLibraryDetail("cannot prepare " + output, ret));
  std::unique_ptr<AVFormatContext, OutputCloser> out(rawOut);
  av_dict_copy(&out->metadata, in->metadata, 0);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    AVStream* st = avformat_new_stream(out.get(), nullptr);
    if (!st) throw RemuxError("out of memory");
    CopyStreamSetUp(in->streams[i], st, out->oformat);
  }

  ret = avio_open(&out->pb, output.c_str(), AVIO_FLAG_WRITE);
  if (ret < 0) throw RemuxError(WithLibraryDetail("cannot write " + output, ret));
  AVDictionary* rawOptions = nullptr;
  const int64_t room = settings.reserveIndexRoom ? EstimateIndexRoom(input, in.get(), settings.portionLength) : 0;
  if (room > 0)
    av_dict_set_int(&rawOptions, "moov_size", room, 0);
  else
    av_dict_set(&rawOptions, "movflags", "+faststart", 0);
  if (timing) av_dict_set(&rawOptions, "use_editlist", "0", 0);
  ret = avformat_write_header(out.get(), &rawOptions);
  std::unique_ptr<AVDictionary, DictionaryFree> options(rawOptions);
  if (ret < 0) throw RemuxError(WithLibraryDetail("cannot write " + output, ret));

  PortionQueue portions(static_cast<int>(in->nb_streams), settings.portionLength);
  // Each stream's media time, kept from running backwards so the portions
  // see every stream in order even where the file's stamps stumble.
  std::vector<int64_t> lastStart(in->nb_streams, INT64_MIN), lastEnd(in->nb_streams, INT64_MIN);
  std::vector<int64_t> packetsRead(in->nb_streams, 0);
  std::vector<PacketPtr> ready;
  auto writeReady = [&] {
    while (portions.PopPortion(ready)) {
      for (PacketPtr& packet : ready) {
        const int s = packet->stream_index;
        av_packet_rescale_ts(packet.get(), in->streams[s]->time_base, out->streams[s]->time_base);
        packet->pos = -1;
        int r = av_write_frame(out.get(), packet.get());
        if (r < 0) throw RemuxError(WithLibraryDetail("cannot write " + output, r));
      }
      ready.clear();
    }
  };

  while (true) {
    PacketPtr packet(av_packet_alloc());
    if (!packet) throw RemuxError("out of memory");
    ret = av_read_frame(in.get(), packet.get());
    if (ret == AVERROR_EOF) break;
    if (ret < 0) throw RemuxError(WithLibraryDetail(input + " is damaged", ret));
    const int s = packet->stream_index;
    const AVRational tb = in->streams[s]->time_base;
    int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    int64_t start = stamp != AV_NOPTS_VALUE ? av_rescale_q(stamp, tb, AV_TIME_BASE_Q) + timelineShift[s] : lastEnd[s];
    if (start == INT64_MIN) start = 0;
    start = std::max(start, lastStart[s]);
    int64_t end = start + av_rescale_q(std::max<int64_t>(packet->duration, 0), tb, AV_TIME_BASE_Q);
    end = std::max(end, lastEnd[s]);
    lastStart[s] = start;
    lastEnd[s] = end;
    ++packetsRead[s];
    portions.Push(s, std::move(packet), start, end);
    writeReady();
  }
  portions.Finish();
  writeReady();

  // A sample the index lists but the file no longer holds means the data was
  // cut short: rewriting would quietly drop it.
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    const int64_t listed = in->streams[i]->nb_frames;
    if (listed > 0 && packetsRead[i] < listed)
      throw RemuxError(input + " is damaged: stream " + std::to_string(i) + " lists " + std::to_string(listed) +
                       " samples, " + std::to_string(packetsRead[i]) + " could be read");
  }

  ret = av_write_trailer(out.get());
  if (ret < 0) {
    std::string message = WithLibraryDetail("cannot finish " + output, ret);
    if (room > 0) throw ReservedIndexTooSmall(message);
    throw RemuxError(message);
  }
  ret = avio_closep(&out->pb);
  if (ret < 0) throw RemuxError(WithLibraryDetail("cannot write " + output, ret));
  if (timing) ApplyMovieTiming(output, *timing);
}

}  // namespace md
