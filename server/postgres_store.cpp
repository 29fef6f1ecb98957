// PostgreSQL store. Each thread borrows a connection from the bounded pool for
// the length of one store call; a connection that broke is dropped, not
// returned. Every call runs in one transaction, so a failure leaves nothing
// behind.
#include "postgres_store.h"

#include <mutex>
#include <type_traits>
#include <pqxx/pqxx>
#include <vector>

#include "postgres_shared_state.h"
#include "store_columns.h"
#include "store_schema.h"

namespace kestrova::service {
namespace {

// Adapts a pqxx row to the text(i) / integer(i) reader the row mappers use.
struct RowReader {
  const pqxx::row& row;
  std::string text(int i) const { return row[i].as<std::string>(); }
  std::int64_t integer(int i) const { return row[i].as<std::int64_t>(); }
};

int Flag(bool on) { return on ? 1 : 0; }

class PostgresStore final : public Store {
 public:
  explicit PostgresStore(std::shared_ptr<PostgresPool> pool) : pool_(std::move(pool)) {
    run([](pqxx::work& tx) {
      // Instances starting side by side would race to create the same
      // tables; the lock lets one create them and the others find them.
      tx.exec("SELECT pg_advisory_xact_lock(7461737472)");
      tx.exec(StoreSchema(kPostgresRowId));
      tx.exec(SharedStateSchema());
      return 0;
    });
  }

  std::optional<std::uint64_t> catalogueVersion(std::int64_t companyId) override {
    return pool_->runStatement([&](pqxx::nontransaction& tx) -> std::uint64_t {
      auto rows = tx.exec_params("SELECT version FROM catalogue_versions WHERE company_id = $1", companyId);
      return rows.empty() ? 0 : rows[0][0].as<std::uint64_t>();
    });
  }

  std::int64_t addCompany(const NewCompany& company, const std::vector<NewVideo>& videos) override {
    return run([&](pqxx::work& tx) {
      const CompanyProfile& p = company.profile;
      auto row = tx.exec_params1(
          std::string("INSERT INTO companies (") + (columns::kCompany + 4) +  // all but the leading "id, "
              ") VALUES ($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14,$15,$16,$17,$18,$19,$20,$21,$22) "
              "RETURNING id",
          company.account, company.passwordHash, company.tvtype, p.name, p.title, p.tel, p.fax, p.qq, p.skype,
          p.msn, p.email, Flag(p.dspEntCard), Flag(p.dspPlayZhimo), Flag(p.autoPlay), Flag(p.autoCre),
          Flag(p.dspLogo), p.ftpPath, p.ftpAddr, p.ftpPort, p.ftpAccount, p.ftpPassword, p.domain);
      std::int64_t id = row[0].as<std::int64_t>();
      for (const NewVideo& video : videos) insertVideo(tx, id, video);
      return id;
    });
  }

  std::optional<Company> findCompanyByAccount(const std::string& account) override {
    return run([&](pqxx::work& tx) {
      return firstCompany(
          tx.exec_params(std::string("SELECT ") + columns::kCompany + " FROM companies WHERE account = $1", account));
    });
  }

  std::optional<Company> findCompanyById(std::int64_t id) override {
    return run([&](pqxx::work& tx) {
      return firstCompany(
          tx.exec_params(std::string("SELECT ") + columns::kCompany + " FROM companies WHERE id = $1", id));
    });
  }

  bool updateProfile(std::int64_t companyId, const CompanyProfile& p) override {
    return run([&](pqxx::work& tx) {
      auto r = tx.exec_params(
          "UPDATE companies SET name=$1, title=$2, tel=$3, fax=$4, qq=$5, skype=$6, msn=$7, email=$8, "
          "dsp_ent_card=$9, dsp_play_zhimo=$10, auto_play=$11, auto_cre=$12, dsp_logo=$13, ftp_path=$14, "
          "ftp_addr=$15, ftp_port=$16, ftp_account=$17, ftp_password=$18, domain=$19 WHERE id=$20",
          p.name, p.title, p.tel, p.fax, p.qq, p.skype, p.msn, p.email, Flag(p.dspEntCard), Flag(p.dspPlayZhimo),
          Flag(p.autoPlay), Flag(p.autoCre), Flag(p.dspLogo), p.ftpPath, p.ftpAddr, p.ftpPort, p.ftpAccount,
          p.ftpPassword, p.domain, companyId);
      return r.affected_rows() > 0;
    });
  }

  bool updatePasswordHash(std::int64_t companyId, const std::string& passwordHash) override {
    return run([&](pqxx::work& tx) {
      return tx.exec_params("UPDATE companies SET password_hash=$1 WHERE id=$2", passwordHash, companyId)
                 .affected_rows() > 0;
    });
  }

  std::vector<Video> listVideos(std::int64_t companyId) override {
    return run([&](pqxx::work& tx) {
      auto rows = tx.exec_params(
          std::string("SELECT ") + columns::kVideo + " FROM videos WHERE company_id = $1 ORDER BY sort, id",
          companyId);
      std::vector<Video> videos;
      videos.reserve(rows.size());
      for (const auto& row : rows) videos.push_back(columns::VideoFromRow(RowReader{row}));
      return videos;
    });
  }

  std::int64_t addVideo(std::int64_t companyId, const NewVideo& video) override {
    return run([&](pqxx::work& tx) {
      // Locking the company row queues concurrent additions for the same
      // company, so each one sees the sort number the previous one took.
      if (tx.exec_params("SELECT id FROM companies WHERE id = $1 FOR UPDATE", companyId).empty())
        throw StoreError("no company with id " + std::to_string(companyId));
      return insertVideo(tx, companyId, video);
    });
  }

  bool updateVideo(std::int64_t companyId, const VideoEdit& e) override {
    return run([&](pqxx::work& tx) {
      return tx.exec_params(
                   "UPDATE videos SET sort=$1, title=$2, memo=$3, zhimo=$4, state=$5 WHERE id=$6 AND company_id=$7",
                   e.sort, e.title, e.memo, e.zhimo, e.state, e.id, companyId)
                 .affected_rows() > 0;
    });
  }

  bool deleteVideo(std::int64_t companyId, std::int64_t videoId) override {
    return run([&](pqxx::work& tx) {
      return tx.exec_params("DELETE FROM videos WHERE id=$1 AND company_id=$2", videoId, companyId).affected_rows() >
             0;
    });
  }

 private:
  template <typename Work>
  std::invoke_result_t<Work, pqxx::work&> run(Work work) {
    return pool_->run(std::move(work));
  }

  static std::optional<Company> firstCompany(const pqxx::result& rows) {
    if (rows.empty()) return std::nullopt;
    return columns::CompanyFromRow(RowReader{rows[0]});
  }

  static std::int64_t insertVideo(pqxx::work& tx, std::int64_t companyId, const NewVideo& v) {
    auto row = tx.exec_params1(
        "INSERT INTO videos (company_id, title, duration, framerate, file_size, file_name, sort, create_date, "
        "state, memo, zhimo) VALUES ($1, $2, $3, $4, $5, $6, "
        "(SELECT COALESCE(MAX(sort), 0) + 1 FROM videos WHERE company_id = $1), $7, $8, $9, $10) RETURNING id",
        companyId, v.title, v.duration, v.framerate, v.fileSize, v.fileName, v.createDate, v.state, v.memo, v.zhimo);
    return row[0].as<std::int64_t>();
  }

  std::shared_ptr<PostgresPool> pool_;
};

}  // namespace

std::unique_ptr<Store> OpenPostgresStore(std::shared_ptr<PostgresPool> pool) {
  return std::make_unique<PostgresStore>(std::move(pool));
}

}  // namespace kestrova::service
