// SQLite store. Concurrency: the file runs in WAL mode so readers never wait
// for a writer, and every thread borrows its own connection from a small pool
// (a SQLite connection must not be used by two threads at once, and one
// shared connection behind a mutex would serialise the readers too). Writes
// start with BEGIN IMMEDIATE so two writers queue on the busy timeout instead
// of failing half-way with SQLITE_BUSY on the lock upgrade.
#include "sqlite_store.h"

#include <sqlite3.h>

#include <filesystem>
#include <mutex>
#include <type_traits>
#include <vector>

#include "store_columns.h"
#include "store_schema.h"

namespace kestrova::service {
namespace {

constexpr int kBusyTimeoutMs = 10000;

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  throw StoreError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    throw StoreError(std::string("sqlite: ") + text);
  }
}

// One prepared statement with bound parameters; finalised when it goes away.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK)
      Fail(db, "sqlite prepare");
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(const std::string& value) {
    check(sqlite3_bind_text(stmt_, ++bound_, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& bind(std::int64_t value) {
    check(sqlite3_bind_int64(stmt_, ++bound_, value));
    return *this;
  }
  Statement& bind(bool value) { return bind(static_cast<std::int64_t>(value ? 1 : 0)); }

  // True while there is a row to read.
  bool step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(db_, "sqlite step");
  }
  std::string text(int column) const {
    const unsigned char* p = sqlite3_column_text(stmt_, column);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt_, column)) : std::string();
  }
  std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }

 private:
  void check(int rc) {
    if (rc != SQLITE_OK) Fail(db_, "sqlite bind");
  }
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  int bound_ = 0;
};

class ConnectionPool {
 public:
  explicit ConnectionPool(std::string path) : path_(std::move(path)) {}
  ~ConnectionPool() {
    for (sqlite3* db : idle_) sqlite3_close_v2(db);
  }

  // A connection lent to one thread for the length of one store call.
  class Lease {
   public:
    Lease(ConnectionPool& pool, sqlite3* db) : pool_(pool), db_(db) {}
    ~Lease() { pool_.giveBack(db_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    sqlite3* get() const { return db_; }

   private:
    ConnectionPool& pool_;
    sqlite3* db_;
  };

  Lease borrow() {
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        sqlite3* db = idle_.back();
        idle_.pop_back();
        return Lease(*this, db);
      }
    }
    return Lease(*this, open());
  }

 private:
  sqlite3* open() {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path_.c_str(), &db, flags, nullptr) != SQLITE_OK) {
      std::string message = db ? sqlite3_errmsg(db) : "out of memory";
      sqlite3_close_v2(db);
      throw StoreError("cannot open " + path_ + ": " + message);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    try {
      Exec(db, "PRAGMA foreign_keys = ON");
    } catch (...) {
      sqlite3_close_v2(db);
      throw;
    }
    return db;
  }
  void giveBack(sqlite3* db) {
    std::lock_guard lock(mutex_);
    idle_.push_back(db);
  }

  std::string path_;
  std::mutex mutex_;
  std::vector<sqlite3*> idle_;
};

class SqliteStore final : public Store {
 public:
  explicit SqliteStore(const std::string& path) : pool_(path) {
    auto db = pool_.borrow();
    Exec(db.get(), "PRAGMA journal_mode = WAL");
    Exec(db.get(), "BEGIN IMMEDIATE");
    try {
      Exec(db.get(), StoreSchema(kSqliteRowId).c_str());
      Exec(db.get(), "COMMIT");
    } catch (...) {
      sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::int64_t addCompany(const NewCompany& company, const std::vector<NewVideo>& videos) override {
    return write([&](sqlite3* db) {
      // Every company column but the leading "id, ", which SQLite assigns.
      Statement insert(db, std::string("INSERT INTO companies (") + (columns::kCompany + 4) +
                               ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
      insert.bind(company.account).bind(company.passwordHash).bind(company.tvtype);
      bindProfile(insert, company.profile);
      insert.step();
      std::int64_t id = sqlite3_last_insert_rowid(db);
      for (const NewVideo& video : videos) insertVideo(db, id, video);
      return id;
    });
  }

  std::optional<Company> findCompanyByAccount(const std::string& account) override {
    return findCompany("account = ?", [&](Statement& s) { s.bind(account); });
  }

  std::optional<Company> findCompanyById(std::int64_t id) override {
    return findCompany("id = ?", [&](Statement& s) { s.bind(id); });
  }

  bool updateProfile(std::int64_t companyId, const CompanyProfile& profile) override {
    return write([&](sqlite3* db) {
      Statement update(db,
                       "UPDATE companies SET name=?, title=?, tel=?, fax=?, qq=?, skype=?, msn=?, email=?, "
                       "dsp_ent_card=?, dsp_play_zhimo=?, auto_play=?, auto_cre=?, dsp_logo=?, ftp_path=?, "
                       "ftp_addr=?, ftp_port=?, ftp_account=?, ftp_password=?, domain=? WHERE id=?");
      bindProfile(update, profile);
      update.bind(companyId).step();
      return sqlite3_changes(db) > 0;
    });
  }

  bool updatePasswordHash(std::int64_t companyId, const std::string& passwordHash) override {
    return write([&](sqlite3* db) {
      Statement(db, "UPDATE companies SET password_hash=? WHERE id=?").bind(passwordHash).bind(companyId).step();
      return sqlite3_changes(db) > 0;
    });
  }

  std::vector<Video> listVideos(std::int64_t companyId) override {
    auto db = pool_.borrow();
    Statement select(db.get(), std::string("SELECT ") + columns::kVideo +
                                   " FROM videos WHERE company_id = ? ORDER BY sort, id");
    select.bind(companyId);
    std::vector<Video> videos;
    while (select.step()) videos.push_back(columns::VideoFromRow(select));
    return videos;
  }

  std::int64_t addVideo(std::int64_t companyId, const NewVideo& video) override {
    return write([&](sqlite3* db) { return insertVideo(db, companyId, video); });
  }

  bool updateVideo(std::int64_t companyId, const VideoEdit& edit) override {
    return write([&](sqlite3* db) {
      Statement(db, "UPDATE videos SET sort=?, title=?, memo=?, zhimo=?, state=? WHERE id=? AND company_id=?")
          .bind(edit.sort)
          .bind(edit.title)
          .bind(edit.memo)
          .bind(edit.zhimo)
          .bind(edit.state)
          .bind(edit.id)
          .bind(companyId)
          .step();
      return sqlite3_changes(db) > 0;
    });
  }

  bool deleteVideo(std::int64_t companyId, std::int64_t videoId) override {
    return write([&](sqlite3* db) {
      Statement(db, "DELETE FROM videos WHERE id=? AND company_id=?").bind(videoId).bind(companyId).step();
      return sqlite3_changes(db) > 0;
    });
  }

 private:
  // Runs work inside one write transaction: committed when it returns,
  // rolled back when it throws.
  template <typename Work>
  std::invoke_result_t<Work, sqlite3*> write(Work work) {
    auto lease = pool_.borrow();
    sqlite3* db = lease.get();
    Exec(db, "BEGIN IMMEDIATE");
    try {
      auto result = work(db);
      Exec(db, "COMMIT");
      return result;
    } catch (...) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  template <typename Bind>
  std::optional<Company> findCompany(const char* where, Bind bind) {
    auto db = pool_.borrow();
    Statement select(db.get(), std::string("SELECT ") + columns::kCompany + " FROM companies WHERE " + where);
    bind(select);
    if (!select.step()) return std::nullopt;
    return columns::CompanyFromRow(select);
  }

  static void bindProfile(Statement& s, const CompanyProfile& p) {
    s.bind(p.name).bind(p.title).bind(p.tel).bind(p.fax).bind(p.qq).bind(p.skype).bind(p.msn).bind(p.email);
    s.bind(p.dspEntCard).bind(p.dspPlayZhimo).bind(p.autoPlay).bind(p.autoCre).bind(p.dspLogo);
    s.bind(p.ftpPath).bind(p.ftpAddr).bind(p.ftpPort).bind(p.ftpAccount).bind(p.ftpPassword).bind(p.domain);
  }

  static std::int64_t insertVideo(sqlite3* db, std::int64_t companyId, const NewVideo& v) {
    Statement(db,
              "INSERT INTO videos (company_id, title, duration, framerate, file_size, file_name, sort, "
              "create_date, state, memo, zhimo) VALUES (?, ?, ?, ?, ?, ?, "
              "(SELECT COALESCE(MAX(sort), 0) + 1 FROM videos WHERE company_id = ?), ?, ?, ?, ?)")
        .bind(companyId)
        .bind(v.title)
        .bind(v.duration)
        .bind(v.framerate)
        .bind(v.fileSize)
        .bind(v.fileName)
        .bind(companyId)
        .bind(v.createDate)
        .bind(v.state)
        .bind(v.memo)
        .bind(v.zhimo)
        .step();
    return sqlite3_last_insert_rowid(db);
  }

  ConnectionPool pool_;
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::error_code ignored;
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  return std::make_unique<SqliteStore>(path);
}

}  // namespace kestrova::service
