#include "reply_readers.h"

#include <gtest/gtest.h>

namespace kestrova::service {
namespace {

TEST(GetReplyValue, WalksThePathAndReadsTheAttribute) {
  struct Case {
    const char* reply;
    const char* expected;
  } cases[] = {
      {"<data><msg><item result=\"success\"/></msg></data>", "success"},
      {"<data><msg><other/><item result=\"failure\" /></msg></data>", "failure"},
      {"<reply><msg><item result=\"success\"/></msg></reply>", ""},     // other root
      {"<data><msg result=\"success\"></msg></data>", ""},              // no item under msg
      {"<data><message><item result=\"success\"/></message></data>", ""},  // no msg
      {"<data><msg><ITEM result=\"success\"/></msg></data>", ""},       // names keep their case
      {"<data><msg><item result=\"\"/></msg></data>", "error"},         // empty attribute
      {"<data><msg><item/></msg></data>", "error"},                     // no attribute
      {"<data><msg><item result=\"&lt;ok&gt;\"/></msg></data>", "<ok>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(getReplyValue(c.reply, "data.msg.item", "result"), c.expected) << c.reply;
  }
}

// A hostile or broken service may nest a reply far deeper than any real one:
// reading it must not take a stack frame per level.
TEST(ReplyReaders, DeeplyNestedRepliesAreReadWithoutCrashing) {
  std::string deep = "<data><msg>";
  for (int i = 0; i < 300000; ++i) deep += "<item>";
  for (int i = 0; i < 300000; ++i) deep += "</item>";
  deep += "</msg></data>";
  EXPECT_EQ(getReplyValue(deep, "data.msg.item", "result"), "error");
  EXPECT_LE(parseVideoList(deep).size(), 1u);
}

TEST(GetReplyValue, IllFormedReplyThrows) {
  EXPECT_THROW(getReplyValue("<data><msg><item result=\"a\"b\"/></msg></data>", "data.msg.item", "result"),
               ReplyParseError);
  EXPECT_THROW(getReplyValue("", "data.msg.item", "result"), ReplyParseError);
}

std::string Item(const std::string& id, bool withMemo = true) {
  return "<item id=\"" + id + "\" title=\"t" + id + "\" duration=\"1\" fileName=\"f" + id +
         ".html\" framerate=\"15\" fileSize=\"9\" sort=\"" + id + "\" createDate=\"2010-01-01\" state=\"A\"" +
         (withMemo ? " memo=\"m\"" : "") + " zhimo=\"z\"/>";
}

TEST(ParseVideoList, ReadsEveryRecordInOrder) {
  TvideofileList list = parseVideoList("<data><msg>" + Item("1") + Item("2") + "</msg></data>");
  ASSERT_EQ(list.size(), 2u);
  Tvideofile expected{"2", "t2", "1", "f2.html", "15", "9", "2", "2010-01-01", "A", "", "m", "z"};
  EXPECT_EQ(list[1], expected);
  EXPECT_EQ(list[0].id, "1");
}

TEST(ParseVideoList, StopsAtTheFirstRecordWithAMissingAttribute) {
  TvideofileList list = parseVideoList("<data><msg>" + Item("1") + Item("2", false) + Item("3") + "</msg></data>");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].zhimo, "z");
  EXPECT_EQ(list[1].state, "A");
  EXPECT_EQ(list[1].memo, "");
  EXPECT_EQ(list[1].zhimo, "");
  EXPECT_EQ(list[2], Tvideofile{});
}

TEST(ParseVideoList, EmptyOrForeignRepliesGiveAnEmptyList) {
  EXPECT_TRUE(parseVideoList("<data><msg></msg></data>").empty());
  EXPECT_TRUE(parseVideoList("<data><msg/></data>").empty());
  EXPECT_TRUE(parseVideoList("<other><msg>" + Item("1") + "</msg></other>").empty());
  EXPECT_TRUE(parseVideoList("<data/>").empty());
  EXPECT_THROW(parseVideoList("<data><msg>"), ReplyParseError);
}

TEST(ParseVideoList, EmptyAttributesGiveEmptyFields) {
  TvideofileList list = parseVideoList(
      "<data><msg><item id=\"\" title=\"\" duration=\"\" fileName=\"\" framerate=\"\" fileSize=\"\" sort=\"\" "
      "createDate=\"\" state=\"\" memo=\"\" zhimo=\"\"/>" + Item("2") + "</msg></data>");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], Tvideofile{});
  EXPECT_EQ(list[1].id, "2");  // an empty value is not a missing one: reading goes on
}

}  // namespace
}  // namespace kestrova::service
