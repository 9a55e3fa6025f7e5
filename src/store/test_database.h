#pragma once

// Test support: a fresh SQLite booking database in a temporary directory, with the schema
// installed and an alias file that names it.

#include "store/alias_list.h"

#include <QTemporaryDir>

#include <functional>

class QSqlDatabase;

namespace taurelin {

// Runs `work` on a connection of its own to `alias`, closed after; a failure (an opening that
// fails, or `work` answering false with its error) throws.
void WithConnection(const DatabaseAlias& alias,
                    const std::function<bool(QSqlDatabase&, QString*)>& work);

class TestDatabase {
 public:
  // The schema, and the demo business when `withDemo` is set.
  explicit TestDatabase(bool withDemo = false);
  ~TestDatabase();

  // Runs a script of SQL statements on the database.
  void run(const QString& sql);

  const QString& file() const { return file_; }
  const AliasList& aliases() const { return aliases_; }
  DatabaseAlias alias() const { return *aliases_.find(QStringLiteral("test")); }

 private:
  QTemporaryDir dir_;
  QString file_;
  AliasList aliases_;
};

}  // namespace taurelin
