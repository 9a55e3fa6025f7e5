#include "store/data_module.h"

#include "store/row_reads.h"

#include "store/connection.h"
#include "store/dialect.h"
#include "store/prepared_statements.h"
#include "store/write_transaction.h"

#include <QSqlDatabase>

#include <cmath>
#include <optional>

namespace taurelin {
namespace {

// "select" and one line per column, each but the last ending with ",".
void AddSelect(Statement& statement, const QStringList& columns) {
  statement.add(QStringLiteral("select"));
  for (qsizetype i = 0; i < columns.size(); ++i) {
    statement.add(QStringLiteral("  ") + columns[i] +
                  (i + 1 < columns.size() ? QStringLiteral(",") : QString()));
  }
}

}  // namespace

TdmBook::TdmBook(OperatorMessages* messages)
    : occupancy_(QLatin1String(kConnectionName), messages) {}

TdmBook::~TdmBook() {
  CloseConnection(connectionName());
}

void TdmBook::openMain(const DatabaseAlias& alias) {
  QString error;
  if (!OpenConnection(alias, connectionName(), &error, /*createMissingFile=*/false)) {
    throw DatabaseError(error, DatabaseError::Cause::kConnection);
  }
  occupancy_.reset();
  sqlite_.reset();
}

void TdmBook::openMainWithoutAlias(const QString& name, const QString& aliasFile) {
  throw DatabaseError(
      QStringLiteral("the database alias '%1' is not defined in %2").arg(name, aliasFile));
}

bool TdmBook::sqlite() {
  if (!sqlite_) sqlite_ = !Dialect::Of(connectionName()).isPostgres();
  return *sqlite_;
}

namespace {

// A row of the web price matrix, read from a SqliteRow or a Statement.
template <typename Row>
WebPrice WebPriceOf(Row& s) {
  WebPrice price;
  price.priceCode = s.integer("INTPRISKODE");
  price.total = s.number("FLTTOTALPRISER");
  price.board = s.number("FLTPENSJON");
  price.priceType = s.text("CHRPRISTYPE");
  price.boardType = s.integer("intPRISMET");
  price.boardTypeText = s.text("intPRISMET");
  price.startDay = s.integer("START_DAG");
  price.days = s.integer("ANT_DAGER");
  return price;
}

// SQLite: the matrix of one rental type, in a statement kept for the connection.
constexpr char kWebPricesSqlite[] =
    "select\n"
    "  INTPRISKODE,\n"
    "  STRBESKR,\n"
    "  FLTTOTALPRISER,\n"
    "  FLTPRISMND,\n"
    "  FLTPENSJON,\n"
    "  CHRPRISTYPE,\n"
    "  intPRISMET,\n"
    "  intSTART_DAG START_DAG,\n"
    "  intANT_DAGER ANT_DAGER\n"
    "from\n"
    "  BEREGN_WEB_PRISMATRISE(:REFDATO, :ANK, :AVR, :UTYPEN, :ANLEGGET)\n"
    "ORDER BY STRBESKR, intPRISMET, intSTART_DAG, intANT_DAGER";

// PostgreSQL: the matrices of several rental types (:UTYPER, an integer array) in one
// statement, so one round trip. NR numbers the types in the array's order; each type's rows
// come in the order of its own matrix, ties in the order the procedure gives them.
constexpr char kWebPricesOfTypes[] =
    "select\n"
    "  T.NR,\n"
    "  M.INTPRISKODE,\n"
    "  M.STRBESKR,\n"
    "  M.FLTTOTALPRISER,\n"
    "  M.FLTPRISMND,\n"
    "  M.FLTPENSJON,\n"
    "  M.CHRPRISTYPE,\n"
    "  M.intPRISMET,\n"
    "  M.intSTART_DAG START_DAG,\n"
    "  M.intANT_DAGER ANT_DAGER\n"
    "from\n"
    "  unnest(CAST(:UTYPER AS integer[])) WITH ORDINALITY AS T(UTYPE, NR)\n"
    "  CROSS JOIN LATERAL BEREGN_WEB_PRISMATRISE(:REFDATO, :ANK, :AVR, T.UTYPE, :ANLEGGET)\n"
    "    WITH ORDINALITY AS M(INTPRISKODE, STRBESKR, FLTTOTALPRISER, FLTPRISMND, FLTPENSJON,\n"
    "                         CHRPRISTYPE, intPRISMET, intSTART_DAG, intANT_DAGER, RANG)\n"
    "ORDER BY T.NR, M.STRBESKR COLLATE \"C\" NULLS FIRST, M.intPRISMET NULLS FIRST,\n"
    "  M.intSTART_DAG NULLS FIRST, M.intANT_DAGER NULLS FIRST, M.RANG";

}  // namespace

QList<WebPrice> TdmBook::sqliteWebPrices(int type, int facility, const QDate& reference,
                                         const QDate& arrival, const QDate& until) {
  const RowParams params = {{":REFDATO", reference}, {":ANK", arrival}, {":AVR", until},
                            {":UTYPEN", qint64{type}}, {":ANLEGGET", qint64{facility}}};
  return ReadRows(connectionName(), true, kWebPricesSqlite, params,
                  [](auto& s) { return WebPriceOf(s); });
}

QList<QList<WebPrice>> TdmBook::WebPricesOfTypes(const QList<int>& types, int facility,
                                                 const QDate& reference, const QDate& arrival,
                                                 const QDate& until) {
  QList<QList<WebPrice>> prices;
  prices.reserve(types.size());
  if (types.isEmpty()) return prices;
  if (sqlite()) {
    // A kept statement a type costs no round trip.
    for (const int type : types) {
      prices.append(sqliteWebPrices(type, facility, reference, arrival, until));
    }
    return prices;
  }
  QStringList numbers;
  for (const int type : types) numbers << QString::number(type);
  Statement statement(connectionName());
  statement.add(QString::fromLatin1(kWebPricesOfTypes));
  statement.bindText(QStringLiteral("UTYPER"), u'{' + numbers.join(u',') + u'}');
  statement.bindDate(QStringLiteral("REFDATO"), reference);
  statement.bindDate(QStringLiteral("ANK"), arrival);
  statement.bindDate(QStringLiteral("AVR"), until);
  statement.bindInteger(QStringLiteral("ANLEGGET"), facility);
  statement.run();
  prices.resize(types.size());
  while (statement.next()) {
    const qsizetype at = statement.integer(QStringLiteral("NR")) - 1;
    if (at >= 0 && at < prices.size()) prices[at].append(WebPriceOf(statement));
  }
  return prices;
}

Statement TdmBook::qryAlleAnlegg() const {
  Statement s = statement();
  s.add({"select", "  ANLEGGSNR,", "  ANLEGGSNAVN,", "  FORETAKSNR", "from", "  ANLEGG"});
  return s;
}

const QStringList& TdmBook::BookColumns() {
  static const QStringList columns = {
      "REFNR",  "ANLEGGSNR", "FORETAKSNR", "FORMAL",    "REG_DATO", "AKODE",   "BESTNR",
      "BEKREFT", "BEKREFT_DATO", "FAKTURER", "RABATT",  "ANM",      "ANM_INT", "FORSK_BET",
      "OPPR_AV", "UTSJEKKET", "STATUS",    "KUPONG",    "AVBESTILT", "AGENT_KONTAKT"};
  return columns;
}

const QStringList& TdmBook::LeieColumns() {
  static const QStringList columns = {
      "REFNR",    "BESTNR",   "ANKOMST", "AVREISE",  "OBJNR",      "UTYPE",    "FLOYKODE",
      "LEIETYPE", "TIL",      "ETTER",   "LINJENR",  "LINJE_EIER", "ANTALL",   "ANT_VOKSEN",
      "ANT_BARN", "A_PRIS",   "VKODE",   "UT_FAKT",  "PENSJON",    "FORMAL",   "RABATT",
      "PRISKODE", "STATKODE", "PRISTYPE", "ANLEGG",  "STATUS",     "FAKT_STAT", "TEKST",
      "FRITEKST", "ANT_GRATIS", "AG_PROV"};
  return columns;
}

Statement TdmBook::qryBook() const {
  Statement s = statement();
  AddSelect(s, BookColumns());
  s.add({"from BOOKING", "where REFNR=:REFNR"});
  return s;
}

Statement TdmBook::qryLeie() const {
  Statement s = statement();
  AddSelect(s, LeieColumns());
  s.add({"from LEIE", "where REFNR = :REFNR"});
  return s;
}

Statement TdmBook::stpRefnr() const {
  Statement s = statement();
  s.add(QStringLiteral("SELECT REFNR FROM LAGE_REFNR"));
  return s;
}

Statement TdmBook::stpLeie() const {
  Statement s = statement();
  s.add(QStringLiteral("SELECT LINJENR FROM LAGE_LINJENR"));
  return s;
}

}  // namespace taurelin

namespace taurelin {
namespace {

// Binds a whole number that -1 marks as absent.
void BindOptional(Statement& s, const QString& name, double value) {
  if (value == -1) {
    s.bindNull(name);
  } else {
    s.bindInteger(name, static_cast<qint64>(std::llround(value)));
  }
}

void BindTextOrNull(Statement& s, const QString& name, const QString& value) {
  if (value.isEmpty()) {
    s.bindNull(name);
  } else {
    s.bindText(name, value);
  }
}

// PENSJON and PRISKODE are written only when they are not 0.
void AddOptionalColumns(const TUtleieData& line, QStringList& columns) {
  if (line.PENSJON != 0) columns << QStringLiteral("PENSJON");
  if (line.PRISKODE != 0) columns << QStringLiteral("PRISKODE");
}

Statement Insert(const QString& connection, const QString& table, const QStringList& columns) {
  Statement s(connection);
  s.add(QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + columns.join(u", ") +
        u')');
  QStringList placeholders;
  for (const QString& column : columns) placeholders << u':' + column;
  s.add(QStringLiteral("VALUES (") + placeholders.join(u", ") + u')');
  return s;
}

}  // namespace

double TdmBook::GetForetak(double anlegg) {
  if (!companies_) {
    Statement s = qryAlleAnlegg();
    s.run();
    QHash<double, double> companies;
    while (s.next()) {
      const double facility = s.number(QStringLiteral("ANLEGGSNR"));
      if (!companies.contains(facility)) {
        companies.insert(facility, s.number(QStringLiteral("FORETAKSNR")));
      }
    }
    companies_ = companies;
  }
  return companies_->value(anlegg, -1);
}

int TdmBook::newLineNumber() {
  Statement s = stpLeie();
  s.run();
  if (!s.next()) throw DatabaseError(QStringLiteral("LAGE_LINJENR gave no number"));
  return s.integer(QStringLiteral("LINJENR"));
}

bool TdmBook::SaveBooking(TBookingData& booking, TUtleieData& line) {
  std::optional<WriteTransaction> own;
  if (!WriteTransaction::IsOpen(connectionName())) own.emplace(connectionName());
  booking.FORETAKSNR = GetForetak(booking.ANLEGGSNR);
  writeHeader(booking);
  try {
    SaveLeie(booking, line);
  } catch (const DatabaseError&) {
    return false;  // the transaction ends without commit: nothing of this call stays
  }
  if (own) own->commit();
  return true;
}

void TdmBook::writeHeader(TBookingData& booking) {
  if (booking.REFNR == 0) {
    Statement number = stpRefnr();
    number.run();
    if (!number.next()) throw DatabaseError(QStringLiteral("LAGE_REFNR gave no number"));
    booking.REFNR = number.integer(QStringLiteral("REFNR"));
  }
  const qint64 refnr = static_cast<qint64>(std::llround(booking.REFNR));
  Statement existing = qryBook();
  existing.bindInteger(QStringLiteral("REFNR"), refnr);
  existing.run();
  const bool exists = existing.next();
  existing.close();

  // An existing booking keeps who booked it, its remarks, status, dates and agent contact.
  QStringList columns = {"REFNR",    "ANLEGGSNR", "FORETAKSNR", "FORMAL", "AKODE",
                         "BEKREFT",  "FAKTURER",  "RABATT",     "FORSK_BET", "OPPR_AV",
                         "UTSJEKKET", "KUPONG"};
  if (!exists) {
    columns << QStringList{"REG_DATO", "BESTNR", "BEKREFT_DATO", "ANM", "ANM_INT", "STATUS",
                           "AGENT_KONTAKT"};
  }
  Statement write(connectionName());
  if (exists) {
    QStringList assignments;
    for (const QString& column : columns.mid(1)) assignments << column + QStringLiteral(" = :") + column;
    write.add(QStringLiteral("UPDATE BOOKING SET ") + assignments.join(u", "));
    write.add(QStringLiteral("WHERE REFNR = :REFNR"));
  } else {
    write = Insert(connectionName(), QStringLiteral("BOOKING"), columns);
  }
  write.bindInteger(QStringLiteral("REFNR"), refnr);
  write.bindInteger(QStringLiteral("ANLEGGSNR"), static_cast<qint64>(std::llround(booking.ANLEGGSNR)));
  write.bindInteger(QStringLiteral("FORETAKSNR"), static_cast<qint64>(std::llround(booking.FORETAKSNR)));
  write.bindInteger(QStringLiteral("FORMAL"), booking.FORMAL);
  BindOptional(write, QStringLiteral("AKODE"), booking.AKODE);
  write.bindText(QStringLiteral("BEKREFT"), booking.BEKREFT);
  write.bindText(QStringLiteral("FAKTURER"), booking.FAKTURER);
  write.bindReal(QStringLiteral("RABATT"), booking.RABATT);
  write.bindText(QStringLiteral("FORSK_BET"), booking.FORSK_BET);
  write.bindInteger(QStringLiteral("OPPR_AV"), static_cast<qint64>(std::llround(booking.OPPR_AV)));
  BindTextOrNull(write, QStringLiteral("UTSJEKKET"), booking.UTSJEKKET);
  write.bindText(QStringLiteral("KUPONG"), booking.KUPONG);
  if (!exists) {
    write.bindDate(QStringLiteral("REG_DATO"), booking.REG_DATO);
    BindOptional(write, QStringLiteral("BESTNR"), booking.BESTNR);
    write.bindDateTime(QStringLiteral("BEKREFT_DATO"), booking.BEKREFT_DATO);
    write.bindText(QStringLiteral("ANM"), booking.ANM);
    write.bindText(QStringLiteral("ANM_INT"), booking.ANM_INT);
    write.bindInteger(QStringLiteral("STATUS"), booking.STATUS);
    BindOptional(write, QStringLiteral("AGENT_KONTAKT"), booking.AGENT_KONTAKT);
  }
  write.run();
}

void TdmBook::SaveLeie(const TBookingData& booking, TUtleieData& line) {
  const qint64 refnr = static_cast<qint64>(std::llround(booking.REFNR));
  Statement existing = qryLeie();
  existing.bindInteger(QStringLiteral("REFNR"), refnr);
  existing.run();
  existing.close();

  line.LINJENR = newLineNumber();
  TUtleieData object = line;
  object.LINJE_EIER = line.LINJENR;
  object.LINJENR = newLineNumber();
  object.LEIETYPE = QStringLiteral("O");
  object.state = u'I';

  if (line.state == u'I') {
    QStringList columns = {"A_PRIS",   "ANKOMST",  "ANLEGG",   "ANT_BARN", "ANT_GRATIS",
                           "ANT_VOKSEN", "ANTALL", "AVREISE",  "FRITEKST", "LEIETYPE",
                           "LINJE_EIER", "LINJENR", "PRISTYPE", "REFNR",   "STATKODE", "UTYPE"};
    AddOptionalColumns(line, columns);
    Statement s = Insert(connectionName(), QStringLiteral("LEIE"), columns);
    s.bindReal(QStringLiteral("A_PRIS"), line.A_PRIS);
    s.bindDate(QStringLiteral("ANKOMST"), line.ANKOMST);
    s.bindInteger(QStringLiteral("ANLEGG"), line.ANLEGG);
    s.bindInteger(QStringLiteral("ANT_BARN"), line.ANT_BARN);
    s.bindInteger(QStringLiteral("ANT_GRATIS"), line.ANT_GRATIS);
    s.bindInteger(QStringLiteral("ANT_VOKSEN"), line.ANT_VOKSEN);
    s.bindInteger(QStringLiteral("ANTALL"), line.ANTALL);
    s.bindDate(QStringLiteral("AVREISE"), line.AVREISE);
    s.bindText(QStringLiteral("FRITEKST"), line.FRITEKST);
    s.bindText(QStringLiteral("LEIETYPE"), QStringLiteral("U"));
    s.bindInteger(QStringLiteral("LINJE_EIER"), line.LINJE_EIER);
    s.bindInteger(QStringLiteral("LINJENR"), line.LINJENR);
    s.bindText(QStringLiteral("PRISTYPE"), line.PRISTYPE);
    s.bindInteger(QStringLiteral("REFNR"), line.REFNR);
    s.bindText(QStringLiteral("STATKODE"), line.STATKODE);
    s.bindInteger(QStringLiteral("UTYPE"), line.UTYPE);
    if (line.PENSJON != 0) s.bindInteger(QStringLiteral("PENSJON"), line.PENSJON);
    if (line.PRISKODE != 0) s.bindInteger(QStringLiteral("PRISKODE"), line.PRISKODE);
    s.run();
    line.state = u' ';
  }

  QStringList columns = {"LINJENR",  "REFNR",   "UTYPE",      "ANLEGG",     "A_PRIS",
                         "RABATT",   "ANKOMST", "AVREISE",    "ANTALL",     "STATKODE",
                         "OBJNR",    "TIL",     "ETTER",      "ANT_VOKSEN", "ANT_BARN",
                         "ANT_GRATIS", "PRISTYPE", "FLOYKODE", "LEIETYPE",  "LINJE_EIER",
                         "FAKT_STAT"};
  AddOptionalColumns(object, columns);
  Statement s = Insert(connectionName(), QStringLiteral("LEIE"), columns);
  s.bindInteger(QStringLiteral("LINJENR"), object.LINJENR);
  s.bindInteger(QStringLiteral("REFNR"), refnr);
  s.bindInteger(QStringLiteral("UTYPE"), object.UTYPE);
  s.bindInteger(QStringLiteral("ANLEGG"), object.ANLEGG);
  s.bindReal(QStringLiteral("A_PRIS"), object.A_PRIS);
  s.bindReal(QStringLiteral("RABATT"), object.RABATT);
  s.bindDate(QStringLiteral("ANKOMST"), object.ANKOMST);
  s.bindDate(QStringLiteral("AVREISE"), object.AVREISE);
  s.bindInteger(QStringLiteral("ANTALL"), object.ANTALL);
  s.bindText(QStringLiteral("STATKODE"), object.STATKODE);
  s.bindText(QStringLiteral("OBJNR"), object.OBJNR);
  s.bindText(QStringLiteral("TIL"), object.TIL);
  s.bindText(QStringLiteral("ETTER"), object.ETTER);
  s.bindInteger(QStringLiteral("ANT_VOKSEN"), object.ANT_VOKSEN);
  s.bindInteger(QStringLiteral("ANT_BARN"), object.ANT_BARN);
  s.bindInteger(QStringLiteral("ANT_GRATIS"), object.ANT_GRATIS);
  s.bindText(QStringLiteral("PRISTYPE"), object.PRISTYPE);
  BindTextOrNull(s, QStringLiteral("FLOYKODE"), object.FLOYKODE);
  s.bindText(QStringLiteral("LEIETYPE"), QStringLiteral("O"));
  s.bindInteger(QStringLiteral("LINJE_EIER"), object.LINJE_EIER);
  s.bindText(QStringLiteral("FAKT_STAT"), QString());
  if (object.PENSJON != 0) s.bindInteger(QStringLiteral("PENSJON"), object.PENSJON);
  if (object.PRISKODE != 0) s.bindInteger(QStringLiteral("PRISKODE"), object.PRISKODE);
  s.run();
}

}  // namespace taurelin
