#include "store/test_database.h"

#include "admin/schema.h"
#include "store/connection.h"

#include <QFile>
#include <QSqlDatabase>
#include <QUuid>

#include <stdexcept>

namespace taurelin {

void WithConnection(const DatabaseAlias& alias,
                    const std::function<bool(QSqlDatabase&, QString*)>& work) {
  Connection connection(QUuid::createUuid().toString());
  QString error;
  if (!connection.open(alias, &error)) throw std::runtime_error(error.toStdString());
  if (!work(connection.database(), &error)) throw std::runtime_error(error.toStdString());
}

TestDatabase::TestDatabase(bool withDemo) : file_(dir_.filePath(QStringLiteral("booking.db"))) {
  const QString aliasFile = dir_.filePath(QStringLiteral("aliases.ini"));
  QFile out(aliasFile);
  if (!out.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the alias file");
  out.write(("[test]\ndriver=QSQLITE\ndatabase=" + file_ + "\n").toUtf8());
  out.close();
  aliases_ = AliasList::Load(aliasFile);

  WithConnection(alias(), [withDemo](QSqlDatabase& database, QString* error) {
    return InstallSchema(database, withDemo, error);
  });
}

TestDatabase::~TestDatabase() = default;

void TestDatabase::run(const QString& sql) {
  WithConnection(alias(), [&sql](QSqlDatabase& database, QString* error) {
    return ExecuteScript(database, sql, error);
  });
}

}  // namespace taurelin
