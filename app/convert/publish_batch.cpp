#include "publish_batch.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

#include "clip_text.h"
#include "request_texts.h"

namespace kestrova::convert {

std::string PublishedName(const std::string& outputName) {
  const size_t dot = outputName.rfind('.');
  return (dot == std::string::npos ? outputName : outputName.substr(0, dot)) + ".html";
}

bool HasConvertedOutput(const std::filesystem::path& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  return !error && size > 0;
}

bool RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace flag: look first, then rename.
  std::error_code error;
  if (std::filesystem::exists(to, error)) return false;
  std::filesystem::rename(from, to, error);
  return !error;
}

int PublishBatch(const std::vector<BatchRowValues>& rows, const std::filesystem::path& dataPath,
                 const std::filesystem::path& postProcessor, const std::string& companyid, PublishHost& host) {
  int registered = 0;
  for (const BatchRowValues& row : rows) {
    const std::string published = PublishedName(row.outputName);
    const std::filesystem::path videoFolder = dataPath / "video";
    const std::filesystem::path publishedFile = videoFolder / published;
    const std::filesystem::path outputFile = videoFolder / row.outputName;
    if (!HasConvertedOutput(outputFile)) {
      host.reportSkipped(row, PublishHost::SkipReason::NotConverted);
      continue;
    }
    if (!host.renameFile(outputFile, publishedFile)) {
      host.reportSkipped(row, PublishHost::SkipReason::RenameFailed);
      continue;
    }
    host.startProgram(postProcessor, {"-inter", "500", publishedFile.string()});
    const std::string base = BaseName(row.caption);
    service::NewVideo video{.fileName = published,
                            .zhimo = base,
                            .title = base,
                            .duration = row.duration,
                            .framerate = row.framerate,
                            .companyid = companyid,
                            .fileSize = row.fileSize};
    host.sendRequest(service::SaveUploadFileRequest(video));
    ++registered;
  }
  return registered;
}

}  // namespace kestrova::convert
