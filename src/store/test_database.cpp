#include "store/test_database.h"

#include "store/connection.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <stdexcept>

namespace taurelin {

TestDatabase::TestDatabase() : file_(dir_.filePath(QStringLiteral("booking.db"))) {
  const QString aliasFile = dir_.filePath(QStringLiteral("aliases.ini"));
  QFile out(aliasFile);
  if (!out.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the alias file");
  out.write(("[test]\ndriver=QSQLITE\ndatabase=" + file_ + "\n").toUtf8());
  out.close();
  aliases_ = AliasList::Load(aliasFile);

  QFile schema(QStringLiteral(":/db/sqlite/schema.sql"));
  if (!schema.open(QIODevice::ReadOnly)) throw std::runtime_error("no schema resource");
  run(QString::fromUtf8(schema.readAll()));
}

TestDatabase::~TestDatabase() = default;

void TestDatabase::run(const QString& sql) {
  const QString name = QUuid::createUuid().toString();
  {
    QString error;
    if (!OpenConnection(alias(), name, &error)) throw std::runtime_error(error.toStdString());
    QSqlQuery query(QSqlDatabase::database(name, false));
    for (const QString& piece : sql.split(QStringLiteral(";\n"))) {
      QString statement;
      for (const QString& line : piece.split(u'\n')) {
        if (!line.trimmed().startsWith(u"--")) statement += line + u'\n';
      }
      if (statement.trimmed().isEmpty()) continue;
      if (!query.exec(statement)) {
        throw std::runtime_error((query.lastError().text() + u' ' + statement).toStdString());
      }
    }
  }
  QSqlDatabase::removeDatabase(name);
}

}  // namespace taurelin
