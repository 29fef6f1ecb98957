#include "reply_readers.h"

#include <array>
#include <vector>

namespace kestrova::service {

namespace {

pugi::xml_document ParseReply(const std::string& reply) {
  pugi::xml_document doc;
  pugi::xml_parse_result result = doc.load_buffer(reply.data(), reply.size(), pugi::parse_default,
                                                  pugi::encoding_utf8);
  if (!result) {
    throw ReplyParseError("服务器返回的数据格式不正确：" + std::string(result.description()) + "（位置 " +
                          std::to_string(result.offset) + "）");
  }
  return doc;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> steps;
  size_t start = 0;
  while (true) {
    size_t dot = path.find('.', start);
    steps.push_back(path.substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return steps;
}

}  // namespace

pugi::xml_node findChildByName(pugi::xml_node node, const std::string& name) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_element && name == child.name()) return child;
  }
  return {};
}

std::string getReplyValue(const std::string& reply, const std::string& path, const std::string& attribute) {
  pugi::xml_document doc = ParseReply(reply);
  std::vector<std::string> steps = SplitPath(path);
  pugi::xml_node current = doc.document_element();
  if (!current || steps.front() != current.name()) return "";
  for (size_t i = 1; i < steps.size(); ++i) {
    current = findChildByName(current, steps[i]);
    if (!current) return "";
  }
  pugi::xml_attribute attr = current.attribute(attribute.c_str());
  if (!attr || attr.value()[0] == '\0') return "error";
  return attr.value();
}

TvideofileList parseVideoList(const std::string& reply) {
  pugi::xml_document doc = ParseReply(reply);
  pugi::xml_node data = doc.document_element();
  if (!data || std::string("data") != data.name()) return {};
  pugi::xml_node msg = findChildByName(data, "msg");
  if (!msg) return {};

  size_t count = 0;
  for (auto it = msg.begin(); it != msg.end(); ++it) ++count;
  TvideofileList list(count);

  // Attribute names in reading order, with the field each one fills.
  const std::array<std::pair<const char*, std::string Tvideofile::*>, 11> fields{{
      {"id", &Tvideofile::id},
      {"title", &Tvideofile::title},
      {"duration", &Tvideofile::duration},
      {"fileName", &Tvideofile::fileName},
      {"framerate", &Tvideofile::framerate},
      {"fileSize", &Tvideofile::fileSize},
      {"sort", &Tvideofile::sort},
      {"createDate", &Tvideofile::createDate},
      {"state", &Tvideofile::state},
      {"memo", &Tvideofile::memo},
      {"zhimo", &Tvideofile::zhimo},
  }};

  size_t index = 0;
  for (pugi::xml_node child : msg.children()) {
    Tvideofile& record = list[index++];
    for (auto& [name, member] : fields) {
      pugi::xml_attribute attr = child.attribute(name);
      if (!attr) return list;
      record.*member = attr.value();
    }
  }
  return list;
}

}  // namespace kestrova::service
