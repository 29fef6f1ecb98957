// Readers that take values out of the back end's XML replies.
#pragma once

#include <pugixml.hpp>
#include <stdexcept>
#include <string>

#include "videofile.h"

namespace kestrova::service {

// A reply that is not well-formed XML. It ends the handler that reads it; the
// application's top-level error display shows what().
class ReplyParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The first child element of node whose name equals name (letter case counts),
// or an empty node.
pugi::xml_node findChildByName(pugi::xml_node node, const std::string& name);

// Walks path ("data.msg.item") from the document element and returns the
// named attribute of the element reached. A path that leads nowhere gives "";
// a missing or empty attribute gives "error".
std::string getReplyValue(const std::string& reply, const std::string& path, const std::string& attribute);

// Reads every child of data/msg into a record. The list is as long as msg has
// children; reading stops at the first child that lacks one of the eleven
// attributes, leaving that record partly filled and the rest empty.
TvideofileList parseVideoList(const std::string& reply);

}  // namespace kestrova::service
