// Connections to one PostgreSQL database, shared by the store and the
// instance-spanning state (sessions, the sign-in throttle). The pool has a
// bound: a request that finds every connection lent waits for one (up to
// the wait limit) instead of opening more, so N instances times the pool size
// is what the database must allow. Each connection carries the statement
// timeout, so a stuck query cannot hold a worker for good.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pqxx/pqxx>
#include <string>
#include <type_traits>
#include <vector>

#include "store.h"

namespace kestrova::service {

class PostgresPool {
 public:
  PostgresPool(std::string connectionString, const StoreOptions& options);

  // A connection of this pool, returned by Lease's destructor.
  class Lease {
   public:
    Lease(PostgresPool& pool, std::unique_ptr<pqxx::connection> c) : pool_(pool), connection_(std::move(c)) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { pool_.giveBack(std::move(connection_)); }
    pqxx::connection& operator*() { return *connection_; }
    pqxx::connection* operator->() { return connection_.get(); }

   private:
    PostgresPool& pool_;
    std::unique_ptr<pqxx::connection> connection_;
  };

  Lease borrow();
  // Forgets the idle connections: when the server dropped one, it dropped
  // them all (a restart, a failover), and each would fail one request.
  void dropIdle();

  // Runs work in one transaction on a borrowed connection: committed when it
  // returns, rolled back (by pqxx) when it throws. Database errors leave as
  // StoreError. A connection found broken before the commit means nothing
  // was stored, so the work runs once more on a fresh connection; a break
  // during the commit leaves the outcome unknown and is reported, never
  // repeated.
  template <typename Work>
  std::invoke_result_t<Work, pqxx::work&> run(Work work) {
    return runAs<pqxx::work>(std::move(work));
  }

  // For work of one statement that may safely run twice (a read, or a
  // write that lands the same either way): no BEGIN and COMMIT around it,
  // one round trip instead of three.
  template <typename Work>
  std::invoke_result_t<Work, pqxx::nontransaction&> runStatement(Work work) {
    return runAs<pqxx::nontransaction>(std::move(work));
  }

 private:
  template <typename Transaction, typename Work>
  std::invoke_result_t<Work, Transaction&> runAs(Work work) {
    for (int attempt = 1;; ++attempt) {
      Lease connection = borrow();
      try {
        Transaction tx(*connection);
        auto result = work(tx);
        tx.commit();
        return result;
      } catch (const StoreError&) {
        throw;
      } catch (const pqxx::in_doubt_error& e) {
        throw StoreError(std::string("PostgreSQL connection lost while committing: ") + e.what());
      } catch (const std::exception& e) {
        // Besides broken_connection, a server shutting a session down may
        // first answer with an error of its own; a closed connection after
        // it tells the same story.
        bool broken = dynamic_cast<const pqxx::broken_connection*>(&e) || !connection->is_open();
        if (!broken) throw StoreError(std::string("PostgreSQL: ") + e.what());
        dropIdle();
        if (attempt >= 2) throw StoreError(std::string("PostgreSQL connection lost: ") + e.what());
      }
    }
  }

  void giveBack(std::unique_ptr<pqxx::connection> c);
  std::unique_ptr<pqxx::connection> connect();

  std::string connectionString_;
  StoreOptions options_;
  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<pqxx::connection>> idle_;
  int lent_ = 0;
};

}  // namespace kestrova::service
