#include "thumbnail_picture.h"

#include "media/jpeg_file.h"
#include "media/thumbnail.h"
#include "media/utils.h"

namespace kestrova::cli {

bool SaveThumbnail(media::TAVProbe& probe, int64_t target, const std::string& output, media::Bitmap& picture,
                   std::string& error) {
  media::Bitmap thumbnail;
  if (!media::DecodePictureAt(probe, target) || !probe.CopyPictureTo(picture)) {
    error = "no picture at " + media::DurationText(target) + ": " + probe.LastErrorMessage();
    return false;
  }
  if (!media::FitThumbnail(picture, thumbnail, probe.PictureSampleAspect())) {
    error = "cannot scale the picture";
    return false;
  }
  return media::WriteJpegFile(thumbnail, output, error);
}

}  // namespace kestrova::cli
