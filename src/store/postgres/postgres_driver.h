#pragma once

// The name of Qt's PostgreSQL driver, apart from the backend, so that a program or test
// names the driver without the backend's insides.

namespace taurelin {

inline constexpr char kPostgresDriver[] = "QPSQL";

}  // namespace taurelin
