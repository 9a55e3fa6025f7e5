#include "store/read_snapshot.h"

#include "store/backend.h"
#include "store/connection.h"

namespace taurelin {

ReadSnapshot::ReadSnapshot(Connection& connection)
    : connection_(connection), open_(connection.backend().beginReads(connection)) {}

ReadSnapshot::~ReadSnapshot() {
  if (open_) connection_.backend().endReads(connection_);
}

}  // namespace taurelin
