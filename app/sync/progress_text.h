// The status-line texts of a transfer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrova::sync {

// count * 100 / total written with up to 15 significant digits, not cut to
// whole numbers: 50, 33.3333333333333.
std::string PercentText(std::int64_t count, std::int64_t total);

// "正在上传：" name " 当前进度：" count "/" total " 当前文件上传百分比：" percent "%".
// A total of 0 (directory listings, whose size nobody knows in advance)
// reports the bytes received instead of a share.
std::string ProgressText(const std::string& fileName, std::int64_t count, std::int64_t total);

// "文件：" name " 上传完成".
std::string TransferDoneText(const std::string& fileName);

// The status line when the server refused to rename an upload over its
// published name and the file goes straight onto it.
std::string RenameRefusedText(const std::string& fileName);

// The status line when the server would not rename over the published copy,
// so that copy was deleted just before the rename.
std::string RemovedBeforeRenameText(const std::string& fileName);

// A status text shortened to fit maxWidth as widthOf measures it. The file
// name inside the texts above (and "上传 " name " 失败：" ...) loses its
// middle first, so the figures and the name's ending stay in view. A text
// that fits, or that names no file, comes back as it is.
std::string FitStatusText(const std::string& text, const std::function<int(const std::string&)>& widthOf,
                          int maxWidth);

}  // namespace kestrova::sync
