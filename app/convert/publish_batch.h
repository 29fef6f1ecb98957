// Publishing a converted batch: each output gets its published ".html" name,
// the post-processor is started on it, and the back end is told about it
// with one "saveUploadFile" request. A file whose rename fails is reported
// and not registered, so the catalogue never names a file that is not there.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::convert {

// What publishing reads from one row of the batch list.
struct BatchRowValues {
  std::string caption;     // "视频文件": the source file's name
  std::string outputName;  // "输出文件名": the output's name with its extension
  std::string framerate;   // "帧率"
  std::string duration;    // "当前时间"
  std::string fileSize;    // "文件大小（后）"
};

// The output name with its extension (after the last ".") replaced by
// ".html"; a name without one gets ".html" appended.
std::string PublishedName(const std::string& outputName);

// True when the conversion left something in the file. The engine creates
// each output when its task is set up, so a task that never ran (a batch
// stopped before it) leaves an empty file that is no video.
bool HasConvertedOutput(const std::filesystem::path& file);

// Renames without replacing an existing file; false when it did not happen.
bool RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// What publishing needs from its host.
class PublishHost {
 public:
  virtual ~PublishHost() = default;
  virtual bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return RenameWithoutReplacing(from, to);
  }
  // Starts program with arguments, not waiting for it.
  virtual void startProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments) = 0;
  virtual void sendRequest(const std::string& request) = 0;
  enum class SkipReason { NotConverted, RenameFailed };
  // A row that was left out: its output holds nothing, or it could not be
  // renamed to its published name.
  virtual void reportSkipped(const BatchRowValues& row, SkipReason reason) = 0;
};

// Publishes rows in order; dataPath is the data folder, postProcessor the
// program started on each published file ("LibAV/md" beside the executable).
// Returns how many rows were registered.
int PublishBatch(const std::vector<BatchRowValues>& rows, const std::filesystem::path& dataPath,
                 const std::filesystem::path& postProcessor, const std::string& companyid, PublishHost& host);

}  // namespace kestrova::convert
