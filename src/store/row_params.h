#pragma once

// The values bound to a statement that the store runs on every request: whole numbers and
// dates, by placeholder name.

#include <QDate>
#include <QList>

#include <variant>

namespace taurelin {

struct RowParam {
  const char* name;  // with ':'
  std::variant<qint64, QDate> value;  // an invalid date binds as NULL
};
using RowParams = QList<RowParam>;

}  // namespace taurelin
