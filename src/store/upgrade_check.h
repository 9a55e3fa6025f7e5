#pragma once

// Whether a booking database has what the upgrade script adds: the server reads this once
// per connection to know whether the occupancy index and the layout version are there; the
// contract check lists it with the rest.

#include <QStringList>

class QSqlDatabase;

namespace taurelin {

// What the upgrade script adds that the database lacks: the occupancy index over LEIE with
// the triggers that keep it (SQLite), and the layout version with the triggers that raise
// it. One line per missing object, each saying that taurelin-db upgrade adds it; empty when
// all are there (or the backend is neither SQLite nor PostgreSQL).
QStringList CheckUpgrade(QSqlDatabase& database);

}  // namespace taurelin
