// The site connection as the catalogue needs it to delete a video's files
// from the company's FTP server. The main window owns the real connection;
// this interface keeps the catalogue free of it.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrova::catalogue {

// A command the server refused; what() is the server's answer.
class SiteCommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SiteSync {
 public:
  virtual ~SiteSync() = default;
  // (Re)opens the connection from the panel's settings and reports its own
  // failures to the user. True when the connection is up afterwards.
  virtual bool connectFtp() = 0;
  // Changes to folder; when the server reports a size for name there, deletes
  // it. Throws SiteCommandError when the server refuses a command.
  virtual void deleteIfPresent(const std::string& folder, const std::string& name) = 0;
};

// The server folder of one kind of file: the trimmed site root, "/", kind.
std::string ServerFolder(const std::string& serverPath, const std::string& kind);

// Deletes base + ".html" from the site's "video" folder, then base + ".jpg"
// from its "zoom" folder, each only where the server has it. The first
// refusal ends the deletion there (SiteCommandError).
void DeleteServerVideoFiles(SiteSync& site, const std::string& serverPath, const std::string& base);

}  // namespace kestrova::catalogue
