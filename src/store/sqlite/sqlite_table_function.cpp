#include "store/sqlite/sqlite_table_function.h"

#include <sqlite3.h>

#include <exception>

namespace taurelin {
namespace {

struct FunctionTable : sqlite3_vtab {
  sqlite3* db = nullptr;
  const TableFunction* function = nullptr;
  int columnCount = 0;  // result columns; the arguments follow them
};

struct FunctionCursor : sqlite3_vtab_cursor {
  TableRows rows;
  size_t at = 0;
};

FunctionTable* Table(sqlite3_vtab* vtab) { return static_cast<FunctionTable*>(vtab); }
FunctionCursor* Cursor(sqlite3_vtab_cursor* cursor) {
  return static_cast<FunctionCursor*>(cursor);
}

void SetError(sqlite3_vtab* vtab, const QString& text) {
  sqlite3_free(vtab->zErrMsg);
  vtab->zErrMsg = sqlite3_mprintf("%s", text.toUtf8().constData());
}

int Connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** vtab, char** error) {
  const auto* function = static_cast<const TableFunction*>(aux);
  QStringList columns = function->columns;
  for (const QString& argument : function->arguments) {
    columns.append(argument + QStringLiteral(" HIDDEN"));
  }
  const QString schema =
      QStringLiteral("CREATE TABLE x(") + columns.join(QStringLiteral(", ")) + u')';
  const int rc = sqlite3_declare_vtab(db, schema.toUtf8().constData());
  if (rc != SQLITE_OK) {
    *error = sqlite3_mprintf("%s: %s", function->name.toUtf8().constData(), sqlite3_errmsg(db));
    return rc;
  }
  if (function->sideEffects) sqlite3_vtab_config(db, SQLITE_VTAB_DIRECTONLY);
  auto* table = new FunctionTable();
  table->db = db;
  table->function = function;
  table->columnCount = static_cast<int>(function->columns.size());
  *vtab = table;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vtab) {
  delete Table(vtab);
  return SQLITE_OK;
}

// Every argument must come as an equality on its hidden column. One that can be used only
// later in a join is refused for this plan (SQLITE_CONSTRAINT) so that SQLite orders the
// join differently; one that is missing altogether is an error.
int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  const FunctionTable* table = Table(vtab);
  const int argumentCount = static_cast<int>(table->function->arguments.size());
  std::vector<int> usable(static_cast<size_t>(argumentCount), -1);
  std::vector<bool> unusable(static_cast<size_t>(argumentCount), false);
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& constraint = info->aConstraint[i];
    const int argument = constraint.iColumn - table->columnCount;
    if (argument < 0 || argument >= argumentCount) continue;
    if (constraint.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    if (constraint.usable) {
      usable[static_cast<size_t>(argument)] = i;
    } else {
      unusable[static_cast<size_t>(argument)] = true;
    }
  }
  for (int argument = 0; argument < argumentCount; ++argument) {
    const int constraint = usable[static_cast<size_t>(argument)];
    if (constraint >= 0) {
      info->aConstraintUsage[constraint].argvIndex = argument + 1;
      info->aConstraintUsage[constraint].omit = 1;
    } else if (unusable[static_cast<size_t>(argument)]) {
      return SQLITE_CONSTRAINT;
    } else {
      SetError(vtab, QStringLiteral("%1 needs %2 arguments (%3)")
                         .arg(table->function->name)
                         .arg(argumentCount)
                         .arg(table->function->arguments.join(QStringLiteral(", "))));
      return SQLITE_ERROR;
    }
  }
  info->estimatedCost = 10;
  info->estimatedRows = 100;
  return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** cursor) {
  *cursor = new FunctionCursor();
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor) {
  delete Cursor(cursor);
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* base, int, const char*, int argc, sqlite3_value** argv) {
  FunctionCursor* cursor = Cursor(base);
  sqlite3_vtab* vtab = base->pVtab;
  const FunctionTable* table = Table(vtab);
  cursor->rows.clear();
  cursor->at = 0;
  QString error;
  try {
    const std::vector<sqlite3_value*> arguments(argv, argv + argc);
    if (table->function->compute(table->db, arguments, &cursor->rows, &error)) return SQLITE_OK;
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  }
  cursor->rows.clear();
  SetError(vtab, table->function->name + QStringLiteral(": ") + error);
  return SQLITE_ERROR;
}

int Next(sqlite3_vtab_cursor* cursor) {
  ++Cursor(cursor)->at;
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* cursor) {
  const FunctionCursor* c = Cursor(cursor);
  return c->at >= c->rows.size() ? 1 : 0;
}

int Column(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int column) {
  const FunctionCursor* c = Cursor(cursor);
  const QVariantList& row = c->rows[c->at];
  if (column >= row.size()) {  // an argument column: not kept
    sqlite3_result_null(context);
    return SQLITE_OK;
  }
  const QVariant& value = row[column];
  switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
      sqlite3_result_int64(context, value.toLongLong());
      break;
    case QMetaType::Double:
      sqlite3_result_double(context, value.toDouble());
      break;
    case QMetaType::QString: {
      const QByteArray utf8 = value.toString().toUtf8();
      sqlite3_result_text(context, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
      break;
    }
    default:
      sqlite3_result_null(context);
  }
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* rowid) {
  *rowid = static_cast<sqlite3_int64>(Cursor(cursor)->at);
  return SQLITE_OK;
}

// Eponymous only: no xCreate, so the function exists on the connection without a
// CREATE VIRTUAL TABLE.
const sqlite3_module kModule = {
    /* iVersion */ 0,
    /* xCreate */ nullptr,
    /* xConnect */ Connect,
    /* xBestIndex */ BestIndex,
    /* xDisconnect */ Disconnect,
    /* xDestroy */ nullptr,
    /* xOpen */ Open,
    /* xClose */ Close,
    /* xFilter */ Filter,
    /* xNext */ Next,
    /* xEof */ Eof,
    /* xColumn */ Column,
    /* xRowid */ Rowid,
    /* xUpdate */ nullptr,
    /* xBegin */ nullptr,
    /* xSync */ nullptr,
    /* xCommit */ nullptr,
    /* xRollback */ nullptr,
    /* xFindFunction */ nullptr,
    /* xRename */ nullptr,
    /* xSavepoint */ nullptr,
    /* xRelease */ nullptr,
    /* xRollbackTo */ nullptr,
    /* xShadowName */ nullptr,
};

void DeleteFunction(void* function) { delete static_cast<TableFunction*>(function); }

}  // namespace

bool RegisterTableFunction(sqlite3* db, const TableFunction& function, QString* error) {
  // SQLite owns the copy from here on and frees it with the connection (also on failure).
  const int rc = sqlite3_create_module_v2(db, function.name.toUtf8().constData(), &kModule,
                                          new TableFunction(function), DeleteFunction);
  if (rc == SQLITE_OK) return true;
  if (error != nullptr) {
    *error = QStringLiteral("cannot register %1: %2")
                 .arg(function.name, QString::fromUtf8(sqlite3_errmsg(db)));
  }
  return false;
}

}  // namespace taurelin
