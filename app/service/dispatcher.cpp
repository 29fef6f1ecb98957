#include "dispatcher.h"

#include <array>
#include <cctype>

#include "reply_readers.h"
#include "request_texts.h"

namespace kestrova::service {

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool Succeeded(const std::string& args) { return getReplyValue(args, "data.msg.item", "result") == "success"; }

}  // namespace

std::optional<TMyStrSel> LookupReplyCommand(const std::string& command) {
  static const std::array<const char*, 7> names{"ready",           "getByCompIdVideoList", "editUploadFile",
                                                "delUploadFile",   "ModCompanyResult",     "saveUploadFile",
                                                "editEntPwd"};
  for (size_t i = 0; i < names.size(); ++i) {
    if (SameTextIgnoringCase(command, names[i])) return static_cast<TMyStrSel>(i);
  }
  return std::nullopt;
}

std::string RequestFailureMessage(const std::string& request, const std::string& reason) {
  const std::string method = RequestMethod(request);
  if (method == "editUploadFile") return "保存修改失败：" + reason;
  if (method == "getByCompIdVideoList") return "刷新视频列表失败：" + reason;
  if (method == "delUploadFile") return "删除视频的登记失败：" + reason;
  if (method == "ModComCard") return "资料修改不成功：" + reason;
  if (method == "ModComPsw") return "企业密码修改失败：" + reason;
  return "";
}

void swfMainFSCommand(MainReplyActions& actions, const std::string& command, const std::string& args) {
  std::optional<TMyStrSel> which = LookupReplyCommand(command);
  if (!which) {
    actions.showMessage("非法参数");
    return;
  }
  switch (*which) {
    case TMyStrSel::ready:
      actions.connectFtp();
      break;
    case TMyStrSel::getByCompIdVideoList:
      actions.updateVideoFileList(args);
      break;
    case TMyStrSel::editUploadFile:
      if (Succeeded(args)) {
        actions.sendVideoListRequest();
        actions.showMessage("修改成功！");
      } else {
        actions.showMessage("资料修改不成功！");
      }
      break;
    case TMyStrSel::delUploadFile:
      if (Succeeded(args)) {
        actions.sendVideoListRequest();
        actions.showMessage("删除成功！");
      } else {
        actions.showMessage("资料删除不成功！");
      }
      break;
    case TMyStrSel::ModCompanyResult:
      // A refused card change must not be reported as saved.
      actions.showMessage(Succeeded(args) ? "资料修改成功！" : "资料修改不成功！");
      break;
    case TMyStrSel::saveUploadFile:
      actions.sendVideoListRequest();
      break;
    case TMyStrSel::editEntPwd:
      if (Succeeded(args)) {
        actions.showMessage("企业密码修改成功！");
      } else {
        actions.showMessage("企业密码修改失败！");
        actions.reopenPasswordDialog();
      }
      break;
  }
}

}  // namespace kestrova::service
