#include "add_video.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "request_texts.h"
#include "video_files.h"

namespace kestrova::catalogue {

namespace fs = std::filesystem;

std::string PublishedName(const std::string& outputName) {
  const size_t dot = outputName.rfind('.');
  return (dot == std::string::npos ? outputName : outputName.substr(0, dot)) + ".html";
}

fs::path PostProcessorPath(const fs::path& executableFolder) { return executableFolder / "LibAV" / "md"; }

std::string PostProcessorParameters(const std::string& publishedPath) {
  return "  -inter 500  \"" + publishedPath + "\"";
}

std::vector<std::string> SplitParameters(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string RenameWithoutReplacing(const fs::path& from, const fs::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return "";
  if (errno != EINVAL && errno != ENOSYS) return std::strerror(errno);
  // A file system without the no-replace rename: a hard link fails just the
  // same when the name is taken.
  if (link(from.c_str(), to.c_str()) != 0) return std::strerror(errno);
  if (unlink(from.c_str()) != 0) {
    std::string reason = std::strerror(errno);
    unlink(to.c_str());
    return reason;
  }
  return "";
}

bool HasConvertedOutput(const fs::path& file) {
  std::error_code error;
  const auto size = fs::file_size(file, error);
  return !error && size > 0;
}

std::string RowFailureText(const RowFailure& f) {
  if (f.kind == RowFailure::Kind::NotConverted) return "视频文件“" + f.outputName + "”未转换（" + f.reason + "），未登记";
  return "视频文件“" + f.outputName + "”无法改名为“" + PublishedName(f.outputName) + "”（" + f.reason +
         "），未登记";
}

size_t PublishConvertedRows(const std::vector<ConvertedRow>& rows, const fs::path& dataPath,
                            const fs::path& postProcessor, const std::string& companyid,
                            const PublishSteps& steps) {
  size_t registered = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const ConvertedRow& row = rows[i];
    const std::string published = PublishedName(row.outputName);
    const fs::path folder = dataPath / "video";
    const fs::path output = folder / row.outputName;
    if (row.outputName.empty() || !HasConvertedOutput(output)) {
      const char* reason = row.outputName.empty() ? "没有输出文件" : "转换后的文件不存在或为空";
      // Its thumbnail belongs to no video: left behind, the next upload
      // would put it on the site.
      if (auto base = SafeBaseName(row.outputName); base && !base->empty()) {
        std::error_code ignored;
        fs::remove(dataPath / "zoom" / (*base + ".jpg"), ignored);
      }
      if (steps.reportFailure) steps.reportFailure({i, row.outputName, reason, RowFailure::Kind::NotConverted});
      continue;
    }
    const std::string failure = RenameWithoutReplacing(output, folder / published);
    if (!failure.empty()) {
      if (steps.reportFailure) steps.reportFailure({i, row.outputName, failure, RowFailure::Kind::RenameFailed});
      continue;
    }
    const fs::path publishedPath = folder / published;
    if (steps.postProcess)
      steps.postProcess(postProcessor, SplitParameters(PostProcessorParameters(publishedPath.string())));
    const std::string base = BaseName(row.sourceName);
    service::NewVideo video;
    video.fileName = published;
    video.zhimo = base;
    video.title = base;
    video.duration = row.duration;
    video.framerate = row.framerate;
    video.companyid = companyid;
    video.fileSize = row.fileSize;
    if (steps.registerVideo)
      steps.registerVideo(video);
    else if (steps.sendRequest)
      steps.sendRequest(service::SaveUploadFileRequest(video));
    ++registered;
  }
  return registered;
}

}  // namespace kestrova::catalogue
