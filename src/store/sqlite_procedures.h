#pragma once

// The database procedures on SQLite, as table-valued functions on a connection:
//
//   SELECT REFNR FROM LAGE_REFNR              a booking reference number never handed out
//   SELECT LINJENR FROM LAGE_LINJENR          a rental line number never handed out
//   SELECT BESTNR FROM LAGE_BESTNR            a booker number never handed out
//   SELECT ... FROM BEREGN_WEB_PRISMATRISE(REFDATO, ANK, AVR, UTYPEN, ANLEGGET)
//   SELECT ... FROM HENT_LEDIG_MATRISE(FRA, TIL, AGENT, ANLEGG, 0)
//
// Dates are accepted as ISO text ('yyyy-mm-dd', what a bound QDate becomes) and as local
// text ('dd.mm.yyyy'); a date that is neither fails the statement.

#include <QString>

class QSqlDatabase;

namespace taurelin {

// Registers the procedures on an open QSQLITE connection. Returns false and sets `error`
// when the connection is no SQLite connection or registration fails.
bool RegisterSqliteProcedures(QSqlDatabase& database, QString* error);

}  // namespace taurelin
