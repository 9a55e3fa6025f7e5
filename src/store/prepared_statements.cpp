#include "store/prepared_statements.h"

#include "store/backend.h"
#include "store/connection_state.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

#include <atomic>
#include <limits>
#include <map>
#include <vector>

namespace taurelin {
namespace {

// The last opening's number (ConnectionState::opening).
std::atomic<quint64> openings{0};

// The handlers' statements are a fixed set; a connection with more than this many different
// ones starts afresh rather than growing without bound.
constexpr size_t kMostStatements = 200;

// Queries of ended sessions, waiting for their connection to be removed. Outages are rare;
// a server that meets very many of them without a restart drops the oldest anyway.
constexpr size_t kMostHeld = 2000;

std::vector<std::unique_ptr<QSqlQuery>>& Held() {
  thread_local std::vector<std::unique_ptr<QSqlQuery>> held;
  return held;
}

// Drops a query. One whose session has ended is held instead: Qt would free its statement on
// the dead session, or on the connection's next one, and warn on standard error each time.
// Once its connection is removed, the query has no driver and drops without a word.
void Drop(std::unique_ptr<QSqlQuery> query) {
  auto& held = Held();
  std::erase_if(held, [](const std::unique_ptr<QSqlQuery>& q) { return q->driver() == nullptr; });
  if (!query || query->driver() == nullptr || query->driver()->isOpen()) return;
  if (held.size() >= kMostHeld) held.erase(held.begin());
  held.push_back(std::move(query));
}

void DropAll(std::map<QString, std::vector<std::unique_ptr<QSqlQuery>>>& bySql) {
  for (auto& [sql, queries] : bySql) {
    for (auto& query : queries) Drop(std::move(query));
  }
  bySql.clear();
}

std::unique_ptr<QSqlQuery> Prepare(QSqlDatabase& database, const QString& sql, bool forwardOnly,
                                   QSqlError* error) {
  auto query = std::make_unique<QSqlQuery>(database);
  query->setForwardOnly(forwardOnly);
  if (!query->prepare(sql)) {
    *error = query->lastError();
    Drop(std::move(query));
    return nullptr;
  }
  return query;
}

// A kept query, or a new one; `kept` tells which.
std::unique_ptr<QSqlQuery> Take(QSqlDatabase& database, const QString& sql, bool forwardOnly,
                                bool* kept, QSqlError* error) {
  *kept = false;
  ConnectionState& state = ConnectionState::Of(database.connectionName());
  if (state.keptOpening != state.opening) {
    DropAll(state.keptQueries);
    state.keptOpening = state.opening;
  }
  const auto found = state.keptQueries.find(sql);
  if (found == state.keptQueries.end() || found->second.empty()) {
    return Prepare(database, sql, forwardOnly, error);
  }
  std::unique_ptr<QSqlQuery> query = std::move(found->second.back());
  found->second.pop_back();
  *kept = true;
  // A run binds every value it uses; none may remain from the run before.
  for (qsizetype i = 0; i < query->boundValues().size(); ++i) {
    query->bindValue(static_cast<int>(i), QVariant());
  }
  return query;
}

bool Execute(QSqlQuery& query, const PreparedStatements::Bindings& bindings) {
  for (const auto& [name, value] : bindings) query.bindValue(name, value);
  return query.exec();
}

}  // namespace

std::unique_ptr<QSqlQuery> PreparedStatements::Run(QSqlDatabase& database, const QString& sql,
                                                   bool forwardOnly, const Bindings& bindings,
                                                   QSqlError* error) {
  bool kept = false;
  std::unique_ptr<QSqlQuery> query = Take(database, sql, forwardOnly, &kept, error);
  if (query && !Execute(*query, bindings)) {
    const QSqlError failure = query->lastError();
    // The connection's other kept queries may be as outdated as this one.
    if (kept && Backend::Of(database).planOutdated(database, failure)) {
      query.reset();
      Forget(database.connectionName());
      query = Take(database, sql, forwardOnly, &kept, error);
      if (query && Execute(*query, bindings)) {
        ++ConnectionState::Of(database.connectionName()).queriesOut;
        return query;
      }
    }
    // Not kept: a failed query prepares anew on its next run.
    if (query) *error = query->lastError();
    Drop(std::move(query));
    return nullptr;
  }
  if (query) ++ConnectionState::Of(database.connectionName()).queriesOut;
  return query;
}

void PreparedStatements::Give(const QString& connectionName, const QString& sql,
                              std::unique_ptr<QSqlQuery> query) {
  if (!query) return;
  ConnectionState* state = ConnectionState::Find(connectionName);
  if (state != nullptr && state->queriesOut > 0) --state->queriesOut;
  query->finish();
  const QSqlDriver* driver = query->driver();
  // Its connection was forgotten, removed, lost or opened anew while the query was out.
  if (state == nullptr || driver == nullptr || !driver->isOpen() ||
      state->keptOpening != state->opening) {
    Drop(std::move(query));
    return;
  }
  auto& bySql = state->keptQueries;
  if (bySql.size() >= kMostStatements && !bySql.contains(sql)) DropAll(bySql);
  bySql[sql].push_back(std::move(query));
}

void PreparedStatements::Forget(const QString& connectionName) {
  Backend::Of(connectionName).forgetKept(connectionName);
  ConnectionState* state = ConnectionState::Find(connectionName);
  if (state == nullptr) return;
  DropAll(state->keptQueries);
  // Nothing given back before the next statement is taken is kept.
  state->keptOpening = std::numeric_limits<quint64>::max();
}

bool PreparedStatements::InUse(const QString& connectionName) {
  const ConnectionState* state = ConnectionState::Find(connectionName);
  return state != nullptr && state->queriesOut > 0;
}

void PreparedStatements::Opened(QSqlDatabase& database) {
  ConnectionState::Of(database.connectionName()).opening = ++openings;
}

}  // namespace taurelin
