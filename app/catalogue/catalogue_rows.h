// How one catalogue video is laid out as a row of the list view lvFiles:
// the caption holds the id, eleven sub-items hold the rest. The config.xml
// writer and the player read rows back by these places, so the layout is
// kept in one spot.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "videofile.h"

namespace kestrova::catalogue {

using service::Tvideofile;
using service::TvideofileList;

// Caption first, then sub-items 0 to 10.
constexpr int kRowCellCount = 12;
using RowCells = std::array<std::string, kRowCellCount>;

// Cell places (caption = 0, sub-item k = k + 1).
enum RowCell : int {
  kCellId = 0,
  kCellTitle,
  kCellDuration,
  kCellFileName,
  kCellFramerate,
  kCellFileSize,
  kCellSort,
  kCellCreateDate,
  kCellStateText,
  kCellState,
  kCellMemo,
  kCellZhimo,
};

// The display text of a state: only "A" is published.
std::string StateText(const std::string& state);

// The row for one record as the list shows it: the state text is derived from
// the state, whatever the record's own stateText holds.
RowCells CellsForListRow(const Tvideofile& video);

// A row read back into a record, field by field.
Tvideofile RecordFromCells(const RowCells& cells);

struct ColumnLayout {
  const char* caption;
  int width;
};

// The nine visible columns; the last three cells have none.
const std::vector<ColumnLayout>& VisibleColumns();

}  // namespace kestrova::catalogue
