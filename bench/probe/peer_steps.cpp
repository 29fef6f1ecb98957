// The peer of the probe's steps back: a small program on libavformat and
// libavcodec, linked directly, that shows an earlier picture the way a player
// without kept pictures must: seek back to the key frame at or before it and
// decode forward to it.
//   peer_steps FILE AT N   decode forward to picture AT (untimed), then N steps
//                          back, one picture each; prints the mean
//                          milliseconds per step and the time (seconds) of the
//                          picture it ends on
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

struct Decoder {
  AVFormatContext* input = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int stream = -1;

  ~Decoder() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&input);
  }
  bool Open(const char* file) {
    if (avformat_open_input(&input, file, nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(input, nullptr) < 0) return false;
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0) return false;
    codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, input->streams[stream]->codecpar);
    codec->thread_count = 1;  // as the probe decodes
    return avcodec_open2(codec, decoder, nullptr) >= 0;
  }
  // The next picture in display order; its time in frame->best_effort_timestamp.
  bool Next() {
    for (;;) {
      int got = avcodec_receive_frame(codec, frame);
      if (got == 0) return true;
      if (got != AVERROR(EAGAIN)) return false;
      int read = av_read_frame(input, packet);
      if (read < 0) {
        avcodec_send_packet(codec, nullptr);
        continue;
      }
      if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
      av_packet_unref(packet);
    }
  }
  bool SeekAndDecodeTo(int64_t pts) {
    if (av_seek_frame(input, stream, pts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(codec);
    while (Next())
      if (frame->best_effort_timestamp >= pts) return frame->best_effort_timestamp == pts;
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: peer_steps FILE AT N\n");
    return 2;
  }
  av_log_set_level(AV_LOG_QUIET);
  Decoder d;
  if (!d.Open(argv[1])) return 1;
  const int at = std::atoi(argv[2]), steps = std::atoi(argv[3]);
  std::vector<int64_t> times;  // display times of the pictures met on the way
  for (int i = 0; i <= at; ++i) {
    if (!d.Next()) return 1;
    times.push_back(d.frame->best_effort_timestamp);
  }
  auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= steps; ++i)
    if (!d.SeekAndDecodeTo(times[at - i])) return 1;
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f %.6f\n", ms / steps, d.frame->best_effort_timestamp * av_q2d(d.input->streams[d.stream]->time_base));
  return 0;
}
