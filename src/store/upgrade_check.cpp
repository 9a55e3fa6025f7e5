#include "store/upgrade_check.h"

#include "store/backend.h"

#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <utility>

namespace taurelin {
namespace {

// The tables whose writes raise the layout version.
constexpr const char* kLayoutTables[] = {"ANLEGG", "FLOY", "UTYPE", "UTLEIEOB", "BRUKERRETT"};

// The tables of our own that both backends' upgrade scripts make alike.
constexpr const char* kOwnTables[] = {"KANAL_BOOKING", "KANAL_BORTE", "KANAL_STATUS",
                                      "EPOST_UT", "EPOST_NY", "BEKREFT_VENTER"};
// Indexes of our tables that an upgrade made later than the tables themselves.
constexpr const char* kOwnIndexes[] = {"EPOST_UT_TILSTAND"};

// The (kind, upper-case name) pairs of the catalogue's tables, indexes and triggers.
QSet<std::pair<QString, QString>> CatalogueObjects(QSqlDatabase& database, QString* error) {
  const QString sql = Backend::Of(database).catalogueObjectsQuery();
  QSet<std::pair<QString, QString>> found;
  QSqlQuery query(database);
  if (!query.exec(sql)) {
    *error = query.lastError().text();
    return found;
  }
  while (query.next()) found.insert({query.value(0).toString(), query.value(1).toString().toUpper()});
  return found;
}

}  // namespace

QStringList CheckUpgrade(QSqlDatabase& database, UpgradePart part) {
  const Backend* backend = Backend::Find(database);
  if (backend == nullptr) return {};
  QStringList layoutTables;
  for (const char* table : kLayoutTables) layoutTables << QLatin1String(table);
  QList<std::pair<QString, QString>> wanted;
  const QList<std::pair<QString, QString>> used = backend->usedAllotmentObjects();
  if (part == UpgradePart::kAll || part == UpgradePart::kOccupancy) {
    wanted = backend->upgradeObjects(layoutTables);
  }
  if (part == UpgradePart::kAll || part == UpgradePart::kCounts) wanted << backend->countObjects();
  if (part == UpgradePart::kAll || part == UpgradePart::kUsedAllotments) wanted << used;
  if (part == UpgradePart::kAll) {
    for (const QString& table : OwnTables()) wanted.append({QStringLiteral("table"), table});
    for (const char* index : kOwnIndexes) {
      wanted.append({QStringLiteral("index"), QLatin1String(index)});
    }
  }
  const QList<std::pair<QString, QString>> counts = backend->countObjects();
  QString error;
  const QSet<std::pair<QString, QString>> present = CatalogueObjects(database, &error);
  if (!error.isEmpty()) {
    return {QStringLiteral("the catalogue cannot be read: %1").arg(error)};
  }
  QStringList missing;
  for (const auto& [kind, name] : wanted) {
    if (!present.contains({kind, name})) {
      // Without the counts every stay reads the lines it overlaps: right, but slower.
      missing << (counts.contains({kind, name}) || used.contains({kind, name})
                      ? QStringLiteral("%1 %2 is missing (taurelin-db upgrade adds it, and "
                                       "stays are then read faster)")
                      : QStringLiteral("%1 %2 is missing (taurelin-db upgrade adds it)"))
                     .arg(kind, name);
    }
  }
  return missing;
}

QStringList OwnTables() {
  QStringList names;
  for (const char* table : kOwnTables) names << QLatin1String(table);
  return names;
}

}  // namespace taurelin
