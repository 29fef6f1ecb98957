#include "config_xml.h"

#include <pugixml.hpp>

#include <fstream>
#include <string_view>
#include <system_error>

#include "video_files.h"

namespace kestrova::publishing {

namespace {

void AppendText(pugi::xml_node parent, const char* name, const std::string& text) {
  parent.append_child(name).text().set(text.c_str());
}

const char* FlagText(bool on) { return on ? "True" : "False"; }

void SetDeclaration(pugi::xml_document& doc) {
  pugi::xml_node declaration = doc.first_child();
  if (declaration.type() != pugi::node_declaration) {
    declaration = doc.prepend_child(pugi::node_declaration);
  }
  declaration.remove_attribute("encoding");
  declaration.remove_attribute("version");
  // version first, as every reader expects it
  declaration.prepend_attribute("version").set_value("1.0");
  declaration.insert_attribute_after("encoding", declaration.attribute("version")).set_value("utf-8");
}

// The loaded file's declaration, comments and processing instructions, with
// an empty root where its root element was. The old root stays behind in the
// loaded document instead of being removed from it: pugixml removes a subtree
// with a recursion as deep as the subtree, which a broken or hostile file
// could make deep enough to crash, while a whole document is freed at once.
pugi::xml_node CopyWithNewRoot(const pugi::xml_document& loaded, pugi::xml_document& out) {
  pugi::xml_node root;
  for (pugi::xml_node node : loaded.children()) {
    if (node.type() != pugi::node_element) {
      out.append_copy(node);
    } else if (!root) {
      root = out.append_child("root");
    }
  }
  return root ? root : out.append_child("root");
}

void BuildRoot(pugi::xml_node root, const PlayerConfig& c) {

  pugi::xml_node product = root.append_child("productinfo");
  pugi::xml_node setting = root.append_child("videosetting");
  pugi::xml_node list = root.append_child("videofilelist");

  AppendText(product, "id", c.companyid);
  AppendText(product, "account", c.account);
  AppendText(product, "producttype", c.tvtype);

  AppendText(setting, "companyname", c.companyname);
  AppendText(setting, "addr", c.addr);
  AppendText(setting, "tel", c.tel);
  AppendText(setting, "fax", c.fax);
  AppendText(setting, "qq", c.qq);
  AppendText(setting, "skype", c.skype);
  AppendText(setting, "msn", c.msn);
  AppendText(setting, "email", c.email);
  AppendText(setting, "chkDisplayEntCard", FlagText(c.chkDisplayEntCard));
  AppendText(setting, "chkDisplayZhimo", FlagText(c.chkDisplayZhimo));
  AppendText(setting, "chkAutoPlay", FlagText(c.chkAutoPlay));
  AppendText(setting, "chkAutocre", FlagText(c.chkAutocre));
  AppendText(setting, "chkDisplayLogo", FlagText(c.chkDisplayLogo));

  for (const service::Tvideofile& row : c.rows) {
    if (row.state != "A") continue;
    std::string base = catalogue::BaseName(row.fileName);
    pugi::xml_node item = list.append_child("item");
    item.append_attribute("duration").set_value(row.duration.c_str());
    item.append_attribute("filename").set_value((base + ".html").c_str());
    item.append_attribute("zoomimage").set_value((base + ".jpg").c_str());
    item.append_attribute("id").set_value(row.id.c_str());
    item.append_attribute("sort").set_value(row.sort.c_str());
    item.append_attribute("title").set_value(row.title.c_str());
    item.append_attribute("zhimo").set_value(row.zhimo.c_str());
  }
}

// pugixml writes a carriage return in element text raw, and every XML reader
// turns a raw one into a line feed, so a card field would not come back as
// typed. Attribute values already carry it as a reference; loaded comments
// and text hold none (the parser turns line ends into line feeds), so every
// raw one in the output is ours and becomes "&#13;" here.
class CarriageReturnEscapingWriter : public pugi::xml_writer {
 public:
  explicit CarriageReturnEscapingWriter(std::ofstream& out) : out_(out) {}
  void write(const void* data, size_t size) override {
    std::string_view bytes(static_cast<const char*>(data), size);
    for (size_t cr = bytes.find('\r'); cr != std::string_view::npos; cr = bytes.find('\r')) {
      out_.write(bytes.data(), static_cast<std::streamsize>(cr));
      out_ << "&#13;";
      bytes.remove_prefix(cr + 1);
    }
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::ofstream& out_;
};

bool SaveKeepingCarriageReturns(const pugi::xml_document& doc, const std::filesystem::path& file) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  CarriageReturnEscapingWriter writer(out);
  doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

void createConfigXml(const std::filesystem::path& file, const PlayerConfig& config) {
  pugi::xml_document doc;
  pugi::xml_parse_result loaded =
      doc.load_file(file.c_str(), pugi::parse_default | pugi::parse_declaration | pugi::parse_comments);
  if (!loaded) {
    throw ConfigLoadError("无法读取播放器配置文件 " + file.string() + "：" + loaded.description());
  }
  try {
    pugi::xml_document out;
    pugi::xml_node root = CopyWithNewRoot(doc, out);
    SetDeclaration(out);
    BuildRoot(root, config);
    std::filesystem::path partial = file;
    partial += ".new";
    if (!SaveKeepingCarriageReturns(out, partial)) return;
    std::error_code error;
    std::filesystem::rename(partial, file, error);
    if (error) std::filesystem::remove(partial, error);
  } catch (...) {
    // The file is rewritten at every refresh; a failed rewrite keeps the old
    // one and is not worth interrupting the user for.
  }
}

}  // namespace kestrova::publishing
