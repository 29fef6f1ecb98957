// The embed query and snippet, one table of option variants.
#include <gtest/gtest.h>

#include "embed_code.h"

namespace kestrova::publishing {
namespace {

TEST(EmbedCode, QueryVariants) {
  const std::string defaults =
      "isfloor=True&isMulVideofiles=True&playerwidth=400&playerheight=340&displaycard=False&displayRec=False&"
      "displayZhimo=False&displaylogo=False&autoplay=False&title=企业视频展示&titlebg=C92A27&titlefontcolor=FFFFFF&"
      "borderlinecolor=A67901";
  struct Case {
    const char* name;
    void (*change)(EmbedOptions&);
    std::string query;
  } cases[] = {
      {"defaults", [](EmbedOptions&) {}, defaults},
      {"fixed position", [](EmbedOptions& o) { o.isFloor = false; },
       "isfloor=False" + defaults.substr(std::string("isfloor=True").size())},
      {"single video with a row",
       [](EmbedOptions& o) {
         o.isMulVideofiles = false;
         o.fileName = "AbCd.html";
       },
       "isfloor=True&filename=AbCd.html&isMulVideofiles=False" +
           defaults.substr(std::string("isfloor=True&isMulVideofiles=True").size())},
      {"single video without a row", [](EmbedOptions& o) { o.isMulVideofiles = false; },
       "isfloor=True&isMulVideofiles=False" + defaults.substr(std::string("isfloor=True&isMulVideofiles=True").size())},
      {"flags map to their keys",
       [](EmbedOptions& o) {
         o.displayCard = true;
         o.displayRec = true;
         o.autoplay = true;
       },
       "isfloor=True&isMulVideofiles=True&playerwidth=400&playerheight=340&displaycard=True&displayRec=True&"
       "displayZhimo=False&displaylogo=False&autoplay=True&title=企业视频展示&titlebg=C92A27&titlefontcolor=FFFFFF&"
       "borderlinecolor=A67901"},
      {"title unchanged", [](EmbedOptions& o) { o.title = "A & B 视频"; },
       "isfloor=True&isMulVideofiles=True&playerwidth=400&playerheight=340&displaycard=False&displayRec=False&"
       "displayZhimo=False&displaylogo=False&autoplay=False&title=A & B 视频&titlebg=C92A27&titlefontcolor=FFFFFF&"
       "borderlinecolor=A67901"},
  };
  for (const Case& c : cases) {
    EmbedOptions options;
    c.change(options);
    EXPECT_EQ(BuildScriptQuery(options), c.query) << c.name;
  }
}

TEST(EmbedCode, SnippetAndPreviewAddress) {
  EXPECT_EQ(BuildScriptText("http://site", "q=1"),
            std::string("<div style=\"display:none\"><a href=\"") + kVendorHomePage +
                "\">ZorvaneKestrova</a></div><SCRIPT id='zvParam'  language=Javascript src='http://site/index.js?q=1'>"
                "</script>");
  EXPECT_EQ(PreviewAddress("http://site", "q=1"), "http://site/preview.html?q=1");
}

TEST(EmbedCode, SnippetKeepsTheAddressOneAttribute) {
  struct Case {
    std::string query, src;
  } cases[] = {
      {"a=1&title=Joe's Videos&b=2", "a=1&title=Joe&#39;s Videos&b=2"},
      {"title=x' onload='alert(1)", "title=x&#39; onload=&#39;alert(1)"},
      {"title=A & B 视频&titlebg=C92A27", "title=A & B 视频&titlebg=C92A27"},
      {"title=a&lt;b &#39; &copy 1 R&D&", "title=a&amp;lt;b &amp;#39; &amp;copy 1 R&amp;D&"},
  };
  for (const Case& c : cases) {
    std::string text = BuildScriptText("http://site", c.query);
    EXPECT_NE(text.find("src='http://site/index.js?" + c.src + "'></script>"), std::string::npos) << text;
  }
  EXPECT_EQ(PreviewAddress("http://site", "title=Joe's"), "http://site/preview.html?title=Joe's");
}

TEST(EmbedCode, ColourHex) {
  EXPECT_EQ(ColourHex(255, 0, 0), "FF0000");
  EXPECT_EQ(ColourHex(0, 255, 0), "00FF00");
  EXPECT_EQ(ColourHex(0, 0, 255), "0000FF");
  EXPECT_EQ(ColourHex(0xab, 0x0c, 0x01), "AB0C01");
}

}  // namespace
}  // namespace kestrova::publishing
