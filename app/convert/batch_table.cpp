#include "batch_table.h"

namespace kestrova::convert {

std::string TotalDurationCell(int64_t duration) {
  return duration > 0 ? std::to_string(duration / 1000000) : "N/A";
}

std::string ProgressCell(int64_t currentDuration, int64_t totalDuration) {
  return totalDuration > 0 ? std::to_string(currentDuration * 100 / totalDuration) + "%" : "N/A";
}

std::string CurrentTimeCell(int64_t currentDuration) { return std::to_string(currentDuration / 1000000); }

BatchButtons ButtonsFor(BatchState state) {
  //                          add    remove clear  start  stop   pause  resume close
  switch (state) {
    case BatchState::Empty:      return {true,  false, false, false, false, false, false, true};
    case BatchState::Listed:     return {true,  true,  true,  true,  false, false, false, true};
    case BatchState::Converting: return {false, false, false, false, true,  true,  false, false};
    case BatchState::Paused:     return {false, false, false, false, true,  false, true,  false};
    case BatchState::Ended:      return {false, false, true,  false, false, false, false, true};
  }
  return {};
}

int MenuTargetEntry(int selectedRow, int entryCount) {
  if (selectedRow >= 0 && selectedRow < entryCount) return selectedRow;
  return entryCount - 1;
}

}  // namespace kestrova::convert
