#include "thumbnail_picture.h"

#include "media/jpeg_file.h"
#include "media/thumbnail.h"
#include "media/utils.h"

namespace kestrova::cli {

bool SaveThumbnail(media::TAVProbe& probe, int64_t target, const std::string& output, media::Bitmap& picture,
                   std::string& error) {
  media::Bitmap thumbnail;
  if (!media::DecodePictureAt(probe, target) || !probe.CopyPictureTo(picture)) {
    error = media::DurationText(target) + " 处没有画面：" + probe.LastErrorMessage();
    return false;
  }
  if (!media::FitThumbnail(picture, thumbnail, probe.PictureSampleAspect())) {
    error = "无法缩放画面";
    return false;
  }
  return media::WriteJpegFile(thumbnail, output, error);
}

}  // namespace kestrova::cli
