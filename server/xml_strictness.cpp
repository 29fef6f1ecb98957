#include "xml_strictness.h"

#include <pugixml.hpp>

#include <cstring>
#include <set>

namespace kestrova::service {
namespace {

// No request text needs more than a handful of levels; a cap keeps every
// later walk of the tree cheap and shallow.
constexpr size_t kMaxElementDepth = 32;

// XML 1.0's Char production: what a document may hold, literally or by
// reference. Everything else (NUL, most control characters, surrogates,
// U+FFFE/U+FFFF) makes strict readers give up on the whole text.
bool IsXmlChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

std::string At(size_t offset) { return " at byte " + std::to_string(offset); }

// Decodes the text as UTF-8 and checks every character; the databases and
// the tool expect UTF-8, so anything else is turned away at the door.
std::string EncodingProblem(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra;
    char32_t min;
    if (c < 0x80) {
      extra = 0, min = 0;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, min = 0x10000;
    } else {
      return "request is not UTF-8 text" + At(i);
    }
    if (i + extra >= text.size() && extra > 0) return "request is not UTF-8 text" + At(i);
    char32_t cp = extra ? (c & (0x3F >> extra)) : c;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return "request is not UTF-8 text" + At(i);
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return "request is not UTF-8 text" + At(i);
    if (!IsXmlChar(cp)) return "request holds a character XML does not allow" + At(i);
    i += extra + 1;
  }
  return {};
}

bool IsDigit(char c, bool hex) {
  return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

int DigitValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// The reference starting at text[at] == '&': one of the five named entities
// or a number naming an allowed character (leading zeros are legal, so the
// digits are read one by one rather than up to a fixed length). Returns its
// length (through the ';') or 0 when it is not one.
size_t ReferenceLength(std::string_view text, size_t at) {
  for (std::string_view entity : {"&lt;", "&gt;", "&amp;", "&quot;", "&apos;"})
    if (text.substr(at, entity.size()) == entity) return entity.size();
  if (text.substr(at, 2) != "&#") return 0;
  size_t i = at + 2;
  bool hex = i < text.size() && text[i] == 'x';
  if (hex) ++i;
  size_t firstDigit = i;
  unsigned long value = 0;
  for (; i < text.size() && IsDigit(text[i], hex); ++i) {
    value = value * (hex ? 16 : 10) + DigitValue(text[i]);
    if (value > 0x10FFFF) return 0;
  }
  if (i == firstDigit || i >= text.size() || text[i] != ';') return 0;
  if (!IsXmlChar(static_cast<char32_t>(value))) return 0;
  return i - at + 1;
}

bool StartsWith(std::string_view text, size_t at, std::string_view prefix) {
  return text.substr(at, prefix.size()) == prefix;
}

// A processing instruction named "xml" (any letter case) is the XML
// declaration, allowed only as the very first thing in the text.
bool IsDeclaration(std::string_view text, size_t at) {
  if (text.size() < at + 6) return false;
  for (size_t k = 0; k < 3; ++k)
    if ((text[at + 2 + k] | 0x20) != "xml"[k]) return false;
  char after = text[at + 5];
  return after == ' ' || after == '\t' || after == '\r' || after == '\n' || after == '?';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Walks the markup. Comments, processing instructions and CDATA sections are
// stepped over by their own rules rather than ending the walk, so what comes
// after them is checked like everything else. Element depth is followed
// because pugixml silently drops text after the root element.
std::string MarkupProblem(std::string_view text) {
  // A byte-order mark may open a UTF-8 document.
  const size_t bomLength = StartsWith(text, 0, "\xEF\xBB\xBF") ? 3 : 0;
  size_t i = bomLength;
  bool inTag = false, closingTag = false, rootDone = false;
  char quote = 0;
  size_t depth = 0;
  while (i < text.size()) {
    char c = text[i];
    if (!inTag && depth == 0 && !IsBlank(c) && c != '<') return "text outside the root element" + At(i);
    if (c == '&') {
      size_t length = ReferenceLength(text, i);
      if (!length) return "\"&\" that starts no allowed character reference" + At(i);
      i += length;
      continue;
    }
    if (quote) {
      if (c == quote) quote = 0;
      else if (c == '<') return "\"<\" inside an attribute value" + At(i);
    } else if (inTag) {
      if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        inTag = false;
        bool selfClosing = text[i - 1] == '/';
        if (closingTag) {
          --depth;
        } else if (!selfClosing && ++depth > kMaxElementDepth) {
          return "elements nested deeper than " + std::to_string(kMaxElementDepth) + " levels" + At(i);
        }
        if (depth == 0) rootDone = true;
      }
    } else if (c == '<') {
      std::string_view close;
      if (StartsWith(text, i, "<!--")) {
        close = "-->";
      } else if (StartsWith(text, i, "<![CDATA[")) {
        if (depth == 0) return "text outside the root element" + At(i);
        close = "]]>";
      } else if (StartsWith(text, i, "<?")) {
        if (IsDeclaration(text, i) && i != bomLength) return "XML declaration not at the start" + At(i);
        close = "?>";
      } else if (StartsWith(text, i, "<!")) {
        return "DOCTYPE and other declarations are not accepted" + At(i);
      }
      if (!close.empty()) {
        size_t end = text.find(close, i + 2);
        if (end == std::string_view::npos) return "unterminated markup" + At(i);
        // Inside comments and CDATA nothing is a reference: skip it whole.
        i = end + close.size();
        continue;
      }
      closingTag = StartsWith(text, i, "</");
      if (rootDone && !closingTag) return "content after the root element" + At(i);
      inTag = true;
    }
    ++i;
  }
  return {};
}

// Every element in document order, walked with pugixml's own iteration
// rather than a recursion of ours, so the walk needs no stack per level.
std::string RepeatedAttribute(const pugi::xml_document& doc) {
  struct Walker : pugi::xml_tree_walker {
    std::string problem;
    bool for_each(pugi::xml_node& element) override {
      if (element.type() != pugi::node_element) return true;
      std::set<std::string_view> names;
      for (pugi::xml_attribute a : element.attributes()) {
        if (!names.insert(a.name()).second) {
          problem = std::string("attribute \"") + a.name() + "\" given twice on <" + element.name() + ">";
          return false;
        }
      }
      return true;
    }
  } walker;
  const_cast<pugi::xml_document&>(doc).traverse(walker);
  return walker.problem;
}

}  // namespace

std::string RawTextProblem(std::string_view text) {
  if (std::string problem = EncodingProblem(text); !problem.empty()) return problem;
  return MarkupProblem(text);
}

std::string DocumentProblem(const pugi::xml_document& doc) {
  int elements = 0;
  for (pugi::xml_node node = doc.first_child(); node; node = node.next_sibling()) {
    switch (node.type()) {
      case pugi::node_element:
        ++elements;
        break;
      case pugi::node_comment:
      case pugi::node_pi:
      case pugi::node_declaration:
        break;
      default:
        return "text outside the root element";
    }
  }
  if (elements != 1) return elements ? "more than one root element" : "no root element";
  return RepeatedAttribute(doc);
}

}  // namespace kestrova::service
