// The batch dialog's plain rules: the texts of its list cells, which buttons
// each state of the batch allows, and which row the popup menu acts on.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova::convert {

// "总时长": whole seconds when the input gives a length, else "N/A".
std::string TotalDurationCell(int64_t duration);
// "进度": the percentage of output reached while the total is known, else "N/A".
std::string ProgressCell(int64_t currentDuration, int64_t totalDuration);
// "当前时间": whole seconds of output reached.
std::string CurrentTimeCell(int64_t currentDuration);

enum class BatchState { Empty, Listed, Converting, Paused, Ended };

struct BatchButtons {
  bool btnAdd, btnRemove, btnClear, btnStart, btnStop, btnPause, btnResume, btnclose;
  bool operator==(const BatchButtons&) const = default;
};
BatchButtons ButtonsFor(BatchState state);

// The list entry the popup menu's Play and Open Folder act on: the selected
// row when it has an entry, else the last entry; -1 when there are none.
int MenuTargetEntry(int selectedRow, int entryCount);

}  // namespace kestrova::convert
