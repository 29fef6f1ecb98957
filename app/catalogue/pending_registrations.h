// Videos published into the data folder whose registration with the back end
// has not been confirmed yet (no answer, or a refusal). The list lives in a
// small file of the data folder, so it outlives the tool: the videos are
// registered again at the next sign-in, list refresh or retry, and until then
// their files are held back from the site's upload, where they would be
// orphans no playlist names.
//
// Plain standard C++ on purpose: the change scan of both the desktop tool and
// the terminal tool reads the list, and neither should need Qt or an XML
// library for a few lines of text.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrova::catalogue {

// What registering the video again needs, as its first request carried it.
struct PendingVideo {
  std::string fileName;  // the published name in data/video ("x.html")
  std::string companyid;
  std::string title;
  std::string zhimo;
  std::string duration;
  std::string framerate;
  std::string fileSize;
  bool operator==(const PendingVideo&) const = default;
};

// The list's file name inside the data folder. Its extension is none the
// upload filter takes, and the change scan skips it by name besides.
inline constexpr const char* kPendingRegistrationsFile = "pending_registrations.tsv";

std::filesystem::path PendingRegistrationsPath(const std::filesystem::path& dataFolder);

// The stored list; a missing file is an empty list. Lines that are not a
// whole entry (a hand edit, a damaged disk) are skipped.
std::vector<PendingVideo> ReadPendingRegistrations(const std::filesystem::path& dataFolder);

// Stores the list: written beside its name and renamed over, so a reader
// never sees half a list; an empty list removes the file. Returns "" or why
// it could not be stored.
std::string WritePendingRegistrations(const std::filesystem::path& dataFolder,
                                      const std::vector<PendingVideo>& videos);

// Adds video (replacing an entry of the same fileName) or removes the entry
// of fileName, read-modify-write on the stored list. Return as above.
std::string AddPendingRegistration(const std::filesystem::path& dataFolder, const PendingVideo& video);
std::string RemovePendingRegistration(const std::filesystem::path& dataFolder, const std::string& fileName);

// The data folder's files, relative to it ("video/x.html", "zoom/x.jpg"),
// that belong to the listed videos and must not reach the site yet.
std::vector<std::string> HeldBackFiles(const std::vector<PendingVideo>& videos);

}  // namespace kestrova::catalogue
