#include "store/postgres/postgres_connection.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <poll.h>

namespace taurelin {

pg_conn* PostgresHandle(const QSqlDatabase& database) {
  const QVariant handle =
      database.driver() != nullptr ? database.driver()->handle() : QVariant();
  // Qt names the handle's type by libpq's struct.
  if (!handle.isValid() || (qstrcmp(handle.typeName(), "PGconn*") != 0 &&
                            qstrcmp(handle.typeName(), "pg_conn*") != 0)) {
    return nullptr;
  }
  return *static_cast<PGconn* const*>(handle.constData());
}

bool SessionEnded(pg_conn* connection) {
  if (connection == nullptr || PQstatus(connection) == CONNECTION_BAD) return true;
  // A statement's result still arriving is no word from the server on its own.
  if (PQtransactionStatus(connection) == PQTRANS_ACTIVE) return false;
  pollfd socket{PQsocket(connection), POLLIN, 0};
  // The server's last message, then the end of the stream: a few reads at most.
  for (int read = 0; read < 4 && poll(&socket, 1, 0) > 0; ++read) {
    if (PQconsumeInput(connection) == 0) break;
  }
  return PQstatus(connection) == CONNECTION_BAD;
}

}  // namespace taurelin
