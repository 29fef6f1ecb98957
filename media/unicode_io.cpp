#include "media/unicode_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "media/entry_points.h"

namespace media {
namespace {

constexpr char kPrefix[] = "unicode:utf8:";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr size_t kMaxName = 2047;
constexpr int kBufferSize = 32768;

// Protocol names passed through untouched. "file" and "https" join the old
// list because today's library names its plain file protocol "file".
constexpr char kPassThrough[] = ":unicode:stream:gopher:http:https:pipe:rtp:tcp:udp:file:";

// Marks our AVIO contexts so CloseInputFile knows what to free.
struct UnicodeFile {
  static constexpr unsigned kMagic = 0x6b55494fu;
  unsigned magic = kMagic;
  int fd = -1;
};

int ReadPacket(void* opaque, uint8_t* buffer, int size) {
  auto* file = static_cast<UnicodeFile*>(opaque);
  ssize_t n;
  do {
    n = ::read(file->fd, buffer, size_t(size));
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -1;
  if (n == 0) return AVERROR_EOF;  // today's AVIO wants the code, not 0
  return int(n);
}

int WritePacket(void* opaque, uint8_t* buffer, int size) {
  auto* file = static_cast<UnicodeFile*>(opaque);
  int done = 0;
  while (done < size) {
    ssize_t n = ::write(file->fd, buffer + done, size_t(size - done));
    if (n < 0 && errno == EINTR) continue;
    // The reason reaches the writer's error text ("No space left on device").
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR(EIO);
    done += int(n);
  }
  return done;
}

int64_t Seek(void* opaque, int64_t position, int whence) {
  auto* file = static_cast<UnicodeFile*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) {
    struct stat info {};
    return ::fstat(file->fd, &info) == 0 ? int64_t(info.st_size) : -1;
  }
  if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
  off_t result = ::lseek(file->fd, off_t(position), whence);
  return result < 0 ? -1 : int64_t(result);
}

// Would the format library read "name" as protocol + ":" + rest?
bool LooksLikeForeignProtocol(const std::string& name) {
  auto colon = name.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string head = name.substr(0, colon);
  if (head.find('/') != std::string::npos) return false;  // "dir/a:b.mp4" is a plain path
  return std::string(kPassThrough).find(":" + head + ":") == std::string::npos;
}

}  // namespace

std::string UnicodeFileName(const std::string& name) {
  if (name.size() > kMaxName) return {};
  if (!LooksLikeForeignProtocol(name)) return name;
  std::string wrapped = kPrefix + name;
  return wrapped.size() > kMaxName ? std::string() : wrapped;
}

bool IsUnicodeName(const std::string& storedName) {
  return storedName.size() >= kPrefixLength + 1 && storedName.compare(0, kPrefixLength, kPrefix) == 0;
}

std::string DecodeFileName(const std::string& storedName) {
  return IsUnicodeName(storedName) ? storedName.substr(kPrefixLength) : storedName;
}

void RegisterUnicodeProtocol() {}

int OpenUnicodeIo(const std::string& storedName, int flags, AVIOContext** io) {
  *io = nullptr;
  std::string path = DecodeFileName(storedName);
  int openFlags = O_RDONLY;
  if ((flags & AVIO_FLAG_READ_WRITE) == AVIO_FLAG_READ_WRITE) {
    openFlags = O_RDWR | O_CREAT | O_TRUNC;
  } else if (flags & AVIO_FLAG_WRITE) {
    openFlags = O_WRONLY | O_CREAT | O_TRUNC;
  }
  int fd = ::open(path.c_str(), openFlags | O_CLOEXEC, 0666);
  if (fd < 0) return AVERROR(ENOENT);
  return WrapFileIo(fd, flags, io);
}

int WrapFileIo(int fd, int flags, AVIOContext** io) {
  *io = nullptr;
  auto* buffer = static_cast<unsigned char*>(Av().av_malloc(kBufferSize));
  auto* file = new UnicodeFile;
  file->fd = fd;
  bool writing = (flags & AVIO_FLAG_WRITE) != 0;
  *io = buffer ? Av().avio_alloc_context(buffer, kBufferSize, writing ? 1 : 0, file, ReadPacket,
                                         writing ? WritePacket : nullptr, Seek)
               : nullptr;
  if (!*io) {
    Av().av_free(buffer);
    ::close(fd);
    delete file;
    return AVERROR(ENOMEM);
  }
  return 0;
}

bool IsUnicodeIo(const AVIOContext* io) {
  return io && io->read_packet == ReadPacket && io->opaque &&
         static_cast<const UnicodeFile*>(io->opaque)->magic == UnicodeFile::kMagic;
}

int UnicodeIoFile(const AVIOContext* io) { return IsUnicodeIo(io) ? static_cast<const UnicodeFile*>(io->opaque)->fd : -1; }

void CloseUnicodeIo(AVIOContext** io) {
  if (!io || !*io) return;
  if ((*io)->write_flag) Av().avio_flush(*io);
  auto* file = static_cast<UnicodeFile*>((*io)->opaque);
  if (file) {
    ::close(file->fd);
    delete file;
  }
  Av().av_freep(&(*io)->buffer);
  Av().avio_context_free(io);
}

int OpenInputFile(AVFormatContext** context, const std::string& libraryName, const AVInputFormat* format,
                  AVDictionary** options) {
  if (libraryName.empty()) {
    // A refused name (too long): the caller reports it like a missing file.
    if (*context) Av().avformat_free_context(*context), *context = nullptr;
    return AVERROR(ENOENT);
  }
  if (!IsUnicodeName(libraryName)) return Av().avformat_open_input(context, libraryName.c_str(), format, options);
  AVIOContext* io = nullptr;
  int result = OpenUnicodeIo(libraryName, AVIO_FLAG_READ, &io);
  if (result < 0) {
    if (*context) Av().avformat_free_context(*context), *context = nullptr;
    return result;
  }
  if (!*context) *context = Av().avformat_alloc_context();
  if (!*context) {
    CloseUnicodeIo(&io);
    return AVERROR(ENOMEM);
  }
  (*context)->pb = io;
  (*context)->flags |= AVFMT_FLAG_CUSTOM_IO;
  // On failure the library frees the context but leaves a custom AVIO to us.
  result = Av().avformat_open_input(context, libraryName.c_str(), format, options);
  if (result < 0) CloseUnicodeIo(&io);
  return result;
}

void CloseInputFile(AVFormatContext** context) {
  if (!context || !*context) return;
  AVIOContext* io = ((*context)->flags & AVFMT_FLAG_CUSTOM_IO) ? (*context)->pb : nullptr;
  Av().avformat_close_input(context);
  if (IsUnicodeIo(io)) CloseUnicodeIo(&io);
}

}  // namespace media
