// config.xml as the web player reads it: read back with pugixml and compared.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "config_xml.h"
#include "process.h"

namespace kestrova::publishing {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const char* const kTemplate = "<?xml version=\"1.0\"?>\n<old><keep>x</keep></old>";

PlayerConfig SampleConfig() {
  PlayerConfig c;
  c.companyid = "12";
  c.account = "demo";
  c.tvtype = "SETUP";
  c.companyname = "星河 & <公司>";
  c.addr = "addr";
  c.tel = "tel";
  c.fax = "fax";
  c.qq = "qq";
  c.skype = "sk";
  c.msn = "msn";
  c.email = "e@x";
  c.chkDisplayEntCard = true;
  c.chkAutoPlay = true;
  c.rows = {
      // Ids and sort numbers differ, as they do once a row is moved.
      {"17", "A & B <c>", "10", "aaa.html", "25", "100", "1", "d", "A", "生效", "memo", "字幕 \"1\""},
      {"2", "draft", "20", "bbb.html", "25", "100", "2", "d", "U", "草稿", "", ""},
      {"3", "empty state", "30", "ccc.html", "25", "100", "3", "d", "", "草稿", "", ""},
      {"4", "second", "40", "ddd.x.html", "25", "100", "4", "d", "A", "生效", "", ""},
  };
  return c;
}

TEST(ConfigXml, WritesProductSettingsAndPublishedRowsInOrder) {
  TempDir dir;
  WriteFile(dir / "config.xml", kTemplate);
  createConfigXml(dir / "config.xml", SampleConfig());

  std::string text = ReadFile(dir / "config.xml");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << text;
  EXPECT_NE(text.find("&amp; &lt;公司&gt;"), std::string::npos) << "escaped by the XML library";
  EXPECT_EQ(text.find("<old>"), std::string::npos);

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(text.c_str()));
  pugi::xml_node root = doc.document_element();
  EXPECT_STREQ(root.name(), "root");
  std::vector<std::string> sections;
  for (pugi::xml_node n : root.children()) sections.push_back(n.name());
  EXPECT_EQ(sections, (std::vector<std::string>{"productinfo", "videosetting", "videofilelist"}));
  EXPECT_STREQ(root.child("productinfo").child_value("producttype"), "SETUP");

  std::vector<std::string> settings;
  for (pugi::xml_node n : root.child("videosetting").children()) settings.push_back(std::string(n.name()) + "=" + n.child_value());
  EXPECT_EQ(settings, (std::vector<std::string>{
                          "companyname=星河 & <公司>", "addr=addr", "tel=tel", "fax=fax", "qq=qq", "skype=sk",
                          "msn=msn", "email=e@x", "chkDisplayEntCard=True", "chkDisplayZhimo=False",
                          "chkAutoPlay=True", "chkAutocre=False", "chkDisplayLogo=False"}));

  std::vector<pugi::xml_node> items;
  for (pugi::xml_node n : root.child("videofilelist").children("item")) items.push_back(n);
  ASSERT_EQ(items.size(), 2u) << "only rows with state exactly A";
  std::vector<std::string> attributes;
  for (pugi::xml_attribute a : items[0].attributes()) attributes.push_back(std::string(a.name()) + "=" + a.value());
  EXPECT_EQ(attributes, (std::vector<std::string>{"duration=10", "filename=aaa.html", "zoomimage=aaa.jpg", "id=17",
                                                  "sort=1", "title=A & B <c>", "zhimo=字幕 \"1\""}));
  EXPECT_STREQ(items[1].attribute("filename").value(), "ddd.html");
  EXPECT_STREQ(items[1].attribute("zoomimage").value(), "ddd.jpg");
}

TEST(ConfigXml, NoPublishedRowsGiveAnEmptyList) {
  TempDir dir;
  WriteFile(dir / "config.xml", kTemplate);
  PlayerConfig config = SampleConfig();
  config.rows.resize(0);
  createConfigXml(dir / "config.xml", config);
  std::string first = ReadFile(dir / "config.xml");
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(first.c_str()));
  EXPECT_TRUE(doc.child("root").child("videofilelist"));
  EXPECT_FALSE(doc.child("root").child("videofilelist").first_child());
  createConfigXml(dir / "config.xml", config);
  EXPECT_EQ(ReadFile(dir / "config.xml"), first) << "a second refresh writes the same file";
}

TEST(ConfigXml, CardFieldsWithLineEndsComeBackByteForByte) {
  TempDir dir;
  WriteFile(dir / "config.xml", kTemplate);
  PlayerConfig config = SampleConfig();
  config.addr = "line 1\r\nline 2\rend\r";
  config.tel = "a\nb";
  createConfigXml(dir / "config.xml", config);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((dir / "config.xml").c_str()));
  pugi::xml_node setting = doc.child("root").child("videosetting");
  EXPECT_EQ(std::string(setting.child_value("addr")), config.addr);
  EXPECT_EQ(std::string(setting.child_value("tel")), config.tel);
}

// A config.xml nested far deeper than any real one is read and replaced
// without a walk that needs a stack frame per level.
TEST(ConfigXml, DeeplyNestedFileIsReplacedWithoutCrashing) {
  TempDir dir;
  std::string deep;
  for (int i = 0; i < 300000; ++i) deep += "<a>";
  for (int i = 0; i < 300000; ++i) deep += "</a>";
  WriteFile(dir / "config.xml", deep);
  createConfigXml(dir / "config.xml", SampleConfig());
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((dir / "config.xml").c_str()));
  EXPECT_TRUE(doc.child("root").child("videofilelist"));
}

TEST(ConfigXml, MissingOrBrokenFileIsReportedAndNothingWritten) {
  TempDir dir;
  EXPECT_THROW(createConfigXml(dir / "config.xml", SampleConfig()), ConfigLoadError);
  EXPECT_FALSE(std::filesystem::exists(dir / "config.xml"));
  WriteFile(dir / "config.xml", "<root><unclosed>");
  EXPECT_THROW(createConfigXml(dir / "config.xml", SampleConfig()), ConfigLoadError);
  EXPECT_EQ(ReadFile(dir / "config.xml"), "<root><unclosed>");
}

TEST(ConfigXml, TheShippedTemplateLoads) {
  TempDir dir;
  std::filesystem::copy_file(std::filesystem::path(KESTROVA_SOURCE_DIR) / "web/template/config.xml", dir / "config.xml");
  EXPECT_NO_THROW(createConfigXml(dir / "config.xml", SampleConfig()));
}

}  // namespace
}  // namespace kestrova::publishing
