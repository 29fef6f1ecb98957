#include "catalogue_rows.h"

namespace kestrova::catalogue {

std::string StateText(const std::string& state) { return state == "A" ? "生效" : "草稿"; }

RowCells CellsForListRow(const Tvideofile& v) {
  return {v.id,       v.title,      v.duration,        v.fileName, v.framerate, v.fileSize,
          v.sort,     v.createDate, StateText(v.state), v.state,    v.memo,      v.zhimo};
}

Tvideofile RecordFromCells(const RowCells& c) {
  Tvideofile v;
  v.id = c[kCellId];
  v.title = c[kCellTitle];
  v.duration = c[kCellDuration];
  v.fileName = c[kCellFileName];
  v.framerate = c[kCellFramerate];
  v.fileSize = c[kCellFileSize];
  v.sort = c[kCellSort];
  v.createDate = c[kCellCreateDate];
  v.stateText = c[kCellStateText];
  v.state = c[kCellState];
  v.memo = c[kCellMemo];
  v.zhimo = c[kCellZhimo];
  return v;
}

const std::vector<ColumnLayout>& VisibleColumns() {
  static const std::vector<ColumnLayout> columns{
      {"ID号", 40},         {"文件标题", 120}, {"时长(秒)", 65}, {"文件名", 60},   {"帧率", 50},
      {"文件大小(KByte)", 100}, {"排序号", 60},   {"创建时间", 120}, {"状态", 50},
  };
  return columns;
}

}  // namespace kestrova::catalogue
