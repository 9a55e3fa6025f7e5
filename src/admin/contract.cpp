#include "admin/contract.h"

#include "admin/admin_backend.h"
#include "store/upgrade_check.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace taurelin {
namespace {

struct Relation {
  const char* name;
  const char* columns;  // separated by blanks
};

// The tables, each with every column that a statement of ours reads or writes, each after
// the tables its foreign keys name.
constexpr Relation kTables[] = {
    {"ANLEGG", "ANLEGGSNR ANLEGGSNAVN FORETAKSNR"},
    {"FLOY", "FLOYKODE ANLEGG"},
    {"UTYPE", "UTYPE KODE BESKR ANTENH ISTAT"},
    {"UTLEIEOB", "OBJNR UTYPE FLOYKODE"},
    {"PENSJON", "PENSJON PRISMET"},
    {"PRIS", "PRIS_ID UTYPE PENSJON START_DAG ANT_DAGER WEB"},
    {"PRISLINJE", "PRIS_ID FRA_DATO TIL_DATO PRIS_UKE PRIS_WEEK"},
    {"BETFORM", "BKODE BESKR GYLDIG"},
    {"AGENT", "AKODE"},
    {"NASJON", "NKODE NAVN"},
    {"VARE", "VKODE BESKR"},
    {"BESTILL", "BESTNR ENAVN FNAVN ADR POSTNR POSTSTED NKODE TLF FAX MAIL ANM"},
    {"BOOKING",
     "REFNR ANLEGGSNR FORETAKSNR FORMAL REG_DATO AKODE BESTNR BEKREFT BEKREFT_DATO FAKTURER "
     "RABATT ANM ANM_INT FORSK_BET OPPR_AV UTSJEKKET STATUS KUPONG AVBESTILT AGENT_KONTAKT "
     "HOY_DATO"},
    {"LEIE",
     "REFNR BESTNR ANKOMST AVREISE OBJNR UTYPE FLOYKODE LEIETYPE TIL ETTER LINJENR LINJE_EIER "
     "ANTALL ANT_VOKSEN ANT_BARN A_PRIS VKODE UT_FAKT PENSJON FORMAL RABATT PRISKODE STATKODE "
     "PRISTYPE ANLEGG STATUS FAKT_STAT TEKST FRITEKST ANT_GRATIS AG_PROV"},
    {"ALLOT", "ALLOT_ID AKODE ANLEGGSNR"},
    {"ALLOTLINJE", "ALLOTLINJENR ALLOT_ID ALLOTTYPE ANTALL DAGER_FOER FRA TIL UTYPE REQUEST"},
    {"LEIE_ALLOT", "LINJENR ALLOTLINJENR DATO"},
    {"BRUKERRETT", "ANLEGGSNR BRUKERID MODUL_ID RETTIGHET"},
};

// The views of what a user may sell.
constexpr Relation kViews[] = {
    {"UTYPER_BRUKER", "BRUKERID MODUL_ID RETTIGHET ANLEGG UTYPE ANTENH BESKR ISTAT KODE"},
    {"ANLEGG_BRUKER", "BRUKERID MODUL_ID RETTIGHET ANLEGGSNR ANLEGGSNAVN"},
};

// Each procedure with a statement that calls it as our programs do and names every column
// they read, so that preparing it proves the procedure and its columns are there.
struct Procedure {
  const char* name;
  const char* call;
};

constexpr Procedure kProcedures[] = {
    {"LAGE_REFNR", "SELECT REFNR FROM LAGE_REFNR"},
    {"LAGE_LINJENR", "SELECT LINJENR FROM LAGE_LINJENR"},
    {"LAGE_BESTNR", "SELECT BESTNR FROM LAGE_BESTNR"},
    {"BEREGN_WEB_PRISMATRISE",
     "SELECT INTPRISKODE, STRBESKR, FLTTOTALPRISER, FLTPRISMND, FLTPENSJON, CHRPRISTYPE, "
     "intPRISMET, intSTART_DAG, intANT_DAGER "
     "FROM BEREGN_WEB_PRISMATRISE(:REFDATO, :ANK, :AVR, :UTYPEN, :ANLEGGET)"},
    {"HENT_LEDIG_MATRISE",
     "SELECT UTLEIETYPE, DATO, LEDIG, ALLOTMENT, TILBUD "
     "FROM HENT_LEDIG_MATRISE(:FRA, :TIL, :AGENT, :ANLEGG, 0)"},
};

// The number series that LAGE_REFNR, LAGE_LINJENR and LAGE_BESTNR hand out, one row each.
constexpr Relation kCounters = {"TELLER", "NAVN VERDI"};
constexpr const char* kSeries[] = {"REFNR", "LINJENR", "BESTNR"};

// Upper-case name -> the name as the database spells it.
using NameMap = QHash<QString, QString>;

NameMap Names(const QSqlDatabase& database, QSql::TableType type) {
  NameMap names;
  for (const QString& name : database.tables(type)) names.insert(name.toUpper(), name);
  return names;
}

// Checks one relation; returns false when it is missing altogether.
bool CheckRelation(const QSqlDatabase& database, const NameMap& names, const char* kind,
                   const Relation& relation, QStringList* missing) {
  const QString name = QLatin1String(relation.name);
  const auto found = names.constFind(name);
  if (found == names.constEnd()) {
    *missing << QStringLiteral("%1 %2 is missing").arg(QLatin1String(kind), name);
    return false;
  }
  const QSqlRecord record = database.record(*found);
  QSet<QString> present;
  for (int i = 0; i < record.count(); ++i) present.insert(record.fieldName(i).toUpper());
  const QStringList columns =
      QString::fromLatin1(relation.columns).split(u' ', Qt::SkipEmptyParts);
  for (const QString& column : columns) {
    if (!present.contains(column)) {
      *missing << QStringLiteral("%1 %2 has no column %3").arg(QLatin1String(kind), name, column);
    }
  }
  return true;
}

// `kind` is what TELLER is on the backend, "table" or "view"; `names` the relations of that
// kind.
void CheckCounters(const QSqlDatabase& database, const NameMap& names, const char* kind,
                   QStringList* missing) {
  const int before = int(missing->size());
  if (!CheckRelation(database, names, kind, kCounters, missing) || missing->size() > before) {
    return;
  }
  QSqlQuery query(database);
  if (!query.exec(QStringLiteral("SELECT NAVN FROM TELLER"))) {
    *missing << QStringLiteral("%1 TELLER cannot be read: %2")
                    .arg(QLatin1String(kind), query.lastError().text());
    return;
  }
  QStringList present;
  while (query.next()) present << query.value(0).toString();
  for (const char* series : kSeries) {
    if (!present.contains(QLatin1String(series))) {
      *missing << QStringLiteral("%1 TELLER has no number series %2")
                      .arg(QLatin1String(kind), QLatin1String(series));
    }
  }
}

}  // namespace

QStringList CheckContract(QSqlDatabase& database) {
  if (!database.isOpen()) {
    return {QStringLiteral("the database is not open: %1").arg(database.lastError().text())};
  }
  QStringList missing;
  const NameMap tables = Names(database, QSql::Tables);
  for (const Relation& table : kTables) CheckRelation(database, tables, "table", table, &missing);
  // A statement reads a view and a table alike; what counts is that the name and its
  // columns are there.
  NameMap readable = Names(database, QSql::Views);
  readable.insert(tables);
  for (const Relation& view : kViews) CheckRelation(database, readable, "view", view, &missing);
  for (const Procedure& procedure : kProcedures) {
    QSqlQuery query(database);
    if (!query.prepare(QLatin1String(procedure.call))) {
      missing << QStringLiteral("procedure %1 does not compile: %2")
                     .arg(QLatin1String(procedure.name), query.lastError().databaseText());
    }
  }
  // The one difference between the backends: SQLite's procedures count in the table
  // TELLER; PostgreSQL's draw from sequences, whose last numbers the view TELLER shows.
  if (const AdminBackend* backend = AdminBackend::Find(database)) {
    if (backend->countersInTable()) {
      CheckCounters(database, tables, "table", &missing);
    } else {
      CheckCounters(database, Names(database, QSql::Views), "view", &missing);
    }
  }
  missing << CheckUpgrade(database);
  return missing;
}

QStringList ContractTables() {
  QStringList names;
  for (const Relation& table : kTables) names << QLatin1String(table.name);
  return names;
}

}  // namespace taurelin
