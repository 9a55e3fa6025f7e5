#include "store/database_session.h"

#include "store/backend.h"

#include "store/connection.h"
#include "store/statement.h"

#include <QSqlDatabase>

namespace taurelin {

DatabaseSession::DatabaseSession(AliasList aliases, StoreReports& reports,
                                 const QString& connectionName)
    : aliases_(std::move(aliases)),
      reports_(reports),
      session_(connectionName),
      store_(session_, &reports_) {}

DatabaseSession::~DatabaseSession() { ReleaseAPIDatabase(); }

bool DatabaseSession::ConnectAPIDatabase(const QString& aliasName) {
  ReleaseAPIDatabase();
  databaseName_ = aliasName;
  const std::optional<DatabaseAlias> alias = aliases_.find(aliasName);

  bool connected = false;
  if (alias) {
    QString error;
    connected = session_.open(*alias, &error, /*createMissingFile=*/false);
  }
  if (!connected) {
    reports_.report({StoreCondition::kCannotConnect, aliasName, QString()});
  }
  // The message above already said that the database is away; the watch tells the rest.
  watch_ = std::make_unique<ConnectionWatch>(
      databaseName_, connected, [this](const StoreReport& report) { reports_.report(report); });
  session_.setWatch(watch_.get());

  try {
    readUtleietyper();
  } catch (const DatabaseError& failure) {
    utleietyper_.clear();
    utleietyperOpen_ = false;
    utleietyperMissed_ = alias && failure.connectionLost();
    reports_.report({StoreCondition::kRentalTypesUnreadable, databaseName_,
                     QString::fromUtf8(failure.what())});
  }

  if (alias) {
    store_.Open();
  } else {
    store_.OpenWithoutAlias(aliasName, aliases_.file());
  }
  return connected;
}

void DatabaseSession::readUtleietyper() {
  Statement query(session_);
  query.add({"Select",
             "  f.anlegg ANLEGG,",
             "  o.utype UTYPE,",
             "  count(o.objnr) AntEnh,",
             "  u.Beskr BESKR,",
             "  u.istat ISTAT,",
             "  u.kode KODE",
             "From",
             "  utleieob o",
             "  left outer join floy f on (f.floykode = o.floykode)",
             "  left outer join utype u on (u.utype = o.utype)",
             "group by f.anlegg, o.utype, u.beskr, u.istat, u.kode"});
  // The handlers depend on the rows' order (LEDIG stops at a type without a description):
  // SQLite's grouping happens to give it, PostgreSQL's hashing does not.
  const Backend& backend = session_.backend();
  query.add(
      QStringLiteral("order by %1, o.utype").arg(backend.orderKey(QStringLiteral("f.anlegg"))));
  query.run();
  QList<RentalTypeSummaryRow> rows;
  while (query.next()) {
    RentalTypeSummaryRow row;
    if (!query.isNull(QStringLiteral("ANLEGG"))) row.ANLEGG = query.integer(QStringLiteral("ANLEGG"));
    row.UTYPE = query.integer(QStringLiteral("UTYPE"));
    row.AntEnh = query.integer(QStringLiteral("AntEnh"));
    row.BESKR = query.text(QStringLiteral("BESKR"));
    row.ISTAT = query.text(QStringLiteral("ISTAT"));
    row.KODE = query.text(QStringLiteral("KODE"));
    rows << row;
  }
  utleietyper_ = rows;
  utleietyperOpen_ = true;
  utleietyperMissed_ = false;
}

void DatabaseSession::EnsureUtleietyper() {
  if (utleietyperOpen_) return;
  if (!utleietyperMissed_) {
    throw DatabaseError(QStringLiteral("the rental-type summary was not read at start-up"));
  }
  readUtleietyper();
}

void DatabaseSession::ReleaseAPIDatabase() {
  store_.Close();
  session_.setWatch(nullptr);
  watch_.reset();
  utleietyper_.clear();
  utleietyperOpen_ = false;
  utleietyperMissed_ = false;
  session_.close();
}

}  // namespace taurelin
