// Per-picture figures of the video encoders: the quality and error sums the
// encoder attaches to each packet, the vstats file (one line per coded
// picture), the PSNR figures and the q histogram of the progress line.
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

namespace {

// Peak signal-to-noise ratio of an 8-bit plane from its mean squared error
// relative to the peak (error sum / (pixels × 255²)).
double Psnr(double normalisedError) {
  if (normalisedError <= 0) return 99.99;  // a perfect copy: report a fixed ceiling, not infinity
  return -10.0 * std::log10(normalisedError);
}

uint64_t ReadLe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

}  // namespace

void TCustomFFmpeg::OpenVstatsFile() {
  if (settings_.vstatsFileName.empty() || vstatsFile_ != nullptr) return;
  vstatsFile_.reset(std::fopen(settings_.vstatsFileName.c_str(), "w"));
  if (vstatsFile_ == nullptr) Raise("Cannot open vstats file %s", settings_.vstatsFileName.c_str());
}

void TCustomFFmpeg::RecordEncodedPacket(OutputStream& ost, const AVPacket* pkt) {
  const uint8_t* stats = nullptr;
  size_t size = 0;
  for (int i = 0; i < pkt->side_data_elems; ++i) {
    if (pkt->side_data[i].type != AV_PKT_DATA_QUALITY_STATS) continue;
    stats = pkt->side_data[i].data;
    size = pkt->side_data[i].size;
  }
  char pictType = '?';
  if (stats != nullptr && size >= 4) {
    ost.lastQuality = static_cast<float>(static_cast<int32_t>(stats[0] | stats[1] << 8 | stats[2] << 16 |
                                                              static_cast<uint32_t>(stats[3]) << 24));
    if (size >= 5) pictType = AV(av_get_picture_type_char)(static_cast<AVPictureType>(stats[4]));
    const int errorCount = size >= 6 ? stats[5] : 0;
    for (int i = 0; i < 3; ++i) ost.lastError[i] = 0;
    for (int i = 0; i < errorCount && i < 3 && 8 + 8 * (i + 1) <= static_cast<int>(size); ++i) {
      ost.lastError[i] = ReadLe64(stats + 8 + 8 * i);
      ost.errorSum[i] += ost.lastError[i];
    }
    ost.hasErrors = errorCount > 0;
  }
  if (ost.plan.kind != AVMEDIA_TYPE_VIDEO) return;
  ++ost.codedPictures;
  if (vstatsFile_ == nullptr) return;
  const AVCodecContext* enc = ost.enc.get();
  const double frameSeconds = av_q2d(enc->time_base);
  const double time = pkt->pts != AV_NOPTS_VALUE ? pkt->pts * frameSeconds : 0.0;
  std::string line = FormatText("frame= %5d q= %2.1f ", static_cast<int>(ost.codedPictures),
                                ost.lastQuality / FF_QP2LAMBDA);
  if (settings_.doPsnr && ost.hasErrors)
    line += FormatText("PSNR= %6.2f ", Psnr(ost.lastError[0] / (enc->width * enc->height * 255.0 * 255.0)));
  const double frameKbits = pkt->size * 8 / frameSeconds / 1000.0;
  const double averageKbits = time > 0 ? videoSize_ * 8 / time / 1000.0 : 0.0;
  line += FormatText("f_size= %6d s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s type= %c\n",
                     pkt->size, videoSize_ / 1024.0, time, frameKbits, averageKbits, pictType);
  std::fputs(line.c_str(), vstatsFile_.get());
}

std::string TCustomFFmpeg::PsnrText(const OutputStream& ost, bool isLast) const {
  if (!settings_.doPsnr || !ost.hasErrors || ost.enc == nullptr) return {};
  const AVPixFmtDescriptor* d = AV(av_pix_fmt_desc_get)(ost.enc->pix_fmt);
  const int shiftW = d != nullptr ? d->log2_chroma_w : 1, shiftH = d != nullptr ? d->log2_chroma_h : 1;
  const double lumaPixels = static_cast<double>(ost.enc->width) * ost.enc->height;
  const double chromaPixels =
      static_cast<double>(-((-ost.enc->width) >> shiftW)) * static_cast<double>(-((-ost.enc->height) >> shiftH));
  // The last report gives the whole run's figures, the others the last picture's.
  const double pictures = isLast ? static_cast<double>(std::max<int64_t>(ost.codedPictures, 1)) : 1.0;
  const double planePixels[3] = {lumaPixels, chromaPixels, chromaPixels};
  static const char* const names[3] = {"Y", "U", "V"};
  std::string text = "PSNR=";
  double errorAll = 0, pixelsAll = 0;
  for (int i = 0; i < 3; ++i) {
    const double error = static_cast<double>(isLast ? ost.errorSum[i] : ost.lastError[i]);
    const double pixels = planePixels[i] * pictures;
    text += FormatText("%s:%2.2f ", names[i], Psnr(error / (pixels * 255.0 * 255.0)));
    errorAll += error;
    pixelsAll += pixels;
  }
  text += FormatText("*:%2.2f ", Psnr(errorAll / (pixelsAll * 255.0 * 255.0)));
  return text;
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
