#include "store/upgrade_check.h"

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

// The upgrade's objects on each backend: (kind, name) as the catalogue lists them.
QList<std::pair<QString, QString>> UpgradeObjects(const QString& driver) {
  QList<std::pair<QString, QString>> objects;
  if (driver == u"QSQLITE") {
    objects << std::pair{QStringLiteral("table"), QStringLiteral("LEIE_PERIODE")};
    for (const char* event : {"NY", "ENDRET", "SLETTET"}) {
      objects << std::pair{QStringLiteral("trigger"),
                           QStringLiteral("LEIE_PERIODE_") + QLatin1String(event)};
    }
    objects << std::pair{QStringLiteral("table"), QStringLiteral("OPPSETT_VERSJON")};
    for (const char* table : kLayoutTables) {
      for (const char* event : {"NY", "ENDRET", "SLETTET"}) {
        objects << std::pair{QStringLiteral("trigger"), QStringLiteral("OPPSETT_%1_%2")
                                                            .arg(QLatin1String(table),
                                                                 QLatin1String(event))};
      }
    }
  } else if (driver == u"QPSQL") {
    objects << std::pair{QStringLiteral("index"), QStringLiteral("LEIE_PERIODE")}
            << std::pair{QStringLiteral("table"), QStringLiteral("OPPSETT_VERSJON")};
    for (const char* table : kLayoutTables) {
      objects << std::pair{QStringLiteral("trigger"),
                           QStringLiteral("OPPSETT_") + QLatin1String(table)};
    }
  }
  return objects;
}

// The (kind, upper-case name) pairs of the catalogue's tables, indexes and triggers.
QSet<std::pair<QString, QString>> CatalogueObjects(QSqlDatabase& database, QString* error) {
  const QString sql =
      database.driverName() == u"QSQLITE"
          ? QStringLiteral("SELECT type, name FROM sqlite_master")
          : QStringLiteral(
                "SELECT CASE c.relkind WHEN 'i' THEN 'index' ELSE 'table' END, c.relname"
                " FROM pg_catalog.pg_class c"
                " WHERE c.relkind IN ('r', 'i') AND pg_catalog.pg_table_is_visible(c.oid)"
                " UNION ALL SELECT 'trigger', t.tgname FROM pg_catalog.pg_trigger t"
                " WHERE NOT t.tgisinternal AND pg_catalog.pg_table_is_visible(t.tgrelid)");
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

QStringList CheckUpgrade(QSqlDatabase& database) {
  const QList<std::pair<QString, QString>> wanted = UpgradeObjects(database.driverName());
  if (wanted.isEmpty()) return {};
  QString error;
  const QSet<std::pair<QString, QString>> present = CatalogueObjects(database, &error);
  if (!error.isEmpty()) {
    return {QStringLiteral("the catalogue cannot be read: %1").arg(error)};
  }
  QStringList missing;
  for (const auto& [kind, name] : wanted) {
    if (!present.contains({kind, name})) {
      missing << QStringLiteral("%1 %2 is missing (taurelin-db upgrade adds it)").arg(kind, name);
    }
  }
  return missing;
}

}  // namespace taurelin
