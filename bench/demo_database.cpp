#include "demo_database.h"

#include "admin/schema.h"
#include "store/alias_list.h"
#include "store/connection.h"

#include <cstdio>

namespace taurelin {

bool InstallDemo(const QString& file) {
  QString error;
  DatabaseAlias alias;
  alias.name = QStringLiteral("demo");
  alias.database = file;
  bool installed = false;
  {
    Connection connection(QStringLiteral("demo"));
    if (connection.open(alias, &error)) {
      installed = InstallSchema(connection.database(), true, &error);
    }
  }
  if (!installed) {
    std::fprintf(stderr, "the demo database could not be made: %s\n", qPrintable(error));
  }
  return installed;
}

}  // namespace taurelin
