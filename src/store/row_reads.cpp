#include "store/row_reads.h"

namespace taurelin {

Statement OpenedStatement(Connection& connection, const char* sql, const RowParams& params) {
  Statement statement(connection);
  statement.add(QString::fromUtf8(sql));
  for (const RowParam& p : params) {
    if (const auto* number = std::get_if<qint64>(&p.value)) {
      statement.bindInteger(QLatin1String(p.name), *number);
    } else {
      statement.bindDate(QLatin1String(p.name), std::get<QDate>(p.value));
    }
  }
  statement.run();
  return statement;
}

}  // namespace taurelin
