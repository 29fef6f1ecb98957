#include "dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reply_readers.h"

namespace kestrova::service {
namespace {

// Records what the dispatcher asked the window to do, in order.
class RecordingActions : public MainReplyActions {
 public:
  std::vector<std::string> done;
  void connectFtp() override { done.push_back("connectFtp"); }
  void updateVideoFileList(const std::string& reply) override { done.push_back("update:" + reply); }
  void sendVideoListRequest() override { done.push_back("sendList"); }
  void showMessage(const std::string& text) override { done.push_back("show:" + text); }
  void reopenPasswordDialog() override { done.push_back("reopenPassword"); }
};

const std::string kOk = "<data><msg><item result=\"success\"/></msg></data>";
const std::string kRefused = "<data><msg><item result=\"failure\"/></msg></data>";

TEST(Dispatcher, RoutesEachReply) {
  using V = std::vector<std::string>;
  struct Case {
    std::string command, args;
    V expected;
  } cases[] = {
      {"ready", "", {"connectFtp"}},
      {"READY", "", {"connectFtp"}},
      {"getbycompidvideolist", "<data/>", {"update:<data/>"}},
      {"editUploadFile", kOk, {"sendList", "show:修改成功！"}},
      {"editUploadFile", kRefused, {"show:资料修改不成功！"}},
      {"delUploadFile", kOk, {"sendList", "show:删除成功！"}},
      {"delUploadFile", "<data><msg/></data>", {"show:资料删除不成功！"}},
      {"ModCompanyResult", kOk, {"show:资料修改成功！"}},
      {"ModCompanyResult", kRefused, {"show:资料修改不成功！"}},
      {"saveUploadFile", "not even xml", {"sendList"}},
      {"editEntPwd", kOk, {"show:企业密码修改成功！"}},
      {"editEntPwd", kRefused, {"show:企业密码修改失败！", "reopenPassword"}},
      {"", kOk, {"show:非法参数"}},
      {"loadMainFlash", kOk, {"show:非法参数"}},
  };
  for (const auto& c : cases) {
    RecordingActions actions;
    swfMainFSCommand(actions, c.command, c.args);
    EXPECT_EQ(actions.done, c.expected) << c.command << " " << c.args;
  }
}

TEST(Dispatcher, IllFormedResultReplyEndsTheHandlerBeforeAnyAction) {
  RecordingActions actions;
  EXPECT_THROW(swfMainFSCommand(actions, "editUploadFile", "<data><msg>"), ReplyParseError);
  EXPECT_TRUE(actions.done.empty());
}

}  // namespace
}  // namespace kestrova::service
