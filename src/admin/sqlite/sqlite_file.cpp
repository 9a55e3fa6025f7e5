#include "admin/sqlite/sqlite_file.h"

#include <QFile>
#include <QFileInfo>

namespace taurelin {

NewSqliteFile CreateSqliteFile(const QString& path, QString* error) {
  QFile file(path);
  // NewOnly is O_EXCL: a file that appeared meanwhile is neither opened nor truncated.
  if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup)) {
    return NewSqliteFile::kCreated;
  }
  if (QFileInfo::exists(path)) return NewSqliteFile::kExists;
  *error = QStringLiteral("cannot create the database file %1: %2").arg(path, file.errorString());
  return NewSqliteFile::kFailed;
}

QString SqliteFileExposure(const QString& path) {
  if (!(QFileInfo(path).permissions() & QFile::ReadOther)) return {};
  return QStringLiteral("the database file %1 holds bookers' names and addresses and others "
                        "may read it; chmod 640 %1")
      .arg(path);
}

}  // namespace taurelin
