#pragma once

// What the booking programs rely on in a booking database, and the check of a database
// against it: the tables and views with every column that our statements name, and the
// procedures LAGE_REFNR, LAGE_LINJENR, LAGE_BESTNR, BEREGN_WEB_PRISMATRISE and
// HENT_LEDIG_MATRISE with the columns we read from them, and the number series that the
// first three hand out, listed in TELLER (a table on SQLite, a view over the sequences on
// PostgreSQL).
//
// The check reads only: procedures are compiled by preparing the statement that calls
// them, never run, so no number is used up. Names compare without regard to case, since
// PostgreSQL folds unquoted names to lower case.

#include <QStringList>

class QSqlDatabase;

namespace taurelin {

// One line per missing item, such as "table LEIE_ALLOT is missing", "table LEIE has no
// column AG_PROV" or "procedure LAGE_REFNR does not compile: no such table: LAGE_REFNR".
// Empty when the database has everything, the upgrade's objects included (CheckUpgrade).
QStringList CheckContract(QSqlDatabase& database);

// The tables of the booking database, each after the tables its foreign keys name, so that
// rows written in this order never refer to a row not yet there.
QStringList ContractTables();

}  // namespace taurelin
