#include "store/prepared_statements.h"

#include "store/backend.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

#include <atomic>
#include <map>
#include <vector>

namespace taurelin {
namespace {

// Which opening of a connection a driver serves: a number no other opening in this process
// has, so that a closed and reopened connection, or a new driver at an old one's address,
// never takes queries prepared on another session.
constexpr char kOpening[] = "taurelin.opening";
std::atomic<quint64> openings{0};

// The handlers' statements are a fixed set; a connection with more than this many different
// ones starts afresh rather than growing without bound.
constexpr size_t kMostStatements = 200;

struct Kept {
  quint64 opening = 0;
  std::map<QString, std::vector<std::unique_ptr<QSqlQuery>>> bySql;
};

std::map<QString, Kept>& Cache() {
  thread_local std::map<QString, Kept> cache;
  return cache;
}

// How many queries of each connection Run gave and nobody gave back yet.
std::map<QString, int>& Out() {
  thread_local std::map<QString, int> out;
  return out;
}

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

quint64 OpeningOf(const QSqlDatabase& database) {
  const QSqlDriver* driver = database.driver();
  return driver == nullptr ? 0 : driver->property(kOpening).toULongLong();
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
  const quint64 opening = OpeningOf(database);
  Kept& cached = Cache()[database.connectionName()];
  if (cached.opening != opening) {
    DropAll(cached.bySql);
    cached.opening = opening;
  }
  const auto found = cached.bySql.find(sql);
  if (found == cached.bySql.end() || found->second.empty()) {
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
        ++Out()[database.connectionName()];
        return query;
      }
    }
    // Not kept: a failed query prepares anew on its next run.
    if (query) *error = query->lastError();
    Drop(std::move(query));
    return nullptr;
  }
  if (query) ++Out()[database.connectionName()];
  return query;
}

void PreparedStatements::Give(const QString& connectionName, const QString& sql,
                              std::unique_ptr<QSqlQuery> query) {
  if (!query) return;
  if (const auto out = Out().find(connectionName); out != Out().end() && --out->second <= 0) {
    Out().erase(out);
  }
  query->finish();
  const auto kept = Cache().find(connectionName);
  const QSqlDriver* driver = query->driver();
  // Its connection was forgotten, removed, lost or opened anew while the query was out, or
  // its backend keeps none.
  if (kept == Cache().end() || driver == nullptr || !driver->isOpen() ||
      kept->second.opening != driver->property(kOpening).toULongLong()) {
    Drop(std::move(query));
    return;
  }
  auto& bySql = kept->second.bySql;
  if (bySql.size() >= kMostStatements && !bySql.contains(sql)) DropAll(bySql);
  bySql[sql].push_back(std::move(query));
}

void PreparedStatements::Forget(const QString& connectionName) {
  Backend::Of(connectionName).forgetKept(connectionName);
  const auto kept = Cache().find(connectionName);
  if (kept == Cache().end()) return;
  DropAll(kept->second.bySql);
  Cache().erase(kept);
}

bool PreparedStatements::InUse(const QString& connectionName) {
  return Out().contains(connectionName);
}

void PreparedStatements::Opened(QSqlDatabase& database) {
  if (QSqlDriver* driver = database.driver()) driver->setProperty(kOpening, ++openings);
}

}  // namespace taurelin
