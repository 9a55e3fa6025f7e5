#pragma once

// A row of a read, as every reader in the store takes it, whichever backend read it: the
// values of its columns by name. Promises: each value reads as Statement reads it (NULL as
// 0, the empty text or an invalid date; a value its column cannot give fails with
// DatabaseError). The names are the callers' constants, which a backend may know by their
// address.

#include <QDate>
#include <QString>

namespace taurelin {

class RowView {
 public:
  virtual ~RowView() = default;
  virtual bool isNull(const char* column) = 0;
  virtual int integer(const char* column) = 0;
  virtual qint64 integer64(const char* column) = 0;
  virtual QDate date(const char* column) = 0;
  virtual QString text(const char* column) = 0;
};

}  // namespace taurelin
