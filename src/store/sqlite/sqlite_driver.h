#pragma once

// The name of Qt's SQLite driver, apart from the backend, so that a program or test that
// opens a plain SQLite connection of its own names the driver without the backend's insides.

namespace taurelin {

inline constexpr char kSqliteDriver[] = "QSQLITE";

}  // namespace taurelin
