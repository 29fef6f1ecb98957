#include "media/utils.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "media/av_utils.h"
#include "media/entry_points.h"

namespace media {

std::string StringPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(length > 0 ? size_t(length) : 0, '\0');
  if (length > 0) vsnprintf(out.data(), out.size() + 1, format, args);
  va_end(args);
  return out;
}

std::string ErrorMessage(int error) {
  // The first block holds the old library's numbers; the second today's codes
  // for the same conditions, where their numbers changed.
  switch (error) {
    case -2: return "No such file or directory";
    case -5: return "I/O error";
    case -12: return "Not enough memory";
    case -22: return "Invalid data found when processing input";
    case -32: return "End of file";
    case -33: return "Number syntax expected in filename";
    case -40: return "Operation not supported";
    case -42: return "Unknown format";
    case -10043: return "Unsupported network protocol";
    case -1163346256: return "Not yet implemented in FFmpeg";
    default: break;
  }
  if (error == AVERROR_EOF) return "End of file";
  if (error == AVERROR_INVALIDDATA) return "Invalid data found when processing input";
  if (error == AVERROR(ENOSYS)) return "Operation not supported";
  if (error == AVERROR(EILSEQ) || error == AVERROR_DEMUXER_NOT_FOUND) return "Unknown format";
  if (error == AVERROR_PROTOCOL_NOT_FOUND) return "Unsupported network protocol";
  if (error == AVERROR_PATCHWELCOME) return "Not yet implemented in FFmpeg";
  return StringPrintf("Error number %d occurred", error);
}

std::string ErrorText(const std::string& fileName, int error) { return fileName + ": " + ErrorMessage(error); }

std::string DurationText(int64_t t) {
  if (t == kNoPts) return "N/A";
  int64_t seconds = t / 1000000;
  return StringPrintf("%.2lld:%.2lld:%.2lld.%.3lld", (long long)(seconds / 60 / 60), (long long)((seconds / 60) % 60),
                      (long long)(seconds % 60), (long long)((t % 1000000) * 1000 / 1000000));
}

int64_t FrameDuration(AVRational rate) {
  if (rate.num == 0 || rate.den == 0) return 40000;
  return int64_t(1000000) * rate.den / rate.num;
}

std::string MediaTypeName(int type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
  }
}

std::string MetadataValue(const AVDictionary* metadata, const std::string& key, const std::string& fallback) {
  if (!metadata) return fallback;
  // No flags: keys match whatever their case, so "COMMENT" of a Matroska file
  // answers for "comment" as well.
  const AVDictionaryEntry* tag = Av().av_dict_get(metadata, key.c_str(), nullptr, 0);
  return tag && tag->value ? tag->value : fallback;
}

namespace {
std::string Trim(std::string text) {
  auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}
}  // namespace

std::string CodecNameText(AVCodecID codecId, uint32_t tag, bool encoder) {
  const AVCodec* codec = encoder ? Av().avcodec_find_encoder(codecId) : Av().avcodec_find_decoder(codecId);
  if (codec) {
    std::string name = codec->name ? codec->name : "";
    std::string longName = Trim(codec->long_name ? codec->long_name : "");
    return longName.empty() ? name : name + "(" + longName + ")";
  }
  if (codecId == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  // Today's codec context keeps no codec name of its own to fall back on, so
  // the codec tag is the next clue.
  unsigned char c[4] = {uint8_t(tag), uint8_t(tag >> 8), uint8_t(tag >> 16), uint8_t(tag >> 24)};
  bool printable = true;
  for (unsigned char ch : c) printable = printable && ch >= 32 && ch <= 126;
  if (printable) return StringPrintf("%c%c%c%c / 0x%04X", c[0], c[1], c[2], c[3], tag);
  return StringPrintf("0x%04x", tag);
}

std::string CodecNameText(const AVCodecContext* context, bool encoder) {
  return CodecNameText(context->codec_id, context->codec_tag, encoder);
}

std::string SizeText(int64_t n) {
  if (n > 1073741824) return StringPrintf("%.2f GB", double(n) / 1073741824.0);
  if (n > 1048576) return StringPrintf("%.2f MB", double(n) / 1048576.0);
  if (n > 1024) return StringPrintf("%.2f KB", double(n) / 1024.0);
  return StringPrintf("%lld Byte", (long long)n);
}

int ReadWholeFile(const std::string& fileName, std::vector<char>& buffer, int& size) {
  buffer.clear();
  size = 0;
  FILE* file = fopen(fileName.c_str(), "rb");
  if (!file) return -1;
  long length = -1;
  if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
  if (length < 0 || fseek(file, 0, SEEK_SET) != 0) {
    fclose(file);
    return -1;
  }
  try {
    buffer.resize(size_t(length) + 1);
  } catch (const std::bad_alloc&) {
    fclose(file);
    return -12;
  }
  size_t got = fread(buffer.data(), 1, size_t(length), file);
  buffer.resize(got + 1);
  buffer[got] = '\0';
  size = int(got + 1);
  fclose(file);
  return 0;
}

}  // namespace media
