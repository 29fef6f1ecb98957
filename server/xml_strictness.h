// The well-formedness rules the service holds request texts to, beyond what
// pugixml checks by itself. pugixml is forgiving by design: it takes a lone
// "&" or a "<" inside an attribute literally, decodes references to
// characters XML forbids, keeps the first of two equal attribute names and
// ignores text after the root element. Each of those let a typed value be
// read as something else, so the service refuses them all.
#pragma once

#include <string>
#include <string_view>

namespace pugi {
class xml_document;
}

namespace kestrova::service {

// Checks the raw text: UTF-8 of characters XML allows, references that name
// allowed characters, no "<" in attribute values, no DOCTYPE, an XML
// declaration only at the very start. Returns why the text fails, or "".
std::string RawTextProblem(std::string_view text);

// Checks a parsed document: exactly one root element and nothing but
// comments or processing instructions beside it, and no element with the
// same attribute name twice. Returns why, or "".
std::string DocumentProblem(const pugi::xml_document& doc);

}  // namespace kestrova::service
