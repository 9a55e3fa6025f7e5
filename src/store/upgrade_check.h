#pragma once

// Whether a booking database has what the upgrade script adds: the server reads this once
// per connection to know whether the occupancy index and the layout version are there; the
// contract check lists it with the rest, the tables of the channel import included.

#include <QStringList>

class QSqlDatabase;

namespace taurelin {

// Which of the upgrade's objects to look for: all of them, those that the occupancy reads
// (a database upgraded before the others came keeps its fast reads), or the occupancy
// counts with the triggers that keep them, or the used allotments kept with their lines' values
// (a database upgraded before they came keeps its counts).
enum class UpgradePart { kAll, kOccupancy, kCounts, kUsedAllotments };

// What the upgrade script adds that the database lacks: the occupancy index over LEIE with
// the triggers that keep it (SQLite), the layout version with the triggers that raise it,
// the occupancy counts with theirs, the kept used allotments with theirs, and (kAll) the tables
// of the channel import. One line per missing object, each saying that taurelin-db upgrade
// adds it (and, for the counts and the used allotments, that stays are then read faster);
// empty when all are there (or the backend is neither SQLite nor PostgreSQL).
QStringList CheckUpgrade(QSqlDatabase& database, UpgradePart part = UpgradePart::kAll);

// The tables of our own that the upgrade makes alike on both backends and whose rows are the
// business's data (a copy of the business takes them along).
QStringList OwnTables();

}  // namespace taurelin
