#include "store/row_reads.h"

#include "store/backend.h"
#include "store/connection.h"

namespace taurelin {
namespace {

// A row of Statement as a RowView.
class StatementRow : public RowView {
 public:
  explicit StatementRow(const Statement& statement) : statement_(statement) {}
  bool isNull(const char* column) override { return statement_.isNull(Name(column)); }
  int integer(const char* column) override { return statement_.integer(Name(column)); }
  qint64 integer64(const char* column) override { return statement_.integer64(Name(column)); }
  QDate date(const char* column) override { return statement_.date(Name(column)); }
  QString text(const char* column) override { return statement_.text(Name(column)); }

 private:
  static QString Name(const char* column) { return QString::fromLatin1(column); }
  const Statement& statement_;
};

}  // namespace

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

void ReadEachRow(Connection& connection, const char* sql, const RowParams& params,
                 const std::function<void(RowView&)>& row) {
  connection.backend().readRows(connection, sql, params, row);
}

void Backend::readRows(Connection& connection, const char* sql, const RowParams& params,
                       const std::function<void(RowView&)>& row) const {
  Statement statement = OpenedStatement(connection, sql, params);
  StatementRow view(statement);
  while (statement.next()) row(view);
}

}  // namespace taurelin
