// Per-picture figures of the video encoders as the task shows them: the
// vstats file (one line per coded picture) and the q histogram of the
// progress line. The figures themselves are each stream's EncoderStats.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/transcoder.h"
#include "media/utils.h"

namespace media {

void TCustomFFmpeg::OpenVstatsFile() {
  if (settings_.vstatsFileName.empty() || vstatsFile_ != nullptr) return;
  vstatsFile_.reset(std::fopen(settings_.vstatsFileName.c_str(), "w"));
  if (vstatsFile_ == nullptr) Raise("Cannot open vstats file %s", settings_.vstatsFileName.c_str());
}

void TCustomFFmpeg::RecordEncodedPacket(OutputStream& ost, const AVPacket* pkt) {
  const char pictType = ost.stats.Take(pkt);
  if (ost.plan.kind != AVMEDIA_TYPE_VIDEO) return;
  ++ost.stats.codedPictures;
  if (vstatsFile_ == nullptr) return;
  const AVCodecContext* enc = ost.enc.get();
  const double frameSeconds = av_q2d(enc->time_base);
  const double time = pkt->pts != AV_NOPTS_VALUE ? pkt->pts * frameSeconds : 0.0;
  std::string line = FormatText("frame= %5d q= %2.1f ", static_cast<int>(ost.stats.codedPictures),
                                ost.stats.lastQuality / FF_QP2LAMBDA);
  if (settings_.doPsnr && ost.stats.hasErrors)
    line += FormatText("PSNR= %6.2f ", Psnr(ost.stats.lastError[0] / (enc->width * enc->height * 255.0 * 255.0)));
  const double frameKbits = pkt->size * 8 / frameSeconds / 1000.0;
  const double averageKbits = time > 0 ? videoSize_ * 8 / time / 1000.0 : 0.0;
  line += FormatText("f_size= %6d s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s type= %c\n",
                     pkt->size, videoSize_ / 1024.0, time, frameKbits, averageKbits, pictType);
  std::fputs(line.c_str(), vstatsFile_.get());
}

std::string QpHistogramText(const int histogram[52]) {
  // One hexadecimal digit per q value: the number of reports that saw it, on
  // a log2 scale so that a long run still fits one digit.
  std::string text;
  for (int i = 0; i < 52; ++i) {
    int digit = 0;
    for (int n = histogram[i]; n > 0 && digit < 15; n >>= 1) ++digit;
    text += "0123456789abcdef"[digit];
  }
  return text;
}

}  // namespace media
