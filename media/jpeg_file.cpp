#include "media/jpeg_file.h"

#include <cstdio>  // before jpeglib.h, which needs FILE and size_t

#include <jpeglib.h>
#include <filesystem>

namespace media {

bool WriteJpegFile(const Bitmap& bitmap, const std::string& path, std::string& error, int quality) {
  error = path + ": cannot write file";
  if (bitmap.Empty()) return false;
  const std::string partial = path + ".part";
  FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct jpeg{};
  jpeg_error_mgr errors{};
  jpeg.err = jpeg_std_error(&errors);
  jpeg_create_compress(&jpeg);
  jpeg_stdio_dest(&jpeg, file);
  jpeg.image_width = JDIMENSION(bitmap.width);
  jpeg.image_height = JDIMENSION(bitmap.height);
  jpeg.input_components = 3;
  jpeg.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&jpeg);
  jpeg_set_quality(&jpeg, quality, TRUE);
  jpeg_start_compress(&jpeg, TRUE);
  while (jpeg.next_scanline < jpeg.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.Row(int(jpeg.next_scanline)));
    jpeg_write_scanlines(&jpeg, &row, 1);
  }
  jpeg_finish_compress(&jpeg);
  jpeg_destroy_compress(&jpeg);
  bool written = std::fflush(file) == 0 && !std::ferror(file);
  written = std::fclose(file) == 0 && written;
  std::error_code renameError;
  if (written) std::filesystem::rename(partial, path, renameError);
  if (!written || renameError) {
    std::filesystem::remove(partial, renameError);
    return false;
  }
  error.clear();
  return true;
}

}  // namespace media
