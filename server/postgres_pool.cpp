#include "postgres_pool.h"

namespace kestrova::service {

PostgresPool::PostgresPool(std::string connectionString, const StoreOptions& options)
    : connectionString_(std::move(connectionString)), options_(options) {}

PostgresPool::Lease PostgresPool::borrow() {
  {
    std::unique_lock lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + options_.poolWait;
    while (idle_.empty() && lent_ >= options_.poolSize)
      if (returned_.wait_until(lock, deadline) == std::cv_status::timeout && idle_.empty() &&
          lent_ >= options_.poolSize)
        throw StoreError("every database connection is busy");
    ++lent_;
    while (!idle_.empty()) {
      auto c = std::move(idle_.back());
      idle_.pop_back();
      if (c->is_open()) return Lease(*this, std::move(c));
    }
  }
  try {
    return Lease(*this, connect());
  } catch (const std::exception& e) {
    {
      std::lock_guard lock(mutex_);
      --lent_;
    }
    returned_.notify_one();
    throw StoreError(std::string("cannot connect to PostgreSQL: ") + e.what());
  }
}

std::unique_ptr<pqxx::connection> PostgresPool::connect() {
  auto c = std::make_unique<pqxx::connection>(connectionString_);
  if (options_.statementTimeout.count() > 0) {
    pqxx::nontransaction tx(*c);
    tx.exec("SET statement_timeout = " + std::to_string(options_.statementTimeout.count()));
  }
  return c;
}

void PostgresPool::dropIdle() {
  std::lock_guard lock(mutex_);
  idle_.clear();
}

void PostgresPool::giveBack(std::unique_ptr<pqxx::connection> c) {
  {
    std::lock_guard lock(mutex_);
    --lent_;
    if (c && c->is_open()) idle_.push_back(std::move(c));
  }
  returned_.notify_one();
}

}  // namespace kestrova::service
