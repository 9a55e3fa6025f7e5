#include "store/data_module.h"

#include "store/row_reads.h"

#include "store/backend.h"
#include "store/connection.h"
#include "store/stay_pricing.h"
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

TdmBook::TdmBook(Connection& connection, StoreReports* reports)
    : connection_(connection), occupancy_(connection_, reports, &answers_) {}

TdmBook::~TdmBook() = default;

void TdmBook::openMain() {
  occupancy_.reset();
  QString error;
  if (!connection_.ensureOpen(&error)) {
    throw DatabaseError(error, DatabaseError::Cause::kConnection);
  }
}

void TdmBook::openMainWithoutAlias(const QString& name, const QString& aliasFile) {
  throw DatabaseError(
      QStringLiteral("the database alias '%1' is not defined in %2").arg(name, aliasFile));
}

namespace {

// PostgreSQL: the web prices of several rental types (:UTYPER, an integer array) with their
// lines that touch the stay, in one statement, so one round trip: by type, price and start
// of line. The same rows as SQLite's reader of the price procedure (ReadWebPriceSources).
constexpr char kWebPriceSources[] =
    "SELECT P.UTYPE, P.PRIS_ID, P.PENSJON, P.START_DAG, P.ANT_DAGER, PJ.BESKR, PJ.PRISMET,\n"
    "       L.PRIS_ID AS LINJE, L.FRA_DATO, L.TIL_DATO, L.PRIS_UKE, L.PRIS_WEEK\n"
    "FROM PRIS P LEFT OUTER JOIN PENSJON PJ ON (PJ.PENSJON = P.PENSJON)\n"
    "  LEFT OUTER JOIN PRISLINJE L ON (L.PRIS_ID = P.PRIS_ID AND L.FRA_DATO < :AVR\n"
    "    AND (L.TIL_DATO IS NULL OR L.TIL_DATO > :ANK))\n"
    "WHERE P.UTYPE = ANY(CAST(:UTYPER AS integer[])) AND P.WEB = 'J'\n"
    "ORDER BY P.UTYPE, P.PRIS_ID, L.FRA_DATO";

std::optional<qint64> OptionalInteger(const Statement& s, const QString& column) {
  return s.isNull(column) ? std::nullopt : std::optional<qint64>(s.integer(column));
}

// An exact decimal of two places (NUMERIC(15,2)) in hundredths. The driver gives it as the
// nearest double, which is within a hundredth's fraction of it at that precision.
qint64 Hundredths(const Statement& s, const QString& column) {
  return std::llround(s.number(column) * 100.0);
}

// A row of the web price matrix as availability and reservation read it.
WebPrice WebPriceOf(const PricedSource& priced) {
  const WebPriceSource& s = *priced.source;
  WebPrice price;
  price.priceCode = static_cast<int>(s.id);
  price.total = AmountNumber(priced.price.total);
  price.board = s.board ? static_cast<double>(*s.board) : 0;
  price.priceType = PriceTypeCode(s.startDay, s.days);
  price.boardType = s.method ? static_cast<int>(*s.method) : 0;
  price.boardTypeText = s.method ? QString::number(*s.method) : QStringLiteral("");
  price.startDay = s.startDay;
  price.days = s.days;
  return price;
}

// The web prices of each type with their lines that touch the nights from `arrival` up to
// `until`; throws DatabaseError.
QList<QList<WebPriceSource>> WebPriceSources(Connection& connection, const QList<int>& types,
                                             const QDate& arrival, const QDate& until) {
  QList<QList<WebPriceSource>> sources(types.size());
  const Backend& backend = connection.backend();
  connection.ready();
  if (backend.readWebPriceSources(connection, types, arrival, until, &sources)) return sources;
  QStringList numbers;
  for (const int type : types) numbers << QString::number(type);
  Statement s(connection);
  s.add(QString::fromLatin1(kWebPriceSources));
  s.bindText(QStringLiteral("UTYPER"), u'{' + numbers.join(u',') + u'}');
  s.bindDate(QStringLiteral("ANK"), arrival);
  s.bindDate(QStringLiteral("AVR"), until);
  s.run();
  const QString type = QStringLiteral("UTYPE"), id = QStringLiteral("PRIS_ID"),
                line = QStringLiteral("LINJE");
  QList<WebPriceSource> read;
  qint64 readType = 0;
  const auto keep = [&] {
    for (qsizetype i = 0; i < types.size(); ++i) {
      if (types[i] == readType) sources[i] = read;
    }
    read.clear();
  };
  while (s.next()) {
    const qint64 rowType = s.integer(type);
    if (!read.isEmpty() && rowType != readType) keep();
    readType = rowType;
    if (read.isEmpty() || read.last().id != s.integer(id)) {
      read.append({s.integer(id), s.integer(QStringLiteral("START_DAG")),
                   s.integer(QStringLiteral("ANT_DAGER")),
                   OptionalInteger(s, QStringLiteral("PENSJON")),
                   s.isNull(QStringLiteral("BESKR"))
                       ? std::nullopt
                       : std::optional<QString>(s.text(QStringLiteral("BESKR"))),
                   OptionalInteger(s, QStringLiteral("PRISMET")), {}});
    }
    if (!s.isNull(line)) {
      read.last().lines.append({s.date(QStringLiteral("FRA_DATO")),
                                s.date(QStringLiteral("TIL_DATO")),
                                Hundredths(s, QStringLiteral("PRIS_UKE")),
                                Hundredths(s, QStringLiteral("PRIS_WEEK"))});
    }
  }
  if (!read.isEmpty()) keep();
  return sources;
}

}  // namespace

QList<QList<WebPrice>> ReadWebPrices(Connection& connection, const QList<int>& types,
                                     const QDate& arrival, const QDate& until) {
  QList<QList<WebPrice>> prices(types.size());
  // A stay that ends before it starts has no night to price.
  if (types.isEmpty() || until <= arrival) return prices;
  const QList<QList<WebPriceSource>> sources = WebPriceSources(connection, types, arrival, until);
  for (qsizetype i = 0; i < types.size(); ++i) {
    std::optional<qint64> outOfRange;
    QList<PricedSource> priced = PriceSources(sources[i], arrival, until, &outOfRange);
    if (outOfRange) {
      throw DatabaseError(
          QStringLiteral("the price of the stay at price %1 is out of range").arg(*outOfRange));
    }
    SortAsPriceMatrix(priced);
    prices[i].reserve(priced.size());
    for (const PricedSource& p : priced) prices[i].append(WebPriceOf(p));
  }
  return prices;
}

QList<QList<WebPrice>> TdmBook::WebPricesOfTypes(const QList<int>& types, const QDate& arrival,
                                                 const QDate& until) {
  return ReadWebPrices(connection_, types, arrival, until);
}

UnchangedAnswers& TdmBook::beginQuestion() {
  if (answers_.asking()) {
    answers_.nest();
    return answers_;
  }
  const Backend& backend = connection_.backend();
  const char* query = backend.changeMarkQuery();
  if (query == nullptr) {
    answers_.begin({});
    return answers_;
  }
  if (markRefusedOn_ == connection_.opening()) {
    answers_.begin({});
    return answers_;
  }
  QList<QByteArray> marks;
  try {
    marks = ReadRows(connection_, query, {},
                     [](auto& r) { return r.text("MARK").toLatin1(); });
  } catch (const DatabaseError& failure) {
    if (failure.connectionLost()) throw;
    // A server that lacks what the mark reads (an older PostgreSQL) is asked every
    // question afresh, and not asked for the mark again on this opening.
    markRefusedOn_ = connection_.opening();
  }
  // A connection opened anew starts its marks again: the opening tells them apart.
  answers_.begin(marks.size() == 1 && !marks.first().isEmpty()
                     ? QByteArray::number(connection_.opening()) + '/' + marks.first()
                     : QByteArray());
  return answers_;
}

Statement TdmBook::qryAlleAnlegg() {
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

Statement TdmBook::qryBook() {
  Statement s = statement();
  AddSelect(s, BookColumns());
  s.add({"from BOOKING", "where REFNR=:REFNR"});
  return s;
}

Statement TdmBook::stpRefnr() {
  Statement s = statement();
  s.add(QStringLiteral("SELECT REFNR FROM LAGE_REFNR"));
  return s;
}

Statement TdmBook::stpLeie() {
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

Statement Insert(Connection& connection, const QString& table, const QStringList& columns) {
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

void TdmBook::SaveBooking(TBookingData& booking, TUtleieData& line) {
  // A failure ends the transaction without commit: nothing of this call stays.
  std::optional<WriteTransaction> own;
  if (!connection_.writing()) own.emplace(connection_);
  booking.FORETAKSNR = GetForetak(booking.ANLEGGSNR);
  writeHeader(booking);
  SaveLeie(booking, line);
  if (own) own->commit();
}

void TdmBook::writeHeader(TBookingData& booking) {
  if (booking.REFNR == 0) {
    Statement number = stpRefnr();
    number.run();
    if (!number.next()) throw DatabaseError(QStringLiteral("LAGE_REFNR gave no number"));
    booking.REFNR = number.integer64(QStringLiteral("REFNR"));
  }
  const qint64 refnr = booking.REFNR;
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
  Statement write(connection_);
  if (exists) {
    QStringList assignments;
    for (const QString& column : columns.mid(1)) assignments << column + QStringLiteral(" = :") + column;
    write.add(QStringLiteral("UPDATE BOOKING SET ") + assignments.join(u", "));
    write.add(QStringLiteral("WHERE REFNR = :REFNR"));
  } else {
    write = Insert(connection_, QStringLiteral("BOOKING"), columns);
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
  const qint64 refnr = booking.REFNR;
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
    Statement s = Insert(connection_, QStringLiteral("LEIE"), columns);
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
  Statement s = Insert(connection_, QStringLiteral("LEIE"), columns);
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
