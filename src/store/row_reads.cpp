#include "store/row_reads.h"

#include "store/backend.h"
#include "store/connection.h"

#include <utility>
#include <vector>

namespace taurelin {
namespace {

// A row of Statement as a RowView. Each name is looked up once a read, by its address (the
// callers' constants): a row of many columns costs no search of their names.
class StatementRow : public RowView {
 public:
  explicit StatementRow(const Statement& statement) : statement_(statement) {}
  bool isNull(const char* column) override { return statement_.isNull(index(column)); }
  int integer(const char* column) override { return statement_.integer(index(column)); }
  qint64 integer64(const char* column) override { return statement_.integer64(index(column)); }
  QDate date(const char* column) override { return statement_.date(index(column)); }
  QString text(const char* column) override { return statement_.text(index(column)); }

 private:
  int index(const char* column) {
    for (const auto& [name, place] : places_) {
      if (name == column) return place;
    }
    const int place = statement_.columnIndex(QString::fromLatin1(column));
    places_.emplace_back(column, place);
    return place;
  }

  const Statement& statement_;
  std::vector<std::pair<const char*, int>> places_;
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
