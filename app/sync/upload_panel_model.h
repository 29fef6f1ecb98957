// The upload panel without widgets: the settings fields, the change list's
// rows as texts, the status line, the button states and the boxes shown.
// The main window binds its widgets to it (onChanged tells it when to
// redraw); tests and kestrova-cli read it directly. All calls on one thread.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "sync_view.h"

namespace kestrova::sync {

struct ListColumn {
  const char* caption;
  int width;  // 0: the list's default width
};

// lvlist's seven columns.
inline constexpr std::array<ListColumn, 7> kChangeListColumns = {{
    {"文件名", 100},
    {"本地修改时间", 90},
    {"本机路径", 100},
    {"《＝》", 0},
    {"服务器路径", 200},
    {"服务器修改时间", 100},
    {"状态", 80},
}};

inline constexpr const char* kUploadDirectionText = "上传";

// A row as the list shows it: the caption and seven sub-cells (0 local time,
// 1 local path, 2 "上传", 3 server path, 4 server time, 5 state, 6 server
// directory, which has no column).
struct ListRow {
  std::string caption;
  std::array<std::string, 7> cells;
};
ListRow RowTexts(const ChangeRow& row);

struct ButtonStates {
  bool btnscan = true;
  bool btnUpload2 = true;
  bool btntestConn = true;
  bool btnpauseupload = true;  // enabled at program start too
};

struct ShownMessage {
  std::string text;
  std::string caption;
  BoxKind kind;
};

class UploadPanelModel : public SyncView {
 public:
  ConnectionFields fields;
  std::string edDomain;
  std::vector<ListRow> rows;
  std::string status;
  ButtonStates buttons;
  bool uploadPanelShown = false;
  std::vector<ShownMessage> messages;
  // Every status text in order, for hosts that print progress.
  std::vector<std::string> statusHistory;

  std::function<void()> onChanged;
  // Shows a box for real; without it the box is only recorded.
  std::function<void(const ShownMessage&)> onMessage;
  // Answers a trust question; without it the model refuses.
  std::function<TrustAnswer(const std::string& text, const std::string& fingerprint)> onAskTrust;

  ConnectionFields connectionFields() override { return fields; }
  void setServerPathField(const std::string& text) override;
  void showUploadPanel() override;
  void setStatus(const std::string& text) override;
  void setRunning(bool running) override;
  void clearRows() override;
  void appendRow(const ChangeRow& row) override;
  void setFirstRowState(const std::string& state) override;
  void removeFirstRow() override;
  void showMessage(const std::string& text, const std::string& caption, BoxKind kind) override;
  TrustAnswer askTrust(const std::string& text, const std::string& fingerprint) override {
    return onAskTrust ? onAskTrust(text, fingerprint) : TrustAnswer::Refuse;
  }

 private:
  void changed();
};

// The red help labels of the panel.
inline constexpr const char* kLabel4 = "温馨提示：";
inline constexpr const char* kLabel2 = "1.资料上传需要FTP连接成功，请点击 \"测试连接\" ，以确定连接设置是否正确 ";
inline constexpr const char* kLabel8 = "2.点击 \"扫描并上传\" 按纽，对资料进行上传";
inline constexpr const char* kLabel9 = "3.点击 \"暂停上传\" 按纽，可暂停资料上传";
inline constexpr const char* kHintUpload2 = "对所有的资料变动进行上传操作，资料只有经过上传，才能与服务器进行同步";

}  // namespace kestrova::sync
