// Publishing a converted batch: each output gets its published ".html" name,
// the post-processor md is started on it, and one "saveUploadFile" request
// registers it with the back end. Plain functions; the main window and
// kestrova-cli supply how a program is started and a request is sent.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "request_texts.h"

namespace kestrova::catalogue {

// What publishing reads from one row of the batch list.
struct ConvertedRow {
  std::string sourceName;  // the source file's name without its folder ("My Clip.avi")
  std::string outputName;  // the output's name with extension, a file in data/video/
  std::string framerate;
  std::string duration;
  std::string fileSize;
};

// The output name with its extension (after the last ".") replaced by
// ".html"; a name without one gets ".html" appended.
std::string PublishedName(const std::string& outputName);

// The post-processor beside the executable: "LibAV/md".
std::filesystem::path PostProcessorPath(const std::filesystem::path& executableFolder);

// The post-processor's parameter text: "  -inter 500  \"" + path + "\"".
std::string PostProcessorParameters(const std::string& publishedPath);

// The words a program receives from a parameter text: blanks separate them,
// double quotes group blanks into a word and are dropped.
std::vector<std::string> SplitParameters(const std::string& text);

// Renames from to to unless to already exists (an earlier video is never
// overwritten). Returns "" on success, else why it failed.
std::string RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// True when the conversion left something in the file. The engine creates
// each output when its task is set up, so a task that never ran (a batch
// stopped before it) leaves an empty file that is no video.
bool HasConvertedOutput(const std::filesystem::path& file);

// A row that could not be published, and why.
struct RowFailure {
  enum class Kind { NotConverted, RenameFailed };
  size_t row = 0;
  std::string outputName;
  std::string reason;
  Kind kind = Kind::RenameFailed;
};

// The message the desktop tool shows for a row it skipped.
std::string RowFailureText(const RowFailure& failure);

struct PublishSteps {
  // Starts the post-processor (program, its words); the result is only for
  // the caller's own reporting.
  std::function<void(const std::filesystem::path& program, const std::vector<std::string>& words)> postProcess;
  std::function<void(const std::string& requestText)> sendRequest;
  std::function<void(const RowFailure& failure)> reportFailure;
  // When set, takes the video instead of sendRequest taking its request
  // (the desktop tool follows each registration until it is confirmed).
  std::function<void(const service::NewVideo& video)> registerVideo;
};

// For each row in order: rename data/video/OUTPUT to its published name,
// post-process it, and send its "saveUploadFile" (title and subtitle: the
// source name up to its first "."). A row whose output holds nothing or
// cannot be renamed is reported and skipped, so no request ever names a
// file that is not there or is no video.
// Returns how many rows were registered.
// postProcessor is the program handed to steps.postProcess (normally
// PostProcessorPath of the executable's folder).
size_t PublishConvertedRows(const std::vector<ConvertedRow>& rows, const std::filesystem::path& dataPath,
                            const std::filesystem::path& postProcessor, const std::string& companyid,
                            const PublishSteps& steps);

}  // namespace kestrova::catalogue
