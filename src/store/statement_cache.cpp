#include "store/statement_cache.h"

#include "store/backend.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

#include <limits>

namespace taurelin {
namespace {

// The handlers' statements are a fixed set; a connection with more than this many different
// ones starts afresh rather than growing without bound.
constexpr size_t kMostStatements = 200;

// Outages are rare; a server that meets very many of them without a restart drops the oldest
// held queries anyway.
constexpr size_t kMostHeld = 2000;

bool Execute(QSqlQuery& query, const StatementCache::Bindings& bindings) {
  for (const auto& [name, value] : bindings) query.bindValue(name, value);
  return query.exec();
}

}  // namespace

StatementCache::~StatementCache() { forget(); }

// Drops a query. One whose session has ended is held instead: Qt would free its statement on
// the dead session, or on the connection's next one, and warn on standard error each time.
// Once its connection is removed, the query has no driver and drops without a word.
void StatementCache::drop(std::unique_ptr<QSqlQuery> query) {
  std::erase_if(held_, [](const std::unique_ptr<QSqlQuery>& q) { return q->driver() == nullptr; });
  if (!query || query->driver() == nullptr || query->driver()->isOpen()) return;
  if (held_.size() >= kMostHeld) held_.erase(held_.begin());
  held_.push_back(std::move(query));
}

void StatementCache::dropAll() {
  for (auto& [sql, queries] : kept_) {
    for (auto& query : queries) drop(std::move(query));
  }
  kept_.clear();
}

std::unique_ptr<QSqlQuery> StatementCache::prepare(QSqlDatabase& database, const QString& sql,
                                                   bool forwardOnly, QSqlError* error) {
  auto query = std::make_unique<QSqlQuery>(database);
  query->setForwardOnly(forwardOnly);
  if (!query->prepare(sql)) {
    *error = query->lastError();
    drop(std::move(query));
    return nullptr;
  }
  return query;
}

// A kept query, or a new one; `kept` tells which.
std::unique_ptr<QSqlQuery> StatementCache::take(QSqlDatabase& database, const QString& sql,
                                                bool forwardOnly, bool* kept, QSqlError* error) {
  *kept = false;
  if (keptOpening_ != opening_) {
    dropAll();
    keptOpening_ = opening_;
  }
  const auto found = kept_.find(sql);
  if (found == kept_.end() || found->second.empty()) {
    return prepare(database, sql, forwardOnly, error);
  }
  std::unique_ptr<QSqlQuery> query = std::move(found->second.back());
  found->second.pop_back();
  *kept = true;
  // A run binds every value it uses; none may remain from the run before. The bound values
  // are counted once: Qt hands out a list of them at each call.
  const qsizetype bound = query->boundValues().size();
  for (qsizetype i = 0; i < bound; ++i) query->bindValue(static_cast<int>(i), QVariant());
  return query;
}

std::unique_ptr<QSqlQuery> StatementCache::run(QSqlDatabase& database, const Backend& backend,
                                               const QString& sql, bool forwardOnly,
                                               const Bindings& bindings, QSqlError* error) {
  bool kept = false;
  std::unique_ptr<QSqlQuery> query = take(database, sql, forwardOnly, &kept, error);
  if (query && !Execute(*query, bindings)) {
    const QSqlError failure = query->lastError();
    // The connection's other kept queries may be as outdated as this one.
    if (kept && backend.planOutdated(database, failure)) {
      query.reset();
      forget();
      query = take(database, sql, forwardOnly, &kept, error);
      if (query && Execute(*query, bindings)) {
        ++queriesOut_;
        return query;
      }
    }
    // Not kept: a failed query prepares anew on its next run.
    if (query) *error = query->lastError();
    drop(std::move(query));
    return nullptr;
  }
  if (query) ++queriesOut_;
  return query;
}

void StatementCache::give(const QString& sql, std::unique_ptr<QSqlQuery> query) {
  if (!query) return;
  if (queriesOut_ > 0) --queriesOut_;
  query->finish();
  const QSqlDriver* driver = query->driver();
  // Its connection was forgotten, removed, lost or opened anew while the query was out.
  if (driver == nullptr || !driver->isOpen() || keptOpening_ != opening_) {
    drop(std::move(query));
    return;
  }
  if (kept_.size() >= kMostStatements && !kept_.contains(sql)) dropAll();
  kept_[sql].push_back(std::move(query));
}

void* StatementCache::handleStatement(std::string_view sql) const {
  const auto found = onHandle_.find(sql);
  return found == onHandle_.end() ? nullptr : found->second.statement;
}

void StatementCache::keepHandleStatement(std::string_view sql, void* statement,
                                         void (*finalize)(void*)) {
  onHandle_.emplace(std::string(sql), HandleStatement{statement, finalize});
}

void StatementCache::forget() {
  for (auto& [sql, kept] : onHandle_) kept.finalize(kept.statement);
  onHandle_.clear();
  dropAll();
  // Nothing given back before the next statement is taken is kept.
  keptOpening_ = std::numeric_limits<quint64>::max();
}

void StatementCache::opened() { ++opening_; }

void StatementCache::releaseHeld() {
  std::erase_if(held_, [](const std::unique_ptr<QSqlQuery>& q) { return q->driver() == nullptr; });
}

}  // namespace taurelin
