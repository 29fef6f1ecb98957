#include "media/engine/encoder_stats.h"

#include <algorithm>
#include <cmath>

#include "media/engine/engine_av.h"
#include "media/engine/options_error.h"

namespace media {

namespace {

uint64_t ReadLe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

}  // namespace

double Psnr(double normalisedError) {
  if (normalisedError <= 0) return 99.99;  // a perfect copy: report a fixed ceiling, not infinity
  return -10.0 * std::log10(normalisedError);
}

char EncoderStats::Take(const AVPacket* pkt) {
  const uint8_t* stats = nullptr;
  size_t size = 0;
  for (int i = 0; i < pkt->side_data_elems; ++i) {
    if (pkt->side_data[i].type != AV_PKT_DATA_QUALITY_STATS) continue;
    stats = pkt->side_data[i].data;
    size = pkt->side_data[i].size;
  }
  char pictType = '?';
  if (stats != nullptr && size >= 4) {
    lastQuality = static_cast<float>(
        static_cast<int32_t>(stats[0] | stats[1] << 8 | stats[2] << 16 | static_cast<uint32_t>(stats[3]) << 24));
    if (size >= 5) pictType = AV(av_get_picture_type_char)(static_cast<AVPictureType>(stats[4]));
    const int errorCount = size >= 6 ? stats[5] : 0;
    for (int i = 0; i < 3; ++i) lastError[i] = 0;
    for (int i = 0; i < errorCount && i < 3 && 8 + 8 * (i + 1) <= static_cast<int>(size); ++i) {
      lastError[i] = ReadLe64(stats + 8 + 8 * i);
      errorSum[i] += lastError[i];
    }
    hasErrors = errorCount > 0;
  }
  return pictType;
}

std::string EncoderStats::PsnrText(const AVCodecContext* enc, bool isLast) const {
  if (!hasErrors) return {};
  const AVPixFmtDescriptor* d = AV(av_pix_fmt_desc_get)(enc->pix_fmt);
  const int shiftW = d != nullptr ? d->log2_chroma_w : 1, shiftH = d != nullptr ? d->log2_chroma_h : 1;
  const double lumaPixels = static_cast<double>(enc->width) * enc->height;
  const double chromaPixels =
      static_cast<double>(-((-enc->width) >> shiftW)) * static_cast<double>(-((-enc->height) >> shiftH));
  // The last report gives the whole run's figures, the others the last picture's.
  const double pictures = isLast ? static_cast<double>(std::max<int64_t>(codedPictures, 1)) : 1.0;
  const double planePixels[3] = {lumaPixels, chromaPixels, chromaPixels};
  static const char* const names[3] = {"Y", "U", "V"};
  std::string text = "PSNR=";
  double errorAll = 0, pixelsAll = 0;
  for (int i = 0; i < 3; ++i) {
    const double error = static_cast<double>(isLast ? errorSum[i] : lastError[i]);
    const double pixels = planePixels[i] * pictures;
    text += FormatText("%s:%2.2f ", names[i], Psnr(error / (pixels * 255.0 * 255.0)));
    errorAll += error;
    pixelsAll += pixels;
  }
  text += FormatText("*:%2.2f ", Psnr(errorAll / (pixelsAll * 255.0 * 255.0)));
  return text;
}

}  // namespace media
