#include "store/data_module.h"

#include "store/connection.h"

#include <QSqlDatabase>

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

TdmBook::~TdmBook() {
  if (QSqlDatabase::contains(connectionName())) {
    QSqlDatabase::database(connectionName(), false).close();
    QSqlDatabase::removeDatabase(connectionName());
  }
}

void TdmBook::openMain(const DatabaseAlias& alias) {
  QString error;
  if (!OpenConnection(alias, connectionName(), &error, /*createMissingFile=*/false)) {
    throw DatabaseError(error);
  }
}

void TdmBook::openMainWithoutAlias(const QString& name, const QString& aliasFile) {
  throw DatabaseError(
      QStringLiteral("the database alias '%1' is not defined in %2").arg(name, aliasFile));
}

Statement TdmBook::qryWebPriser() const {
  Statement s = statement();
  s.add({"select",
         "  INTPRISKODE,",
         "  STRBESKR,",
         "  FLTTOTALPRISER,",
         "  FLTPRISMND,",
         "  FLTPENSJON,",
         "  CHRPRISTYPE,",
         "  intPRISMET,",
         "  intSTART_DAG START_DAG,",
         "  intANT_DAGER ANT_DAGER",
         "from",
         "  BEREGN_WEB_PRISMATRISE(:REFDATO, :ANK, :AVR, :UTYPEN, :ANLEGGET)",
         "ORDER BY STRBESKR, intPRISMET, intSTART_DAG, intANT_DAGER"});
  return s;
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
