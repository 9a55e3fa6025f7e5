#include "store/sqlite/sqlite_procedures.h"

#include "store/fail.h"
#include "store/occupancy_engine.h"
#include "store/occupancy_queries.h"
#include "store/occupancy_rows.h"
#include "store/sqlite/sqlite_connection.h"
#include "store/sqlite/sqlite_kept_statements.h"
#include "store/sqlite/sqlite_number_series.h"
#include "store/sqlite/sqlite_statement.h"
#include "store/sqlite/sqlite_table_function.h"
#include "store/stay_pricing.h"
#include "store/stored_date.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>

#include <sqlite3.h>

#include <algorithm>
#include <array>
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

// Reads the columns of a statement's current row by name. A value that its column cannot
// hold (text in a number, a date that is none) is remembered as the row's error instead of
// being counted as something it is not.
class RowReader {
 public:
  explicit RowReader(const SqliteStatement& statement) : statement_(statement) {}

  int integer(const char* name) {
    const qint64 value = wide(name);
    return static_cast<int>(std::clamp<qint64>(value, INT_MIN, INT_MAX));
  }
  qint64 wide(const char* name) {
    const int column = find(name);
    if (column < 0) return 0;
    const auto value = statement_.integer(column);
    if (!value) fail(name, "is not a whole number");
    return value.value_or(0);
  }
  qint64 hundredths(const char* name) {
    const int column = find(name);
    if (column < 0) return 0;
    const auto value = statement_.hundredths(column);
    if (!value) fail(name, "is not an amount");
    return value.value_or(0);
  }
  QDate date(const char* name) {
    const int column = find(name);
    if (column < 0) return QDate();
    const auto value = statement_.date(column);
    if (!value) fail(name, "is not a date");
    return value.value_or(QDate());
  }
  QString text(const char* name) {
    const int column = find(name);
    return column < 0 ? QString() : statement_.text(column);
  }
  bool isNull(const char* name) {
    const int column = find(name);
    return column < 0 || statement_.isNull(column);
  }
  // The column's value for a result row: null stays null.
  QVariant nullableInteger(const char* name) {
    const int column = find(name);
    if (column < 0 || statement_.isNull(column)) return QVariant();
    return QVariant(wide(name));
  }

  bool ok() const { return error_.isEmpty(); }
  const QString& error() const { return error_; }

 private:
  int find(const char* name) {
    // Names are the callers' constants: known by their address after the first lookup, so a
    // reader kept over every row of its statement looks each one up once.
    for (size_t i = 0; i < knownCount_; ++i) {
      if (known_[i].first == name) return known_[i].second;
    }
    const int column = statement_.column(name);
    if (column < 0 && error_.isEmpty()) {
      error_ = QStringLiteral("the statement has no column %1").arg(QLatin1String(name));
    }
    if (knownCount_ < known_.size()) known_[knownCount_++] = {name, column};
    return column;
  }
  void fail(const char* name, const char* what) {
    if (!error_.isEmpty()) return;
    const int column = statement_.column(name);
    error_ = QStringLiteral("%1 holds '%2', which %3")
                 .arg(QLatin1String(name), statement_.text(column), QLatin1String(what));
  }

  const SqliteStatement& statement_;
  QString error_;
  std::array<std::pair<const char*, int>, 16> known_{};
  size_t knownCount_ = 0;
};

// Runs one of the shared occupancy statements with the server's user, module and right and
// the period's days, and turns each row into a T.
template <typename T, typename Convert>
bool ReadOccupancyRows(SqliteKeptStatements& statements, const char* sql,
                       const OccupancyPeriod& period, Convert convert, QList<T>* rows,
                       QString* error, int facility = -1) {
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
  RowReader row(statement);
  while (statement.next()) {
    T value = convert(row);
    if (!row.ok()) {
      *error = row.error();
      return false;
    }
    rows->append(value);
  }
  if (!statement.ok()) *error = statement.error();
  return statement.ok();
}

// Whether the database has the occupancy index (taurelin-db upgrade adds it).
bool HasOccupancyIndex(SqliteKeptStatements& statements) {
  SqliteStatement table =
      statements.take("SELECT 1 FROM sqlite_master WHERE name = 'LEIE_PERIODE'");
  return table.next();
}

// The layout version of the database (OPPSETT_VERSJON with the schema's version), or
// nothing on a database without it.
std::optional<std::pair<qint64, qint64>> LayoutVersion(SqliteKeptStatements& statements) {
  SqliteStatement version = statements.take(occupancy_sql::kOppsettVersjonSqlite);
  if (!version.next()) return std::nullopt;
  const std::optional<qint64> value = version.integer(0);
  const std::optional<qint64> schema = version.integer(1);
  // A second row is a version table another program changed: nothing is kept behind it.
  if (!value || !schema || version.next()) return std::nullopt;
  return std::pair<qint64, qint64>{*value, *schema};
}

// What HENT_LEDIG_MATRISE keeps of its connection between calls: the layout in the engine,
// the capacities and whether the index is there, behind the layout version, which triggers
// raise on every change of the tables these are read from and the schema raises with every
// changed view. A database without the version is read anew at every call.
struct MatrixLayout {
  std::optional<std::pair<qint64, qint64>> version;
  bool layoutRead = false;
  bool indexed = false;
  OccupancyEngine engine;
  std::optional<QList<TypeCapacity>> perFacility;
  std::optional<QList<TypeCapacity>> summed;
};

// The capacities of every facility's types, or (all) of each type over all facilities.
bool ReadCapacities(SqliteKeptStatements& statements, bool all, const OccupancyPeriod& period,
                    QList<TypeCapacity>* capacities, QString* error) {
  return ReadOccupancyRows(
      statements, all ? occupancy_sql::kKapasitetSamlet : occupancy_sql::kKapasitet, period,
      [all](RowReader& r) {
        return TypeCapacity{all ? -1 : r.integer("ANLEGG"), r.integer("UTYPE"),
                            r.wide("ANTENH")};
      },
      capacities, error);
}

// Brings `kept` up to the database's layout: read anew when the version changed or is not
// there, the capacities first, as they always were.
bool UpdateLayout(SqliteKeptStatements& statements, bool all, const OccupancyPeriod& period,
                  MatrixLayout* kept, QString* error) {
  const std::optional<std::pair<qint64, qint64>> version = LayoutVersion(statements);
  if (!version || version != kept->version) {
    kept->version.reset();
    kept->layoutRead = false;
    kept->perFacility.reset();
    kept->summed.reset();
  }
  std::optional<QList<TypeCapacity>>& capacities = all ? kept->summed : kept->perFacility;
  if (!capacities) {
    QList<TypeCapacity> read;
    if (!ReadCapacities(statements, all, period, &read, error)) return false;
    capacities = std::move(read);
  }
  if (!kept->layoutRead) {
    QList<OccupancyLayoutRow> layout;
    QList<int> facilities;
    if (!ReadOccupancyRows(statements, occupancy_sql::kUtyper, period,
                           occupancy_rows::Layout<RowReader>, &layout, error) ||
        !ReadOccupancyRows(statements, occupancy_sql::kAlleAnlegg, period,
                           occupancy_rows::Facility<RowReader>, &facilities, error)) {
      return false;
    }
    kept->engine.setLayout(layout, facilities);
    kept->indexed = HasOccupancyIndex(statements);
    kept->layoutRead = true;
  }
  kept->version = version;
  return true;
}

// Loads the counters of the period, of one facility's lines (-1: of all), into the engine.
bool LoadOccupancy(SqliteKeptStatements& statements, const OccupancyPeriod& period, int facility,
                   MatrixLayout* kept, QString* error) {
  QList<OccupiedLine> occupied;
  QList<AllotmentLine> allotments;
  QList<UsedAllotment> used;
  if (!ReadOccupancyRows(
          statements,
          kept->indexed ? occupancy_sql::kIkkeLedigIndeksert : occupancy_sql::kIkkeLedig, period,
          occupancy_rows::Occupied<RowReader>, &occupied, error, facility) ||
      !ReadOccupancyRows(statements, occupancy_sql::kAllotment, period,
                         occupancy_rows::Allotment<RowReader>, &allotments, error) ||
      !ReadOccupancyRows(statements, occupancy_sql::kBruktAllotment, period,
                         occupancy_rows::Used<RowReader>, &used, error)) {
    return false;
  }
  kept->engine.load(period, occupied, allotments, used);
  return true;
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
  if (!UpdateLayout(statements, all, period, kept, error) ||
      !LoadOccupancy(statements, period, *facility, kept, error)) {
    return false;
  }
  for (const AvailabilityDay& day :
       kept->engine.matrix(all ? *kept->summed : *kept->perFacility, *facility)) {
    rows->push_back({qint64{day.type}, day.day.toString(Qt::ISODate), day.free, day.allotment,
                     day.free + day.allotment});
  }
  return true;
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

std::optional<qint64> OptionalInteger(const QVariant& value) {
  return value.isNull() ? std::nullopt : std::optional<qint64>(value.toLongLong());
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
  if (!ReadWebPriceSources(statements, *type, *arrival, *departure, &sources, error)) return false;
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
                             const std::shared_ptr<SqliteNumberSeries>& series) {
  TableFunction function;
  function.name = QStringLiteral("LAGE_") + name;
  function.columns = {name + QStringLiteral(" INTEGER")};
  function.sideEffects = true;
  function.compute = [name, series](sqlite3*, const std::vector<sqlite3_value*>&,
                                    TableRows* rows, QString* error) {
    const std::optional<qint64> number = series->next(name, error);
    if (number) rows->push_back({*number});
    return number.has_value();
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
  prices.compute = [cache](sqlite3* db, const std::vector<sqlite3_value*>& values,
                           TableRows* rows, QString* error) {
    SqliteKeptStatements statements(*cache, db);
    return WebPriceMatrix(statements, values, rows, error);
  };

  TableFunction matrix;
  matrix.name = QStringLiteral("HENT_LEDIG_MATRISE");
  matrix.columns = {"UTLEIETYPE INTEGER", "DATO DATE", "LEDIG INTEGER", "ALLOTMENT INTEGER",
                    "TILBUD INTEGER"};
  matrix.arguments = {"FRA", "TIL", "AGENT", "ANLEGG", "ARG5"};
  matrix.compute = [cache, kept = std::make_shared<MatrixLayout>()](
                       sqlite3* db, const std::vector<sqlite3_value*>& values, TableRows* rows,
                       QString* error) {
    SqliteKeptStatements statements(*cache, db);
    return AvailabilityMatrix(statements, values, rows, error, kept.get());
  };

  return {NumberFunction(QStringLiteral("REFNR"), series),
          NumberFunction(QStringLiteral("LINJENR"), series),
          NumberFunction(QStringLiteral("BESTNR"), series), prices, matrix};
}

bool IsRegistered(sqlite3* db, const QString& name) {
  SqliteStatement module(db, "SELECT 1 FROM pragma_module_list WHERE name = :name COLLATE NOCASE");
  module.bind(":name", name);
  return module.next();
}

}  // namespace

bool ReadWebPriceSources(SqliteKeptStatements& statements, int type, QDate arrival, QDate departure,
                         QList<WebPriceSource>* sources, QString* error) {
  // One price at a time: its row is read with its first line, and its lines follow.
  SqliteStatement prices = statements.take(kWebPrices);
  prices.bind(":utype", qint64{type});
  prices.bind(":ank", arrival);
  prices.bind(":avr", departure);
  RowReader row(prices);
  while (prices.next()) {
    const qint64 id = row.wide("PRIS_ID");
    if (sources->isEmpty() || sources->last().id != id) {
      sources->append({id, row.integer("START_DAG"), row.integer("ANT_DAGER"),
                       OptionalInteger(row.nullableInteger("PENSJON")),
                       row.isNull("BESKR") ? std::nullopt
                                           : std::optional<QString>(row.text("BESKR")),
                       OptionalInteger(row.nullableInteger("PRISMET")), {}});
    }
    if (!row.isNull("LINJE")) {
      sources->last().lines.append(PriceLine{row.date("FRA_DATO"), row.date("TIL_DATO"),
                                             row.hundredths("PRIS_UKE"),
                                             row.hundredths("PRIS_WEEK")});
    }
    if (!row.ok()) {
      *error = row.error();
      return false;
    }
  }
  if (!prices.ok()) *error = prices.error();
  return prices.ok();
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
