#pragma once

// The database procedures on SQLite, as table-valued functions on a connection:
//
//   SELECT REFNR FROM LAGE_REFNR              a booking reference number never handed out
//   SELECT LINJENR FROM LAGE_LINJENR          a rental line number never handed out
//   SELECT BESTNR FROM LAGE_BESTNR            a booker number never handed out
//   SELECT ... FROM BEREGN_WEB_PRISMATRISE(REFDATO, ANK, AVR, UTYPEN, ANLEGGET)
//       one row per web price of rental type UTYPEN that prices every night from ANK up to
//       AVR; REFDATO and ANLEGGET do not change the rows
//   SELECT ... FROM HENT_LEDIG_MATRISE(FRA, TIL, AGENT, ANLEGG, 0)
//       per rental type of facility ANLEGG (-1: all) and day from FRA to TIL (at most 366
//       days; none when TIL is before FRA): free units, units held for AGENT (-1: none), both
//
// Dates are accepted as ISO text ('yyyy-mm-dd', what a bound QDate becomes) and as local
// text ('dd.mm.yyyy'); numbers as integers or text holding one. Any other argument, NULL
// included, fails the statement with a message that names the argument.
//
// The procedures read through the statements kept on their handle in the connection's
// statement cache (SqliteKeptStatements), which each registration holds in its client data:
// the cache lives as long as the connection, longer than any of its handles.

#include "store/stay_pricing.h"

#include <QDate>
#include <QList>
#include <QString>

class QSqlDatabase;

namespace taurelin {

class SqliteKeptStatements;
class StatementCache;

// Registers the procedures on an open QSQLITE connection, reading through the statements
// `cache` keeps on its handle; a connection that has them keeps the ones it has. Returns
// false and sets `error` when the connection is no open SQLite connection or registration
// fails.
bool RegisterSqliteProcedures(QSqlDatabase& database, StatementCache& cache, QString* error);

// The web prices of rental type `type`, each with its lines that touch the nights from
// `arrival` up to `departure`, in the order of PRIS_ID, read as BEREGN_WEB_PRISMATRISE reads
// them; the data module prices stays from the same rows. Throws DatabaseError when the
// statement fails or a stored value is not what its column holds.
QList<WebPriceSource> ReadWebPriceSources(SqliteKeptStatements& statements, int type,
                                          QDate arrival, QDate departure);
// The same for each of `types` (a type may come more than once), in one statement: the
// sources of types[i] at i.
QList<QList<WebPriceSource>> ReadWebPriceSourcesOfTypes(SqliteKeptStatements& statements,
                                                        const QList<int>& types, QDate arrival,
                                                        QDate departure);

}  // namespace taurelin
