#pragma once

// Test support for the instruction handlers: a fresh booking database, a session connected
// to it, and a way to call a handler with values and read the database back.

#include "handlers/instruction.h"
#include "store/database_session.h"
#include "store/test_database.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <initializer_list>
#include <ostream>
#include <utility>

// Failed comparisons of replies print as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace taurelin {

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest();

  // Runs SQL on the database (its own connection).
  void Run(const char* sql) { db_.run(QString::fromUtf8(sql)); }
  // Connects the session again, so that the rental-type summary sees the rows added since.
  void Reconnect();
  // Calls a handler with these column values; the reply starts as `previous`.
  QString Call(InstructionHandler handler,
               std::initializer_list<std::pair<const char*, QString>> values,
               const QString& previous = QString());
  // The first column of the first row of a query, as text ("" when there is no row).
  QString Scalar(const char* sql);
  // Row counts of every table: equal before and after means nothing was written.
  QString Fingerprint();
  // Renames a table away and back, to make the handlers' statements on it fail.
  void HideTable(const char* table);
  void RestoreTable(const char* table);

  // Request values that must never alter a statement.
  static QStringList HostileValues();

  TestDatabase db_;
  StandardErrorMessages messages_;
  DatabaseSession session_{db_.aliases(), messages_};
  HandlerContext context_;
};

}  // namespace taurelin
