#include "store/sqlite/sqlite_procedures.h"

#include "store/database_error.h"
#include "store/fail.h"
#include "store/occupancy_engine.h"
#include "store/occupancy_layout.h"
#include "store/occupancy_queries.h"
#include "store/occupancy_rows.h"
#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_kept_statements.h"
#include "store/sqlite/sqlite_number_series.h"
#include "store/sqlite/sqlite_occupancy_queries.h"
#include "store/sqlite/sqlite_row.h"
#include "store/sqlite/sqlite_statement.h"
#include "store/sqlite/sqlite_table_function.h"
#include "store/stay_pricing.h"
#include "store/stored_date.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

namespace taurelin {
namespace {

QString ValueText(sqlite3_value* value) {
  if (sqlite3_value_type(value) == SQLITE_NULL) return QStringLiteral("NULL");
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return QString::fromUtf8(text, sqlite3_value_bytes(value));
}

// Reads a procedure's arguments by position; the first bad one sets the error.
class Arguments {
 public:
  Arguments(const std::vector<sqlite3_value*>& values, QStringList names, QString* error)
      : values_(values), names_(std::move(names)), error_(error) {}

  // ISO text (what a bound QDate becomes) or local text dd.mm.yyyy.
  std::optional<QDate> date(int i) {
    sqlite3_value* value = values_[static_cast<size_t>(i)];
    if (sqlite3_value_type(value) == SQLITE_TEXT) {
      if (const std::optional<QDate> date = ArgumentDate(ValueText(value))) return date;
    }
    return fail(i, QStringLiteral("a date (yyyy-mm-dd or dd.mm.yyyy)"));
  }

  // An integer, a real without a fraction (a bound 5.0 reaches another backend as 5), or
  // text holding an integer.
  std::optional<int> integer(int i) {
    sqlite3_value* value = values_[static_cast<size_t>(i)];
    if (sqlite3_value_type(value) == SQLITE_INTEGER) {
      const qint64 number = sqlite3_value_int64(value);
      if (number >= INT_MIN && number <= INT_MAX) return static_cast<int>(number);
    } else if (sqlite3_value_type(value) == SQLITE_FLOAT) {
      const double number = sqlite3_value_double(value);
      if (number == std::trunc(number) && number >= INT_MIN && number <= INT_MAX) {
        return static_cast<int>(number);
      }
    } else if (sqlite3_value_type(value) == SQLITE_TEXT) {
      bool ok = false;
      const int number = ValueText(value).toInt(&ok);
      if (ok) return number;
    }
    return fail(i, QStringLiteral("a whole number"));
  }

 private:
  std::nullopt_t fail(int i, const QString& expected) {
    if (error_->isEmpty()) {
      *error_ = QStringLiteral("%1 must be %2, not %3")
                    .arg(names_[i], expected, ValueText(values_[static_cast<size_t>(i)]));
    }
    return std::nullopt;
  }

  const std::vector<sqlite3_value*>& values_;
  QStringList names_;
  QString* error_;
};

// Steps `statement` to its next row, throwing DatabaseError when the step fails: the
// procedures read as the store does, and report a failure at their edge.
bool Next(SqliteStatement& statement) {
  if (statement.next()) return true;
  if (!statement.ok()) throw DatabaseError(statement.error());
  return false;
}

// Runs a procedure's body, which throws DatabaseError on failure, as SQLite's callbacks
// report one: false and the failure's text.
template <typename Body>
bool Reported(QString* error, Body body) {
  try {
    return body();
  } catch (const DatabaseError& failure) {
    *error = QString::fromStdString(failure.what());
    return false;
  }
}

// Runs one of the shared occupancy statements with the server's user, module and right and
// the period's days; each row converted by `convert`.
template <typename Convert>
auto ReadOccupancyRows(SqliteKeptStatements& statements, const char* sql,
                       const OccupancyPeriod& period, Convert convert, int facility = -1) {
  SqliteStatement statement = statements.take(sql);
  statement.bind(":brukerid", qint64{occupancy_sql::kUserId});
  statement.bind(":modul_id", qint64{occupancy_sql::kModuleId});
  statement.bind(":rettighet", qint64{occupancy_sql::kRightAbove});
  statement.bind(":fra_dato", period.from);
  statement.bind(":til_dato", period.to);
  statement.bind(":fra_dag", occupancy_sql::FirstDayKey(std::min(period.from, period.to)));
  statement.bind(":til_dag", occupancy_sql::LastDayKey(std::max(period.from, period.to)));
  statement.bind(":anlegg_fra", facility == -1 ? qint64{INT32_MIN} : facility);
  statement.bind(":anlegg_til", facility == -1 ? qint64{INT32_MAX} : facility);
  statement.bind(":anlegg", qint64{facility});
  SqliteRow row(statement);
  QList<decltype(convert(row))> rows;
  while (Next(statement)) rows.append(convert(row));
  return rows;
}

// Whether the database has the occupancy index (taurelin-db upgrade adds it).
bool HasOccupancyIndex(SqliteKeptStatements& statements) {
  SqliteStatement table =
      statements.take("SELECT 1 FROM sqlite_master WHERE name = 'LEIE_PERIODE'");
  return table.next();
}

// Whether the database keeps the occupancy counts, with every trigger that keeps them
// (taurelin-db upgrade adds them).
bool HasOccupancyCounts(SqliteKeptStatements& statements) {
  SqliteStatement objects = statements.take(
      "SELECT count(*) FROM sqlite_master WHERE name IN ('LEIE_DAG', 'LEIE_TALT', 'LEIE_AVVIK',"
      " 'LEIE_DAG_NR', 'LEIE_DAG_NY2', 'LEIE_DAG_ENDRET2', 'LEIE_DAG_SLETTET2',"
      " 'ALLOT_PERIODE', 'ALLOT_PERIODE_NY', 'ALLOT_PERIODE_ENDRET', 'ALLOT_PERIODE_SLETTET')");
  return objects.next() && objects.integer(0) == qint64{11};
}

// The layout version of the database (OPPSETT_VERSJON with the schema's version), or
// nothing on a database without it.
std::optional<LayoutVersion> ReadLayoutVersion(SqliteKeptStatements& statements) {
  SqliteStatement version = statements.take(occupancy_sql::kOppsettVersjonSqlite);
  if (!version.next()) return std::nullopt;
  const std::optional<qint64> value = version.integer(0);
  const std::optional<qint64> schema = version.integer(1);
  // A second row is a version table another program changed: nothing is kept behind it.
  if (!value || !schema || version.next()) return std::nullopt;
  return LayoutVersion{*value, *schema};
}

// What HENT_LEDIG_MATRISE keeps of its connection between calls: the layout and capacities,
// and whether the index is there, which is read again with the layout.
struct MatrixLayout {
  OccupancyLayout layout;
  bool indexed = false;
  bool counted = false;
};

// Loads the counters of the period, of one facility's lines (-1: of all), into the engine.
void LoadOccupancy(SqliteKeptStatements& statements, const OccupancyPeriod& period, int facility,
                   MatrixLayout* kept) {
  QList<OccupiedLine> occupied;
  if (kept->counted) {
    occupied = ReadOccupancyRows(
        statements,
        facility == -1 ? occupancy_sql::kTalteDagerAlle : occupancy_sql::kTalteDager, period,
        occupancy_rows::CountedDay<SqliteRow>, facility);
    const QList<OccupiedLine> uncounted = ReadOccupancyRows(
        statements, occupancy_sql::kIkkeTalt, period, occupancy_rows::Occupied<SqliteRow>);
    for (const OccupiedLine& line : uncounted) {
      if (facility == -1 || line.facility == facility) occupied << line;
    }
  } else {
    occupied = ReadOccupancyRows(
        statements,
        kept->indexed ? occupancy_sql::kIkkeLedigIndeksert : occupancy_sql::kIkkeLedig, period,
        occupancy_rows::Occupied<SqliteRow>, facility);
  }
  const QList<AllotmentLine> allotments = ReadOccupancyRows(
      statements, kept->counted ? occupancy_sql::kAllotmentIndeksert : occupancy_sql::kAllotment,
      period, occupancy_rows::Allotment<SqliteRow>);
  const QList<UsedAllotment> used = ReadOccupancyRows(statements, occupancy_sql::kBruktAllotment,
                                                      period, occupancy_rows::Used<SqliteRow>);
  kept->layout.engine().load(period, occupied, allotments, used);
}

// HENT_LEDIG_MATRISE(FRA, TIL, AGENT, ANLEGG, 0): per rental type of the facility (-1: of
// every facility) and per day from FRA to TIL, the free units, the units held for AGENT
// (-1: none) and the two together.
bool AvailabilityMatrix(SqliteKeptStatements& statements, const std::vector<sqlite3_value*>& values,
                        TableRows* rows, QString* error, MatrixLayout* kept) {
  Arguments arguments(values, {"FRA", "TIL", "AGENT", "ANLEGG", "the fifth argument"}, error);
  const auto from = arguments.date(0);
  const auto to = arguments.date(1);
  const auto agent = arguments.integer(2);
  const auto facility = arguments.integer(3);
  const auto fifth = arguments.integer(4);
  if (!from || !to || !agent || !facility || !fifth) return false;
  if (*to < *from) return true;
  const qint64 days = from->daysTo(*to) + 1;
  if (days > kMaxMatrixDays) {
    *error = MatrixTooLong(days);
    return false;
  }

  OccupancyPeriod period;
  period.from = *from;
  period.to = *to;
  period.today = QDate::currentDate();
  period.agentFilter = *agent;

  const bool all = *facility == -1;
  return Reported(error, [&] {
    const auto read = [&](const char* sql, auto convert) {
      return ReadOccupancyRows(statements, sql, period, convert);
    };
    if (kept->layout.refresh(ReadLayoutVersion(statements), read)) {
      kept->indexed = HasOccupancyIndex(statements);
      kept->counted = kept->indexed && HasOccupancyCounts(statements);
    }
    const QList<TypeCapacity>& capacities = kept->layout.capacities(all, read);
    LoadOccupancy(statements, period, *facility, kept);
    for (const AvailabilityDay& day : kept->layout.engine().matrix(capacities, *facility)) {
      rows->push_back({qint64{day.type}, day.day.toString(Qt::ISODate), day.free,
                       day.allotment, day.free + day.allotment});
    }
    return true;
  });
}

// An amount in hundredths as an SQLite number: whole amounts as integers, others as the
// double nearest the exact amount, which is what an exact decimal of another backend reads
// as.
QVariant Amount(qint64 hundredths) {
  if (hundredths % 100 == 0) return QVariant(hundredths / 100);
  return QVariant(AmountNumber(hundredths));
}

// The web prices of a type, each with its lines that cover some night from :ank up to
// :avr (none: one row of NULLs), in one statement: by price, each price's lines in the order
// of their start.
constexpr char kWebPrices[] =
    "SELECT P.PRIS_ID AS PRIS_ID, P.PENSJON AS PENSJON, P.START_DAG AS START_DAG,\n"
    "       P.ANT_DAGER AS ANT_DAGER, PJ.BESKR AS BESKR, PJ.PRISMET AS PRISMET,\n"
    "       L.PRIS_ID AS LINJE, L.FRA_DATO AS FRA_DATO, L.TIL_DATO AS TIL_DATO,\n"
    "       L.PRIS_UKE AS PRIS_UKE, L.PRIS_WEEK AS PRIS_WEEK\n"
    "FROM PRIS P LEFT OUTER JOIN PENSJON PJ ON (PJ.PENSJON = P.PENSJON)\n"
    "  LEFT OUTER JOIN PRISLINJE L ON (L.PRIS_ID = P.PRIS_ID AND L.FRA_DATO < :avr\n"
    "    AND (L.TIL_DATO IS NULL OR L.TIL_DATO > :ank))\n"
    "WHERE P.UTYPE = :utype AND P.WEB = 'J'\n"
    "ORDER BY P.PRIS_ID, L.FRA_DATO";
// The same for the types of the JSON array :utyper, type by type: each type's rows in the
// order above (a price has one type, and a line one price and start).
constexpr char kWebPricesOfTypes[] =
    "SELECT P.UTYPE AS UTYPE, P.PRIS_ID AS PRIS_ID, P.PENSJON AS PENSJON,\n"
    "       P.START_DAG AS START_DAG, P.ANT_DAGER AS ANT_DAGER, PJ.BESKR AS BESKR,\n"
    "       PJ.PRISMET AS PRISMET, L.PRIS_ID AS LINJE, L.FRA_DATO AS FRA_DATO,\n"
    "       L.TIL_DATO AS TIL_DATO, L.PRIS_UKE AS PRIS_UKE, L.PRIS_WEEK AS PRIS_WEEK\n"
    "FROM PRIS P LEFT OUTER JOIN PENSJON PJ ON (PJ.PENSJON = P.PENSJON)\n"
    "  LEFT OUTER JOIN PRISLINJE L ON (L.PRIS_ID = P.PRIS_ID AND L.FRA_DATO < :avr\n"
    "    AND (L.TIL_DATO IS NULL OR L.TIL_DATO > :ank))\n"
    "WHERE P.UTYPE IN (SELECT value FROM json_each(:utyper)) AND P.WEB = 'J'\n"
    "ORDER BY P.UTYPE, P.PRIS_ID, L.FRA_DATO";

std::optional<qint64> OptionalInteger(SqliteRow& row, const char* column) {
  return row.isNull(column) ? std::nullopt : std::optional<qint64>(row.integer64(column));
}

// BEREGN_WEB_PRISMATRISE(REFDATO, ANK, AVR, UTYPEN, ANLEGGET): one row per web price of the
// rental type that prices every night of the stay. REFDATO and ANLEGGET are checked and
// otherwise not used: prices belong to the rental type alone.
bool WebPriceMatrix(SqliteKeptStatements& statements, const std::vector<sqlite3_value*>& values,
                    TableRows* rows, QString* error) {
  Arguments arguments(values, {"REFDATO", "ANK", "AVR", "UTYPEN", "ANLEGGET"}, error);
  const auto reference = arguments.date(0);
  const auto arrival = arguments.date(1);
  const auto departure = arguments.date(2);
  const auto type = arguments.integer(3);
  const auto facility = arguments.integer(4);
  if (!reference || !arrival || !departure || !type || !facility) return false;
  if (*departure <= *arrival) return true;

  QList<WebPriceSource> sources;
  if (!Reported(error, [&] {
        sources = ReadWebPriceSources(statements, *type, *arrival, *departure);
        return true;
      })) {
    return false;
  }
  std::optional<qint64> outOfRange;
  const QList<PricedSource> priced = PriceSources(sources, *arrival, *departure, &outOfRange);
  if (outOfRange) {
    *error = QStringLiteral("the price of the stay at price %1 is out of range").arg(*outOfRange);
    return false;
  }
  for (const PricedSource& p : priced) {
    const WebPriceSource& s = *p.source;
    rows->push_back({s.id, s.description ? QVariant(*s.description) : QVariant(),
                     Amount(p.price.total), Amount(p.price.firstNight),
                     s.board ? QVariant(*s.board) : QVariant(), PriceTypeCode(s.startDay, s.days),
                     s.method ? QVariant(*s.method) : QVariant(), qint64{s.startDay},
                     qint64{s.days}});
  }
  return true;
}

TableFunction NumberFunction(const QString& name,
                             const std::shared_ptr<SqliteNumberSeries>& series,
                             StatementCache* cache) {
  TableFunction function;
  function.name = QStringLiteral("LAGE_") + name;
  function.columns = {name + QStringLiteral(" INTEGER")};
  function.sideEffects = true;
  function.compute = [name, series, cache](sqlite3* handle, const std::vector<sqlite3_value*>&,
                                           TableRows* rows, QString* error) {
    return Reported(error, [&] {
      SqliteKeptStatements statements(*cache, handle);
      rows->push_back({series->next(name, &statements)});
      return true;
    });
  };
  return function;
}

// The procedures of the handle `db`, which read through the statements `cache` keeps on it:
// each registration holds the cache in its client data.
QList<TableFunction> Procedures(sqlite3* db, StatementCache* cache) {
  const auto series = std::make_shared<SqliteNumberSeries>(db);
  TableFunction prices;
  prices.name = QStringLiteral("BEREGN_WEB_PRISMATRISE");
  prices.columns = {"INTPRISKODE INTEGER",      "STRBESKR VARCHAR(40)",
                    "FLTTOTALPRISER NUMERIC(15,2)", "FLTPRISMND NUMERIC(15,2)",
                    "FLTPENSJON NUMERIC(15,2)",   "CHRPRISTYPE CHAR(1)",
                    "intPRISMET INTEGER",         "intSTART_DAG INTEGER",
                    "intANT_DAGER INTEGER"};
  prices.arguments = {"REFDATO", "ANK", "AVR", "UTYPEN", "ANLEGGET"};
  prices.compute = [cache](sqlite3* handle, const std::vector<sqlite3_value*>& values,
                           TableRows* rows, QString* error) {
    SqliteKeptStatements statements(*cache, handle);
    return WebPriceMatrix(statements, values, rows, error);
  };

  TableFunction matrix;
  matrix.name = QStringLiteral("HENT_LEDIG_MATRISE");
  matrix.columns = {"UTLEIETYPE INTEGER", "DATO DATE", "LEDIG INTEGER", "ALLOTMENT INTEGER",
                    "TILBUD INTEGER"};
  matrix.arguments = {"FRA", "TIL", "AGENT", "ANLEGG", "ARG5"};
  matrix.compute = [cache, kept = std::make_shared<MatrixLayout>()](
                       sqlite3* handle, const std::vector<sqlite3_value*>& values,
                       TableRows* rows, QString* error) {
    SqliteKeptStatements statements(*cache, handle);
    return AvailabilityMatrix(statements, values, rows, error, kept.get());
  };

  return {NumberFunction(QStringLiteral("REFNR"), series, cache),
          NumberFunction(QStringLiteral("LINJENR"), series, cache),
          NumberFunction(QStringLiteral("BESTNR"), series, cache), prices, matrix};
}

bool IsRegistered(sqlite3* db, const QString& name) {
  SqliteStatement module(db, "SELECT 1 FROM pragma_module_list WHERE name = :name COLLATE NOCASE");
  module.bind(":name", name);
  return module.next();
}

}  // namespace

namespace {

// A row of the web prices' statements into `sources`: one price at a time, its row read with
// its first line, and its lines following.
void AddPriceRow(SqliteRow& row, QList<WebPriceSource>& sources) {
  const qint64 id = row.integer64("PRIS_ID");
  if (sources.isEmpty() || sources.last().id != id) {
    sources.append({id, row.integer("START_DAG"), row.integer("ANT_DAGER"),
                    OptionalInteger(row, "PENSJON"),
                    row.isNull("BESKR") ? std::nullopt : std::optional<QString>(row.text("BESKR")),
                    OptionalInteger(row, "PRISMET"), {}});
  }
  if (!row.isNull("LINJE")) {
    sources.last().lines.append(PriceLine{row.date("FRA_DATO"), row.date("TIL_DATO"),
                                          row.hundredths("PRIS_UKE"),
                                          row.hundredths("PRIS_WEEK")});
  }
}

}  // namespace

QList<WebPriceSource> ReadWebPriceSources(SqliteKeptStatements& statements, int type, QDate arrival,
                                          QDate departure) {
  SqliteStatement prices = statements.take(kWebPrices);
  prices.bind(":utype", qint64{type});
  prices.bind(":ank", arrival);
  prices.bind(":avr", departure);
  SqliteRow row(prices);
  QList<WebPriceSource> sources;
  while (Next(prices)) AddPriceRow(row, sources);
  return sources;
}

QList<QList<WebPriceSource>> ReadWebPriceSourcesOfTypes(SqliteKeptStatements& statements,
                                                        const QList<int>& types, QDate arrival,
                                                        QDate departure) {
  QStringList numbers;
  for (const int type : types) numbers << QString::number(type);
  SqliteStatement prices = statements.take(kWebPricesOfTypes);
  prices.bind(":utyper", u'[' + numbers.join(u',') + u']');
  prices.bind(":ank", arrival);
  prices.bind(":avr", departure);
  SqliteRow row(prices);
  QHash<int, QList<WebPriceSource>> byType;
  while (Next(prices)) AddPriceRow(row, byType[row.integer("UTYPE")]);
  QList<QList<WebPriceSource>> sources;
  sources.reserve(types.size());
  for (const int type : types) sources.append(byType.value(type));
  return sources;
}

bool RegisterSqliteProcedures(QSqlDatabase& database, StatementCache& cache, QString* error) {
  sqlite3* db = SqliteHandle(database);
  if (db == nullptr) {
    return Fail(error, QStringLiteral("the database procedures need an open SQLite connection"));
  }
  // A module registered again would replace one that prepared statements still use.
  for (const TableFunction& procedure : Procedures(db, &cache)) {
    if (IsRegistered(db, procedure.name)) continue;
    if (!RegisterTableFunction(db, procedure, error)) return false;
  }
  return true;
}

}  // namespace taurelin
