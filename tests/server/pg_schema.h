// A PostgreSQL schema of the test's own in the database KESTROVA_TEST_PG
// names, dropped afterwards: the --db text for services that share it.
#pragma once

#include <pqxx/pqxx>
#include <random>
#include <string>

namespace kestrova::test {

class PgSchema {
 public:
  PgSchema() {
    const char* pg = std::getenv("KESTROVA_TEST_PG");
    if (!pg || !*pg) return;
    admin_ = pg;
    name_ = "instances_" + std::to_string(std::random_device{}()) + std::to_string(std::random_device{}());
    pqxx::connection c(admin_);
    pqxx::work tx(c);
    tx.exec("CREATE SCHEMA " + name_);
    tx.commit();
  }
  ~PgSchema() {
    if (name_.empty()) return;
    try {
      pqxx::connection c(admin_);
      pqxx::work tx(c);
      tx.exec("DROP SCHEMA " + name_ + " CASCADE");
      tx.commit();
    } catch (...) {
    }
  }
  bool available() const { return !name_.empty(); }
  std::string db() const {
    return admin_ + (admin_.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + name_;
  }
  // Runs one query on the schema; the first column of the first row.
  std::string query(const std::string& sql) const {
    pqxx::connection c(db());
    pqxx::work tx(c);
    auto rows = tx.exec(sql);
    return rows.empty() || rows[0][0].is_null() ? "" : rows[0][0].as<std::string>();
  }

 private:
  std::string admin_, name_;
};

}  // namespace kestrova::test
