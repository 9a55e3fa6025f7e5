#pragma once

// The raw libpq connection behind a Qt one, and whether its server has ended its session.

class QSqlDatabase;
struct pg_conn;

namespace taurelin {

// The libpq connection of a PostgreSQL connection; null for any other.
pg_conn* PostgresHandle(const QSqlDatabase& database);

// Whether the server has ended the session: libpq knows it lost the connection, or the server
// said so on the socket of an idle connection. A server that shuts down or ends a session
// sends its reason and closes the socket, so input waiting on an idle connection is read (it
// never blocks) to let libpq see the end. One poll, no round trip. A session lost without a
// word (a cable pulled) shows only when a statement on it fails.
bool SessionEnded(pg_conn* connection);

}  // namespace taurelin
