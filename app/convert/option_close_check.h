// What the options dialog checks before it closes with OK.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::convert {

inline constexpr const char* kThumbnailMissing = "缩略图未截取，不能关闭窗口";
inline constexpr const char* kNoCaptureTime = "00:00:00.000";

// True when files can be created in folder (made first if missing): false on
// a read-only medium, without permission, or when the name is not a folder.
bool OutputFolderWritable(const std::filesystem::path& folder);

// The box for an output folder (the data folder's video/) that cannot be
// written: the dialog offers no other folder, so it names the one to mend.
std::string OutputFolderRefusal(const std::filesystem::path& folder);

// The boxes OK must show, in order; none: the dialog may close. Both checks
// run, so both boxes can come in turn.
std::vector<std::string> OkRefusals(bool outputFolderWritable, const std::filesystem::path& outputFolder,
                                    const std::string& edtStartPic);

}  // namespace kestrova::convert
