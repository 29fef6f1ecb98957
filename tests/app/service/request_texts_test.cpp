#include "request_texts.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

namespace kestrova::service {
namespace {

const std::string kHead = "<invoke name=\"ReceiveService\" returntype=\"xml\"><arguments><string>";
const std::string kTail = "</string></arguments></invoke>";

struct RequestCase {
  const char* name;
  std::string built;
  std::string body;
};

TEST(RequestTexts, EveryRequestByteForByte) {
  CompanyCard card{"7",     "公司", "名片", "010-1", "010-2", "123", "sk", "ms", "a@b.c",
                   true,    false,  true,   false,   true,    "/site", "ftp.example", "21", "user", "pw",
                   "http://www.example"};
  const RequestCase cases[] = {
      {"login", LoadMainFlashRequest("demo", "p\"w"),
       "<data><msgType>loadMainFlash</msgType><msg><item account=\"demo\" password =\"p&quot;w\" /></msg></data>"},
      {"login empty", LoadMainFlashRequest("", ""),
       "<data><msgType>loadMainFlash</msgType><msg><item account=\"\" password =\"\" /></msg></data>"},
      {"list", VideoListRequest("7"),
       "<data><msgType  method=\"getByCompIdVideoList\">SysSetVideoFile</msgType><msg><item company_id=\"7\"  "
       "/></msg></data>"},
      {"edit", EditUploadFileRequest({"12", "3", "a \"quoted\" <title>", "7", "m", "z&z", "U"}),
       "<data><msgType  method=\"editUploadFile\">SysSetVideoFile</msgType><msg><item id=\"12\"  sort=\"3\" "
       "title=\"a &quot;quoted&quot; &lt;title&gt;\"   companyId=\"7\"  memo=\"m\" zhimo=\"z&amp;z\" state=\"U\"  "
       "/></msg></data>"},
      {"delete", DelUploadFileRequest("12", "7"),
       "<data><msgType  method=\"delUploadFile\">SysSetVideoFile</msgType><msg><item id=\"12\"  companyId=\"7\"  "
       "/></msg></data>"},
      {"save", SaveUploadFileRequest({"AbC.html", "字幕", "标题", "12", "15", "7", "1024"}),
       "<data><msgType method=\"saveUploadFile\">SysSetVideoFile</msgType><msg><item fileName=\"AbC.html\" "
       "zhimo=\"字幕\" title=\"标题\" duration=\"12\" framerate=\"15\"  companyId=\"7\" fileSize=\"1024\"  "
       "state=\"A\"/></msg></data>"},
      {"card", ModComCardRequest(card),
       "<data><msgType method=\"ModComCard\">SysSetComCard</msgType><msg><item companyId=\"7\" name=\"公司\"  "
       "title=\"名片\" tel=\"010-1\" fax=\"010-2\" qq=\"123\" skype=\"sk\" msn=\"ms\" email=\"a@b.c\" "
       "dsp_ent_card=\"True\" dsp_play_zhimo=\"False\" auto_play=\"True\" auto_cre=\"False\" dsp_logo=\"True\" "
       "ftp_path = \"/site\" ftp_addr=\"ftp.example\" ftp_port=\"21\" ftp_account=\"user\" ftp_password=\"pw\" "
       "domain=\"http://www.example\"/></msg></data>"},
      {"password trimmed", ModComPswRequest("7", "  old pw \t", " new "),
       "<data><msgType method=\"ModComPsw\">SysSetComPsw</msgType><msg><item id=\"7\" oldpwd=\"old pw\"  "
       "newpwd=\"new\" /></msg></data>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.built, kHead + c.body + kTail) << c.name;
  }
}

// Whatever a user types comes out of an XML reader exactly as typed, and
// texts without special characters go in unchanged.
TEST(RequestTexts, EveryValueReadsBackExactlyAsTyped) {
  const std::string typed[] = {"plain 中文", "a\"b", "x & y", "<tag>", "it's", "line\nbreak", "crlf\r\nend",
                               "tab\there", "&amp; stays literal", "z\" state=\"U", "  blanks  ", ""};
  for (const std::string& value : typed) {
    CompanyCard card;
    card.companyid = "7";
    card.name = value;
    card.ftp_addr = value;
    pugi::xml_document doc;
    std::string request = ModComCardRequest(card);
    ASSERT_TRUE(doc.load_string(request.c_str())) << request;
    pugi::xml_node item = doc.first_element_by_path("invoke/arguments/string/data/msg/item");
    EXPECT_EQ(item.attribute("name").value(), value);
    EXPECT_EQ(item.attribute("ftp_addr").value(), value);
    EXPECT_FALSE(item.attribute("state")) << value;
  }
  EXPECT_EQ(EscapeAttributeValue("plain 中文 it's"), "plain 中文 it's");
  EXPECT_EQ(EscapeAttributeValue("a\n\"&<>"), "a&#10;&quot;&amp;&lt;&gt;");
}

}  // namespace
}  // namespace kestrova::service
