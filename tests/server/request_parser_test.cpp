#include <gtest/gtest.h>

#include "request_parser.h"

namespace ks = kestrova::service;

namespace {

std::string Envelope(const std::string& data) {
  return "<invoke name=\"ReceiveService\" returntype=\"xml\"><arguments><string>" + data +
         "</string></arguments></invoke>";
}

TEST(RequestParser, ReadsTypeFromTextForSignInAndFromMethodOtherwise) {
  auto login = ks::ParseRequestText(Envelope(
      "<data><msgType>loadMainFlash</msgType><msg><item account=\"a&amp;b\" password =\"\" /></msg></data>"));
  ASSERT_TRUE(login.request) << login.error;
  EXPECT_EQ(login.request->type, "loadMainFlash");
  EXPECT_EQ(login.request->value("account"), "a&b");
  EXPECT_EQ(login.request->value("password"), "");
  EXPECT_FALSE(login.request->value("missing"));

  auto card = ks::ParseRequestText(Envelope(
      "<data><msgType method=\"ModComCard\">SysSetComCard</msgType><msg><item companyId=\"7\" ftp_path = \"/x\"/>"
      "</msg></data>"));
  ASSERT_TRUE(card.request);
  EXPECT_EQ(card.request->type, "ModComCard");
  EXPECT_EQ(card.request->value("ftp_path"), "/x");
}

TEST(RequestParser, TellsBrokenRequestsFromNonRequests) {
  struct Case {
    std::string body;
    bool understood;
    std::string guessed;
  };
  const std::vector<Case> cases{
      // A quote inside a title breaks the XML, but the type is still visible.
      {Envelope("<data><msgType  method=\"editUploadFile\">SysSetVideoFile</msgType><msg><item id=\"1\" "
                "title=\"say \"hi\"\" /></msg></data>"),
       false, "editUploadFile"},
      {Envelope("<data><msgType>loadMainFlash</msgType><msg><item account=\"<\" /></msg></data>"), false,
       "loadMainFlash"},
      {Envelope("<data><msgType method=\"dropTables\">x</msgType><msg><item a=\"\"\"/></msg></data>"), false, ""},
      {"<html><body>hello</body></html>", false, ""},
      {"", false, ""},
      {"\xff\xfe<data/>", false, ""},
      {"<data><msgType method=\"delUploadFile\">SysSetVideoFile</msgType><msg><item id=\"1\"/></msg></data>", true,
       ""},
  };
  for (const Case& c : cases) {
    auto parsed = ks::ParseRequestText(c.body);
    EXPECT_EQ(bool(parsed.request), c.understood) << c.body;
    EXPECT_EQ(parsed.guessedType, c.guessed) << c.body;
    if (!c.understood) {
      EXPECT_FALSE(parsed.error.empty()) << c.body;
    }
  }
}

TEST(RequestParser, GuessesTheTypeByAPlainScan) {
  std::string hostile;
  for (int i = 0; i < 400; ++i) hostile += "<msgType ";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"<data><msgType  method = \"ModComPsw\" >x</msgType>&", "ModComPsw"},
      {"<data><msgType\n>\n loadMainFlash </msgType>&", "loadMainFlash"},
      {"<msgType <msgType>delUploadFile</msgType>&", "delUploadFile"},
      {"<msgType xmethod=\"ModComPsw\"><msgType method=\"ModComCard\">&", "ModComCard"},
      {"<msgType>loadMainFlash</msgType><msgType method=\"saveUploadFile\">&", "saveUploadFile"},
      {"<msgType method=\"editUploadFile\"", "editUploadFile"},
      {"<msgType>loadMainFlash</msgtype>&", ""},
      {hostile + "&", ""},
      {hostile + "method=\"ModComCard\">&", "ModComCard"},
  };
  for (const auto& [body, type] : cases) EXPECT_EQ(ks::GuessMessageType(body), type) << body;
}

TEST(RequestParser, NestingIsCappedAndLegalRarenessesAreAccepted) {
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  for (int i = 0; i < 200000; ++i) deep += "</a>";
  auto parsed = ks::ParseRequestText(deep);
  EXPECT_FALSE(parsed.request);
  EXPECT_NE(parsed.error.find("nested deeper"), std::string::npos) << parsed.error;

  auto unusual = ks::ParseRequestText(
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>" +
      Envelope("<data><msgType method=\"delUploadFile\">S</msgType><msg><item id=\"&#x00000000000031;\" "
               "companyId=\"&#000000000000050;\"/></msg></data>"));
  ASSERT_TRUE(unusual.request) << unusual.error;
  EXPECT_EQ(unusual.request->value("id"), "1");
  EXPECT_EQ(unusual.request->value("companyId"), "2");
  EXPECT_FALSE(ks::ParseRequestText(Envelope("<data a=\"&#x0000000110000;\"/>")).request);
  EXPECT_FALSE(ks::ParseRequestText(" \xEF\xBB\xBF<data/>").request);
}

TEST(RequestParser, MapsEachTypeToTheCommandTheToolExpects) {
  const std::vector<std::pair<std::string, std::string>> table{
      {"loadMainFlash", "loadMainFlash"},   {"getByCompIdVideoList", "getByCompIdVideoList"},
      {"editUploadFile", "editUploadFile"}, {"delUploadFile", "delUploadFile"},
      {"ModComCard", "ModCompanyResult"},   {"saveUploadFile", "saveUploadFile"},
      {"ModComPsw", "editEntPwd"}};
  for (const auto& [type, command] : table) EXPECT_EQ(ks::ReplyCommandFor(type), command);
  EXPECT_FALSE(ks::ReplyCommandFor("modcomcard"));
  EXPECT_FALSE(ks::ReplyCommandFor(""));
}

}  // namespace
