#include "media/engine/output_staging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "media/engine/engine_av.h"
#include "media/engine/options_error.h"
#include "media/unicode_io.h"
#include "media/utils.h"

namespace media {

namespace fs = std::filesystem;

namespace {

// Room left in a file name (255 bytes) for ".", ".XXXXXX.part" and then some.
constexpr size_t kLongestKeptName = 200;
constexpr int kNameAttempts = 100;

// The format library reads "name:rest" as a protocol when no "/" comes
// before the colon; "file:" is its plain file.
bool NamesAnotherProtocol(const std::string& name) {
  const size_t colon = name.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  return name.find('/') > colon && name.compare(0, colon, "file") != 0;
}

// Cut to at most `limit` bytes without splitting a UTF-8 character.
std::string ShortenedName(const std::string& name, size_t limit) {
  if (name.size() <= limit) return name;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

std::string RandomTag() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;  // the kernel's random numbers: not guessable
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  std::string tag(6, ' ');
  for (char& c : tag) c = kLetters[pick(source)];
  return tag;
}

// The system's words for a system error, the engine's for the library's own.
std::string Reason(int error) {
  return error < 0 && error > -4096 ? std::strerror(AVUNERROR(error)) : ErrorMessage(error);
}

// Makes the new name of a file last across a crash as well.
void SyncFolderOf(const std::string& path) {
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string StagedOutputTarget(const std::string& fileName) {
  if (NamesAnotherProtocol(fileName)) return {};
  std::string path = fileName.rfind("file:", 0) == 0 ? fileName.substr(5) : fileName;
  if (path.empty()) return {};
  std::error_code ec;
  // A link is followed: the file it leads to is replaced and the link stays.
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    const fs::path target = fs::canonical(path, ec);
    if (!ec) path = target.string();
  }
  const fs::file_status status = fs::status(path, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) return {};
  return path;
}

std::string StagingNameFor(const std::string& finalPath) {
  const fs::path path(finalPath);
  const std::string name = "." + ShortenedName(path.filename().string(), kLongestKeptName) + "." + RandomTag() + ".part";
  return (path.parent_path() / name).string();
}

int OpenOutputIo(AVFormatContext* oc, const std::string& fileName, StagedOutput& staged) {
  staged = StagedOutput{fileName, StagedOutputTarget(fileName), {}};
  if (staged.finalPath.empty()) return AV(avio_open)(&oc->pb, fileName.c_str(), AVIO_FLAG_WRITE);
  std::string stagingPath;
  int fd = -1;
  for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
    stagingPath = StagingNameFor(staged.finalPath);
    fd = ::open(stagingPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return AVERROR(errno);
  }
  if (fd < 0) return AVERROR(EEXIST);
  // A file that is replaced leaves its permissions to its successor.
  struct stat before {};
  if (::stat(staged.finalPath.c_str(), &before) == 0) ::fchmod(fd, before.st_mode & 07777);
  int err = WrapFileIo(fd, AVIO_FLAG_WRITE, &oc->pb);
  // A muxer that reads its output back (a second pass) opens it by this name.
  char* url = err < 0 ? nullptr : AV(av_strdup)(stagingPath.c_str());
  if (err >= 0 && url == nullptr) {
    CloseUnicodeIo(&oc->pb);
    err = AVERROR(ENOMEM);
  }
  if (err < 0) {
    ::unlink(stagingPath.c_str());
    return err;
  }
  AV(av_free)(oc->url);
  oc->url = url;
  staged.stagingPath = stagingPath;
  return 0;
}

std::string OpenFailureText(const std::string& fileName, int error) {
  return FormatText("Could not open '%s': %s", fileName.c_str(), Reason(error).c_str());
}

std::string IncompleteOutputText(const std::string& fileName, int error) {
  return FormatText("Could not finish output file '%s': %s", fileName.c_str(), Reason(error).c_str());
}

std::string CommitOutputIo(AVIOContext* io, StagedOutput& staged) {
  if (staged.stagingPath.empty()) return {};
  AV(avio_flush)(io);
  if (io->error < 0) return IncompleteOutputText(staged.name, io->error);
  // On disk before it takes the name: after a crash the name holds either
  // the old file or the whole new one.
  const int fd = UnicodeIoFile(io);
  if (fd >= 0 && ::fsync(fd) != 0)
    return FormatText("Could not finish output file '%s': %s", staged.name.c_str(), std::strerror(errno));
  if (::rename(staged.stagingPath.c_str(), staged.finalPath.c_str()) != 0)
    return FormatText("Could not give output file '%s' its name: %s", staged.name.c_str(), std::strerror(errno));
  staged.stagingPath.clear();
  SyncFolderOf(staged.finalPath);
  return {};
}

void CloseOutputIo(AVIOContext** io, StagedOutput& staged) {
  if (IsUnicodeIo(*io))
    CloseUnicodeIo(io);
  else if (*io != nullptr)
    AV(avio_closep)(io);
  if (!staged.stagingPath.empty()) {
    ::unlink(staged.stagingPath.c_str());
    staged.stagingPath.clear();
  }
}

}  // namespace media
