// The service's storage: companies (account, password hash, profile) and
// their video catalogues. One interface, one implementation per database, so
// the request handlers never know which database they run on.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrova::service {

// The company card, the player flags and the FTP settings: everything the
// desktop tool receives at sign-in and sends back when the user edits it.
struct CompanyProfile {
  std::string name, title, tel, fax, qq, skype, msn, email;
  bool dspEntCard = false, dspPlayZhimo = false, autoPlay = false, autoCre = false, dspLogo = false;
  std::string ftpPath, ftpAddr, ftpPort, ftpAccount, ftpPassword, domain;

  bool operator==(const CompanyProfile&) const = default;
};

// The longest account name, in characters; both schemas check it.
inline constexpr size_t kMaxAccountLength = 200;

struct Company {
  std::int64_t id = 0;
  std::string account;
  std::string passwordHash;
  std::string tvtype;
  CompanyProfile profile;
};

struct NewCompany {
  std::string account;
  std::string passwordHash;
  std::string tvtype;
  CompanyProfile profile;
};

// One catalogue video. Duration, frame rate and size are kept as the tool
// reports them (display texts), so they round-trip unchanged.
struct Video {
  std::int64_t id = 0;
  std::int64_t companyId = 0;
  std::string title, duration, fileName, framerate, fileSize;
  std::int64_t sort = 0;
  std::string createDate, state, memo, zhimo;
};

struct NewVideo {
  std::string fileName, zhimo, title, duration, framerate, fileSize, state, memo;
  std::string createDate;  // "YYYY-MM-DD HH:MM:SS", set by the caller
};

// The fields a user may change on an existing video.
struct VideoEdit {
  std::int64_t id = 0;
  std::int64_t sort = 0;
  std::string title, memo, zhimo, state;
};

// Raised when the database refuses a write (constraint, lost connection...).
// The write it interrupted has been rolled back.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Store {
 public:
  virtual ~Store() = default;

  // Creates the company and its initial videos in one transaction: either all
  // of it is stored or nothing is. Throws StoreError (for example when the
  // account exists already).
  virtual std::int64_t addCompany(const NewCompany& company, const std::vector<NewVideo>& videos = {}) = 0;
  virtual std::optional<Company> findCompanyByAccount(const std::string& account) = 0;
  virtual std::optional<Company> findCompanyById(std::int64_t id) = 0;
  // False when no such company exists.
  virtual bool updateProfile(std::int64_t companyId, const CompanyProfile& profile) = 0;
  virtual bool updatePasswordHash(std::int64_t companyId, const std::string& passwordHash) = 0;

  // The catalogue in play order: by sort, then by id.
  virtual std::vector<Video> listVideos(std::int64_t companyId) = 0;
  // Appends a video after the company's last one (largest sort + 1) and
  // returns its id.
  virtual std::int64_t addVideo(std::int64_t companyId, const NewVideo& video) = 0;
  // Both change nothing and return false unless the video belongs to the
  // company.
  virtual bool updateVideo(std::int64_t companyId, const VideoEdit& edit) = 0;
  virtual bool deleteVideo(std::int64_t companyId, std::int64_t videoId) = 0;

  // A number that changes with every committed change to the company's
  // catalogue, by any process; nothing when only this process writes the
  // database (then its own writes are all there is to know).
  virtual std::optional<std::uint64_t> catalogueVersion(std::int64_t) { return std::nullopt; }
};

// How the service uses a database server (PostgreSQL; SQLite ignores them).
struct StoreOptions {
  int poolSize = 8;  // connections per process at most
  std::chrono::milliseconds poolWait{5000};  // for a free connection, then "busy"
  std::chrono::milliseconds statementTimeout{10000};  // 0: none
};

// Opens the store a --db text names: "sqlite:PATH" or a "postgresql://" /
// "postgres://" connection string. Creates the schema when it is missing.
// Throws std::invalid_argument for an unknown kind, StoreError when the
// database cannot be opened.
std::unique_ptr<Store> OpenStore(const std::string& location, const StoreOptions& options = {});

}  // namespace kestrova::service
