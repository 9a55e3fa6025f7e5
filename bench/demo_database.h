#pragma once

// The demo business in a new SQLite file, as `taurelin-db init --demo` makes it, for the
// benchmarks that time the server on it.
//
// Promises: true once `file` holds the schema and the demo data; false, with the reason
// printed on standard error, when it cannot be made (an existing database is refused).

#include <QString>

namespace taurelin {

bool InstallDemo(const QString& file);

}  // namespace taurelin
