#pragma once

// The database aliases: an INI file with one group per alias, for example
//
//   [demo]
//   driver=QSQLITE
//   database=/var/lib/taurelin/demo.db
//
//   [booking]
//   driver=QPSQL
//   host=127.0.0.1
//   port=5432
//   database=booking
//   user=taurelin
//   password=...
//
// The alias names are listed in the order the file gives them.

#include "store/backend.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace taurelin {

struct DatabaseAlias {
  QString name;
  QString driver = Backend::DefaultDriver();  // a Qt SQL driver name
  QString database;  // SQLite: the file; PostgreSQL: the database name
  QString host;
  int port = -1;     // -1: the driver's default
  QString user;      // empty: the default user
  QString password;  // empty with an empty user: the default password
};

class AliasList {
 public:
  // Reads the alias file; a missing file gives an empty list.
  static AliasList Load(const QString& file);

  // The file named by TAURELIN_ALIASES, else ~/.config/Vindrelok/aliases.ini
  // ($XDG_CONFIG_HOME respected).
  static QString DefaultFile();

  const QString& file() const { return file_; }
  QStringList names() const;
  std::optional<DatabaseAlias> find(const QString& name) const;
  // A warning when the file holds a password and users other than its owner may read it
  // (others, or a group other than the reading process's own); empty otherwise.
  QString passwordExposure() const;

 private:
  QString file_;
  QList<DatabaseAlias> aliases_;
};

}  // namespace taurelin
