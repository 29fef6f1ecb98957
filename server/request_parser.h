// Reads the request texts the desktop tool posts: the "ReceiveService"
// envelope around a <data> body with a message type and one <item> whose
// attributes carry the values.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::service {

struct ServiceRequest {
  // "loadMainFlash", "getByCompIdVideoList", "editUploadFile", ...
  std::string type;
  // Attributes of the first <item> under <msg>.
  std::map<std::string, std::string> item;

  // The attribute's value, or nothing when it is absent.
  std::optional<std::string> value(const std::string& name) const;
};

struct ParsedRequest {
  std::optional<ServiceRequest> request;  // set when the text was understood
  std::string error;                      // why not, for the failure reply
  // When the text could not be read as a request: the message type a
  // tolerant scan still finds in it (empty if none), so the caller can answer
  // under the command the tool waits for.
  std::string guessedType;
};

ParsedRequest ParseRequestText(std::string_view body);

// The first attribute of the request's <item> that its type never carries,
// or "" when there is none (or the type is unknown).
std::string UnexpectedAttribute(const ServiceRequest& request);

// Looks for a known message type in a text that is not well-formed XML
// (values go into requests unescaped, so a quote in a title breaks them).
// Only the start of the text is scanned; the type comes first.
std::string GuessMessageType(std::string_view body);

// The command name the tool expects on the reply to a message type, or
// nothing for a type this service does not know.
std::optional<std::string> ReplyCommandFor(const std::string& messageType);

}  // namespace kestrova::service
