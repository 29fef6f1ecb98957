// Output files are written under a hidden name beside their real name and
// renamed over it once their trailer is written. Until then the real name
// holds what it held before (or nothing): a task that fails, or a program
// that is killed, never leaves a half-written file where the tool would
// publish or upload it. Outputs that are not plain files (pipe:, a URL of
// another protocol, a device such as /dev/null) are opened directly.
//
// The muxer is chosen from the real name as before; only the file opened
// differs.
#pragma once

#include <string>

#include "media/av_forward.h"

extern "C" {
struct AVIOContext;
}

namespace media {

// What one output file is written as.
struct StagedOutput {
  std::string name;         // as the caller gave it, for messages
  std::string finalPath;    // the file it becomes (a symbolic link followed)
  std::string stagingPath;  // written until committed; "" when not staged or once committed
};

// The file a staged output of this name becomes, or "" for a name that is
// opened directly (another protocol, an existing file that is not a regular
// file).
std::string StagedOutputTarget(const std::string& fileName);

// A new hidden name in finalPath's folder: ".NAME.XXXXXX.part", X random.
std::string StagingNameFor(const std::string& finalPath);

// Opens output fileName for oc: a new staging file, made exclusively under an
// unpredictable name (it also becomes oc's url, so a muxer that reads its
// output back finds it), or the name itself when it is not staged.
// Returns 0 or an AVERROR; staged tells what was opened.
int OpenOutputIo(AVFormatContext* oc, const std::string& fileName, StagedOutput& staged);

// Why output fileName could not be opened (OpenOutputIo returned error).
std::string OpenFailureText(const std::string& fileName, int error);

// Why output fileName is incomplete after writing its trailer returned error.
std::string IncompleteOutputText(const std::string& fileName, int error);

// Once the trailers of all the task's outputs are written: flushes the
// output, puts it on disk and renames it over its real name. Returns "" or
// why it could not; the staging file is then left for CloseOutputIo to
// remove and the real name keeps what it held. Nothing to do for an output
// that is not staged.
std::string CommitOutputIo(AVIOContext* io, StagedOutput& staged);

// Closes an output's AVIO context, however it was opened, and removes its
// staging file when it was never committed.
void CloseOutputIo(AVIOContext** io, StagedOutput& staged);

}  // namespace media
