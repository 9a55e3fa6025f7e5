#include "store/sqlite_procedures.h"

#include <QSqlDatabase>

namespace taurelin {

bool RegisterSqliteProcedures(QSqlDatabase&, QString*) { return true; }

}  // namespace taurelin
