// The packet loop of one task: pick the input whose output lags most, read a
// packet, correct its timestamps, decode it and hand the frames to the
// writers; at the end drain the encoders and write the trailers.
#include <chrono>
#include <cstring>
#include <cmath>
#include <thread>

#include "media/av_owners.h"
#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/transcoder.h"
#include "media/utils.h"

namespace media {

namespace {

int64_t Now() { return AV(av_gettime_relative)(); }

double OutputSeconds(const OutputStream& ost) {
  if (ost.enc != nullptr) return static_cast<double>(ost.syncOpts) * av_q2d(ost.enc->time_base);
  if (ost.lastMuxDts == kNoTime) return 0;
  return static_cast<double>(ost.lastMuxDts) * av_q2d(ost.st->time_base);
}

}  // namespace

void TCustomFFmpeg::Transcode() {
  BuildStreamTables();
  PrepareEncoders();
  if (encPacket_ == nullptr) encPacket_ = NewPacket();
  if (decoded_ == nullptr) decoded_ = NewFrame();
  if (encPacket_ == nullptr || decoded_ == nullptr) Raise("Cannot allocate %d bytes output buffer", 262144);
  OpenCodecs();
  OpenVstatsFile();
  WriteHeaders();
  LogMapping();
  timerStart_ = Now();
  lastReport_ = timerStart_;
  for (InputFile& in : inputs_) in.again = false;

  PacketPtr packet = NewPacket();
  if (packet == nullptr) Raise("Out of memory");
  AVPacket* pkt = packet.get();

  while (!stopRequested_) {
    WaitWhilePaused();
    if (stopRequested_) break;
    if (settings_.limitFileSize > 0 && !outputs_.empty() && outputs_[0].ctx->pb != nullptr &&
        AV(avio_seek)(outputs_[0].ctx->pb, 0, SEEK_CUR) >= settings_.limitFileSize)
      break;
    const int file = ChooseNextInput();
    if (file == -2) break;  // a frame limit was reached
    if (file < 0) {
      bool anyAgain = false;
      for (InputFile& in : inputs_) anyAgain |= in.again;
      if (joined_ || !anyAgain) break;
      for (InputFile& in : inputs_) in.again = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (!ReadAndProcess(file, pkt)) break;
    if (Now() - lastReport_ > progressInterval_) Report(false, file);
  }

  // Whatever the decoders still hold goes out, also after a stop request, so
  // the output ends cleanly.
  for (size_t i = 0; i < inputStreams_.size(); ++i) {
    InputStream& ist = inputStreams_[i];
    if (ist.decoding && !ist.flushed && ist.dec != nullptr && ist.opened) {
      DecodeAndDispatch(ist, static_cast<int>(i), nullptr);
      ist.flushed = true;
    }
  }
  FlushEncoders();
  for (OutputFile& of : outputs_) {
    if (of.headerWritten && !of.trailerWritten) {
      const int written = AV(av_write_trailer)(of.ctx.get());
      of.trailerWritten = true;
      if (written < 0) throw FFmpegException(IncompleteOutputText(of.fileName, written));
    }
  }
  // An output nothing reached (a damaged input gave no picture and no sound)
  // is a failure, not a result: it never takes its real name.
  for (size_t f = 0; f < outputs_.size() && !stopRequested_; ++f) {
    int64_t frames = 0;
    for (const OutputStream& ost : outputStreams_)
      if (ost.file == static_cast<int>(f)) frames += ost.frameNumber;
    if (frames == 0)
      throw FFmpegException(FormatText("Output file #%d is empty, nothing was encoded", static_cast<int>(f)));
  }
  // Every output is complete: they take their real names (output_staging.h).
  for (OutputFile& of : outputs_) {
    const std::string refused = CommitOutputIo(of.ctx->pb, of.staged);
    if (!refused.empty()) throw FFmpegException(refused);
  }
  Report(true, -1);
  finished_ = !stopRequested_;
}

int TCustomFFmpeg::ChooseNextInput() {
  TaskSettings& s = settings_;
  if (joined_) {
    for (const OutputStream& ost : outputStreams_) {
      const int limit = ost.plan.kind == AVMEDIA_TYPE_VIDEO   ? s.maxVideoFrames
                        : ost.plan.kind == AVMEDIA_TYPE_AUDIO ? s.maxAudioFrames
                                                              : s.maxDataFrames;
      if (ost.frameNumber >= limit) return -2;
    }
    const InputStream* any = nullptr;
    for (const OutputStream& ost : outputStreams_)
      if (!inputStreams_[ost.source].pastRecording) any = &inputStreams_[ost.source];
    if (any == nullptr) return -1;
    return inputs_[joinSegment_].eof ? -1 : joinSegment_;
  }
  double minOpts = 1e100;
  int64_t minIpts = INT64_MAX;
  int chosen = -1;
  for (const OutputStream& ost : outputStreams_) {
    const InputStream& ist = inputStreams_[ost.source];
    const InputFile& in = inputs_[ist.file];
    if (ist.pastRecording || in.again) continue;
    const double opts = OutputSeconds(ost);
    if (!in.eof) {
      if (ist.pts < minIpts) {
        minIpts = ist.pts;
        if (s.inputSync) chosen = ist.file;
      }
      if (opts < minOpts) {
        minOpts = opts;
        if (!s.inputSync) chosen = ist.file;
      }
    }
    const int limit = ost.plan.kind == AVMEDIA_TYPE_VIDEO   ? s.maxVideoFrames
                      : ost.plan.kind == AVMEDIA_TYPE_AUDIO ? s.maxAudioFrames
                                                            : s.maxDataFrames;
    if (ost.frameNumber >= limit) return -2;
  }
  return chosen;
}

void TCustomFFmpeg::EndJoinSegment(int f) {
  // The decoders of this input give up what they hold...
  for (size_t i = 0; i < inputStreams_.size(); ++i) {
    InputStream& ist = inputStreams_[i];
    if (ist.file != f || !ist.decoding || ist.flushed || ist.dec == nullptr) continue;
    DecodeAndDispatch(ist, static_cast<int>(i), nullptr);
    ist.flushed = true;
  }
  if (f + 1 >= InputCount()) return;
  // ...and the next input continues where this one ended.
  double endTime = 0;
  for (const OutputStream& ost : outputStreams_) endTime = std::max(endTime, OutputSeconds(ost));
  inputs_[f + 1].tsOffset += std::llround(endTime * AV_TIME_BASE);
  joinSegment_ = f + 1;
  for (OutputStream& ost : outputStreams_) {
    if (ost.sourceBySegment.size() > static_cast<size_t>(joinSegment_)) ost.source = ost.sourceBySegment[joinSegment_];
    ost.audio.start = true;
  }
}

bool TCustomFFmpeg::ReadAndProcess(int f, AVPacket* pkt) {
  TaskSettings& s = settings_;
  InputFile& in = inputs_[f];
  const int err = AV(av_read_frame)(in.ctx.get(), pkt);
  if (err == AVERROR(EAGAIN)) {
    in.again = true;
    return true;
  }
  if (err < 0) {
    in.eof = true;
    if (s.shortest && !joined_) return false;
    if (joined_) {
      EndJoinSegment(f);
      return f + 1 < InputCount();
    }
    return true;
  }
  for (InputFile& other : inputs_) other.again = false;
  struct Unref {
    AVPacket* p;
    ~Unref() { AV(av_packet_unref)(p); }
  } unref{pkt};
  // Only the streams the table was built from count: later ones belong to no
  // output, and their index would reach into the next input's streams.
  if (pkt->stream_index < 0 || pkt->stream_index >= in.streamCount) {
    if (!in.lateStreamSaid && s.verbosity >= 0)
      EngineLog(LogWarning, FormatText("Input #%d: ignoring packets of stream %d, which appeared after opening", f,
                                       pkt->stream_index));
    in.lateStreamSaid = true;
    return true;
  }
  if (s.doPktDump) AV(av_pkt_dump_log2)(nullptr, AV_LOG_INFO, pkt, s.doHexDump, in.ctx->streams[pkt->stream_index]);
  const int istIndex = in.firstStream + pkt->stream_index;
  InputStream& ist = inputStreams_[istIndex];
  if (ist.st->discard == AVDISCARD_ALL || !ist.used) return true;

  const AVRational tb = ist.st->time_base;
  const int64_t offset = AV(av_rescale_q)(in.tsOffset, AV_TIME_BASE_Q, tb);
  if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
  if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
  const double scale = pkt->stream_index < kMaxStreams ? in.tsScale[pkt->stream_index] : 0;
  if (scale != 0) {
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llround(pkt->pts * scale);
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llround(pkt->dts * scale);
  }
  if ((in.ctx->iformat->flags & AVFMT_TS_DISCONT) && pkt->dts != AV_NOPTS_VALUE && ist.nextPts != kNoTime &&
      !s.copyTimestamps) {
    const int64_t dtsUs = AV(av_rescale_q)(pkt->dts, tb, AV_TIME_BASE_Q);
    const int64_t delta = dtsUs - ist.nextPts;
    if (std::llabs(delta) > static_cast<int64_t>(s.dtsDeltaThreshold * AV_TIME_BASE) || dtsUs + 1 < ist.pts) {
      in.tsOffset -= delta;
      const int64_t d = AV(av_rescale_q)(delta, AV_TIME_BASE_Q, tb);
      pkt->dts -= d;
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= d;
      if (s.verbosity >= 3)
        EngineLog(LogVerbose, FormatText("timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(delta),
                                         static_cast<long long>(in.tsOffset)));
    }
  }
  if (s.recordingTime != INT64_MAX && pkt->dts != AV_NOPTS_VALUE &&
      AV(av_compare_ts)(pkt->dts, tb, s.startTime + s.recordingTime, AV_TIME_BASE_Q) >= 0) {
    ist.pastRecording = true;
    return true;
  }
  if (DecodeAndDispatch(ist, istIndex, pkt) < 0) {
    const char* type = AV(av_get_media_type_string)(ist.st->codecpar->codec_type);
    std::string text = FormatText("Error while decoding stream #%d.%d (%s)", ist.file, ist.st->index, type ? type : "");
    if (s.exitOnError) throw FFmpegException(text);
    if (s.verbosity >= 0) EngineLog(LogVerbose, text);
  }
  return true;
}

// A decoded picture or sound belongs to the output when its presentation time
// lies in the asked range. Reading stops on decoding times, which run ahead
// of presentation times with B-frames, so the end is judged here again; and
// a seek lands on the key frame before the cut, whose pictures and sound
// come before the output's start.
bool TCustomFFmpeg::InsideRange(const InputStream& ist) const {
  const TaskSettings& s = settings_;
  if (s.startTime != 0 && ist.pts < s.startTime) return false;
  if (inputs_[ist.file].seekStart > 0 && ist.pts < 0) return false;
  return s.recordingTime == INT64_MAX || ist.pts < s.startTime + s.recordingTime;
}

int TCustomFFmpeg::DecodeAndDispatch(InputStream& ist, int istIndex, const AVPacket* pkt) {
  TaskSettings& s = settings_;
  const AVRational tb = ist.st->time_base;
  if (ist.nextPts == kNoTime) {
    ist.nextPts = pkt != nullptr && pkt->dts != AV_NOPTS_VALUE ? AV(av_rescale_q)(pkt->dts, tb, AV_TIME_BASE_Q) : 0;
    ist.pts = ist.nextPts;
    ist.wallStart = Now();
  }
  if (!ist.decoding) {
    if (pkt == nullptr) return 0;
    if (pkt->dts != AV_NOPTS_VALUE) ist.pts = AV(av_rescale_q)(pkt->dts, tb, AV_TIME_BASE_Q);
    if (pkt->duration > 0) ist.nextPts = ist.pts + AV(av_rescale_q)(pkt->duration, tb, AV_TIME_BASE_Q);
    if (s.startTime == 0 || ist.pts >= s.startTime)
      for (OutputStream& ost : outputStreams_)
        if (ost.source == istIndex && ost.plan.copy) CopyPacket(ost, ist, pkt);
    return 0;
  }
  if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
    if (pkt == nullptr) return 0;
    AVSubtitle sub{};
    int got = 0;
    if (AV(avcodec_decode_subtitle2)(ist.dec.get(), &sub, &got, const_cast<AVPacket*>(pkt)) < 0) return -1;
    if (pkt->pts != AV_NOPTS_VALUE) ist.pts = AV(av_rescale_q)(pkt->pts, tb, AV_TIME_BASE_Q);
    if (got) {
      if (s.startTime == 0 || ist.pts >= s.startTime)
        for (OutputStream& ost : outputStreams_)
          if (ost.source == istIndex && !ost.plan.copy) WriteSubtitle(ost, ist, &sub, pkt);
      AV(avsubtitle_free)(&sub);
    }
    return 0;
  }
  if (AV(avcodec_send_packet)(ist.dec.get(), pkt) < 0 && pkt != nullptr) return -1;
  int frames = 0;
  while (true) {
    int err = AV(avcodec_receive_frame)(ist.dec.get(), decoded_.get());
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) break;
    if (err < 0) return -1;
    ++frames;
    if (frames == 2 && pkt != nullptr && ist.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        ((s.verbosity > 0 && !ist.multiFrameWarned) || s.verbosity > 1)) {
      EngineLog(LogError, FormatText("Multiple frames in a packet from stream %d", ist.st->index));
      ist.multiFrameWarned = true;
    }
    AVFrame* frame = decoded_.get();
    const int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      ist.pts = ts != AV_NOPTS_VALUE ? AV(av_rescale_q)(ts, tb, AV_TIME_BASE_Q) : ist.nextPts;
      if (frame->sample_rate > 0) ist.nextPts = ist.pts + static_cast<int64_t>(frame->nb_samples) * AV_TIME_BASE / frame->sample_rate;
      if (s.audioVolume != 256) ApplyVolume(frame);
    } else {
      ist.pts = ts != AV_NOPTS_VALUE ? AV(av_rescale_q)(ts, tb, AV_TIME_BASE_Q) : ist.nextPts;
      AVRational rate = ist.st->avg_frame_rate.num ? ist.st->avg_frame_rate : ist.st->r_frame_rate;
      ist.nextPts = ist.pts + FrameDuration(rate) * (frame->repeat_pict + 1);
      PreprocessVideo(ist, frame);
    }
    if (s.rateEmulation) {
      const int64_t ahead = ist.pts - (Now() - ist.wallStart);
      if (ahead > 1000) std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
    }
    if (InsideRange(ist)) {
      for (OutputStream& ost : outputStreams_) {
        if (ost.source != istIndex || ost.plan.copy || ost.enc == nullptr) continue;
        if (ost.plan.kind == AVMEDIA_TYPE_AUDIO)
          WriteAudio(ost, ist, frame);
        else if (ost.plan.kind == AVMEDIA_TYPE_VIDEO)
          WriteVideo(ost, ist, frame);
        if (stopRequested_) break;
      }
    }
    AV(av_frame_unref)(decoded_.get());
  }
  if (pkt == nullptr) {
    AV(avcodec_flush_buffers)(ist.dec.get());
    FinishHeldPictures(istIndex);
  }
  return 0;
}

void TCustomFFmpeg::WriteSubtitle(OutputStream& ost, InputStream& ist, AVSubtitle* sub, const AVPacket* pkt) {
  if (pkt->pts == AV_NOPTS_VALUE) Raise("Subtitle packets must have a pts");
  static constexpr int kSubtitleBuffer = 1024 * 1024;
  std::vector<uint8_t> buffer(kSubtitleBuffer);
  const int passes = ost.enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
  for (int i = 0; i < passes; ++i) {
    if (i == 1) sub->num_rects = 0;  // the second DVB packet clears the screen
    const int size = AV(avcodec_encode_subtitle)(ost.enc.get(), buffer.data(), kSubtitleBuffer, sub);
    if (size < 0) Raise("Subtitle encoding failed");
    PacketPtr owned = NewPacket();
    AVPacket* out = owned.get();
    if (out == nullptr || AV(av_new_packet)(out, size) < 0) Raise("Subtitle encoding failed");
    std::memcpy(out->data, buffer.data(), static_cast<size_t>(size));
    out->pts = AV(av_rescale_q)(ist.pts - settings_.startTime, AV_TIME_BASE_Q, ost.st->time_base);
    out->dts = out->pts;
    out->duration = AV(av_rescale_q)(sub->end_display_time - sub->start_display_time, AVRational{1, 1000}, ost.st->time_base);
    out->stream_index = ost.st->index;
    WritePacket(ost, out);
  }
}

void TCustomFFmpeg::CopyPacket(OutputStream& ost, InputStream& ist, const AVPacket* pkt) {
  // A copied stream starts at a key frame: the pictures before it can't be
  // decoded without the ones the start time cut away, unless asked for.
  if (ost.frameNumber == 0 && !(pkt->flags & AV_PKT_FLAG_KEY) && settings_.copyInitialNonKeyFrames == 0) return;
  AVPacket* out = encPacket_.get();
  if (AV(av_packet_ref)(out, pkt) < 0) return;
  const int64_t start = AV(av_rescale_q)(settings_.startTime, AV_TIME_BASE_Q, ost.st->time_base);
  AV(av_packet_rescale_ts)(out, ist.st->time_base, ost.st->time_base);
  if (out->pts != AV_NOPTS_VALUE) out->pts -= start;
  if (out->dts != AV_NOPTS_VALUE) out->dts -= start;
  out->stream_index = ost.st->index;
  if (out->dts != AV_NOPTS_VALUE) ost.lastMuxDts = out->dts;
  ++ost.frameNumber;
  WritePacket(ost, out);
  AV(av_packet_unref)(out);
}

void TCustomFFmpeg::DrainEncoder(OutputStream& ost, AVCodecContext* enc, bool sendFlush) {
  if (sendFlush) AV(avcodec_send_frame)(enc, nullptr);
  while (true) {
    AVPacket* packet = encPacket_.get();
    int err = AV(avcodec_receive_packet)(enc, packet);
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
    if (err < 0) Raise(ost.plan.kind == AVMEDIA_TYPE_AUDIO ? "Audio encoding failed" : "Video encoding failed");
    WriteEncodedPacket(ost, enc, packet);
    AV(av_packet_unref)(packet);
  }
}

void TCustomFFmpeg::WriteEncodedPacket(OutputStream& ost, AVCodecContext* enc, AVPacket* packet) {
  if (ost.plan.kind == AVMEDIA_TYPE_VIDEO) videoSize_ += packet->size;
  else if (ost.plan.kind == AVMEDIA_TYPE_AUDIO) audioSize_ += packet->size;
  RecordEncodedPacket(ost, packet);
  if (ost.passLog != nullptr && enc->stats_out != nullptr) std::fputs(enc->stats_out, ost.passLog.get());
  AV(av_packet_rescale_ts)(packet, enc->time_base, ost.st->time_base);
  packet->stream_index = ost.st->index;
  WritePacket(ost, packet);
}

void TCustomFFmpeg::FinishEncodeWorker(OutputStream& ost) {
  if (ost.encodeWorker == nullptr) return;
  const bool ok = ost.encodeWorker->Finish();
  std::vector<PacketPtr> packets = ost.encodeWorker->TakePackets();
  ost.encodeWorker.reset();
  for (PacketPtr& packet : packets) WriteEncodedPacket(ost, ost.enc.get(), packet.get());
  if (!ok) Raise("Video encoding failed");
}

void TCustomFFmpeg::FlushEncoders() {
  for (OutputStream& ost : outputStreams_) {
    if (ost.enc == nullptr || !ost.opened) continue;
    if (ost.plan.kind == AVMEDIA_TYPE_AUDIO && ost.audio.fifo != nullptr) EncodeAudioFromFifo(ost, true);
    if (ost.plan.kind == AVMEDIA_TYPE_SUBTITLE) continue;
    FinishEncodeWorker(ost);
    DrainEncoder(ost, ost.enc.get(), true);
  }
}

void TCustomFFmpeg::WritePacket(OutputStream& ost, AVPacket* pkt) {
  AVFormatContext* oc = outputs_[ost.file].ctx.get();
  if (!ost.bsfs.empty()) {
    // Each filter of the chain passes its packets on to the next.
    std::vector<PacketPtr> stage;
    stage.emplace_back(AV(av_packet_clone)(pkt));
    for (size_t i = 0; i < ost.bsfs.size(); ++i) {
      std::vector<PacketPtr> next;
      for (PacketPtr& p : stage) {
        // The filter takes the packet's data whatever it answers.
        int err = AV(av_bsf_send_packet)(ost.bsfs[i].get(), p.get());
        p.reset();
        if (err < 0) {
          std::string text = FormatText("%s failed for stream %d, codec %s", ost.bsfs[i]->filter->name, ost.st->index,
                                        ost.plan.copy ? "copy" : ost.plan.encoderName.c_str()) +
                             ErrorMessage(err);
          if (settings_.exitOnError) throw FFmpegException(text);
          EngineLog(LogError, text);
          continue;
        }
        while (true) {
          PacketPtr outPkt = NewPacket();
          if (outPkt == nullptr || AV(av_bsf_receive_packet)(ost.bsfs[i].get(), outPkt.get()) < 0) break;
          next.push_back(std::move(outPkt));
        }
      }
      stage.swap(next);
    }
    for (PacketPtr& p : stage) {
      int err = AV(av_interleaved_write_frame)(oc, p.get());
      if (err < 0) throw FFmpegException(::media::ErrorText("av_interleaved_write_frame()", err));
    }
    return;
  }
  int err = AV(av_interleaved_write_frame)(oc, pkt);
  if (err < 0) throw FFmpegException(::media::ErrorText("av_interleaved_write_frame()", err));
}

void TCustomFFmpeg::Report(bool isLast, int fileIndex) {
  const int64_t now = Now();
  lastReport_ = now;
  TaskSettings& s = settings_;
  if (outputs_.empty()) return;
  AVFormatContext* oc = outputs_[0].ctx.get();
  int64_t totalSize = 0;
  if (oc->pb != nullptr) {
    totalSize = AV(avio_size)(oc->pb);
    if (totalSize <= 0) totalSize = AV(avio_seek)(oc->pb, 0, SEEK_CUR);
    if (totalSize < 0) totalSize = 0;
  }
  double t = 1e10;
  for (const OutputStream& ost : outputStreams_) {
    double sec = OutputSeconds(ost);
    if (sec > 0 && sec < t) t = sec;
  }
  // Before any stream has a time the placeholder only keeps the bit rate
  // finite; the host is told no time has passed.
  const double reportedSeconds = t < 1e10 ? t : 0.0;
  if (t < 0.01) t = 0.01;
  const double bitrate = static_cast<double>(totalSize) * 8 / t / 1000.0;
  int frameNumber = 0, fps = 0;
  float q = -1;
  std::string extraFigures;
  for (const OutputStream& ost : outputStreams_) {
    if (ost.plan.kind != AVMEDIA_TYPE_VIDEO) continue;
    frameNumber = static_cast<int>(ost.frameNumber);
    const double elapsed = static_cast<double>(now - timerStart_) / 1e6;
    fps = elapsed > 1 ? static_cast<int>(frameNumber / elapsed + 0.5) : 0;
    q = ost.enc != nullptr ? ost.stats.lastQuality / FF_QP2LAMBDA : -1;
    if (s.qpHist && q >= 0 && q < 52) {
      ++qpHistogram_[static_cast<int>(q)];
      extraFigures += QpHistogramText(qpHistogram_) + " ";
    }
    if (s.doPsnr && ost.enc != nullptr) extraFigures += ost.stats.PsnrText(ost.enc.get(), isLast);
    break;
  }
  std::string line = FormatText("frame=%5d fps=%3d q=%3.1f %s%ssize=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s",
                                frameNumber, fps, q, extraFigures.c_str(), isLast ? "L" : "", totalSize / 1024.0, t,
                                bitrate);
  if (framesDuplicated_ || framesDropped_) line += FormatText(" dup=%d drop=%d", framesDuplicated_, framesDropped_);
  if (OnProgress) {
    TProgressInfo info;
    info.FileIndex = isLast ? -1 : fileIndex;
    info.FrameNumber = frameNumber;
    info.FPS = fps;
    info.Quality = q;
    info.BitRate = static_cast<float>(bitrate);
    info.CurrentSize = totalSize;
    info.CurrentDuration = static_cast<int64_t>(reportedSeconds * 1000000);
    info.TotalDuration = totalDuration_;
    OnProgress(*this, info);
    if (reportMark_) {
      EngineLog(LogVerbose, line);
      reportMark_ = false;
    }
  } else if (s.verbosity >= 0) {
    EngineLog(LogVerbose, line);
  }
  if (isLast) {
    const double payload = static_cast<double>(videoSize_ + audioSize_ + extraSize_);
    EngineLog(LogVerbose, FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%",
                                     videoSize_ / 1024.0, audioSize_ / 1024.0, extraSize_ / 1024.0,
                                     payload > 0 ? (totalSize - payload) * 100.0 / payload : 0.0));
  }
}

}  // namespace media
