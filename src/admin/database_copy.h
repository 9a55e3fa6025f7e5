#pragma once

// Moving a booking business to another database: every table of the booking database copied
// from one connection into an empty database on another, typically from an SQLite file into
// PostgreSQL, with the tables of our own that hold the business's data (the channel
// bookings) where the source has them.
//
// The target gets the schema of its own backend and the rows in one transaction, so that a
// failure anywhere leaves it as empty as it was. The source is read inside one transaction
// too, so the copy is one consistent state even while a server writes to it. The number
// series of the target continue after the last number the source handed out, or after the
// highest number among the copied rows where that is higher, so that no new booking takes
// the number of a copied one. A value that a NUMERIC(p,s) column of the target would not
// hold as it is (PostgreSQL would round a price of 100.125 to 100.13, SQLite's check refuse
// it) stops the copy before it is written, named by its table, key and column.

#include <QList>
#include <QString>

#include <functional>

class QSqlDatabase;

namespace taurelin {

struct CopiedTable {
  QString name;
  qint64 rows = 0;
};

// Told of a table's rows as they are written: every 50,000 rows, and once more, `finished`,
// when the table is whole (the copy is committed only after the last table).
using CopyProgress = std::function<void(const CopiedTable& table, bool finished)>;

// Copies the booking tables of `from` into `to`, which must hold no table at all. Returns
// false with `error` set on refusal or failure (nothing then changes on `to`); on success
// `copied` lists each table with its number of rows, in the order they were written. On a
// PostgreSQL target the copied tables are analyzed, so that the first requests are planned
// on their real sizes.
bool CopyDatabase(QSqlDatabase& from, QSqlDatabase& to, QList<CopiedTable>* copied,
                  QString* error, const CopyProgress& progress = {});

}  // namespace taurelin
