// taurelin-db: sets up a booking database on an alias, checks one, copies one into an
// empty database of another alias (an SQLite file into PostgreSQL, for a business that
// outgrows the file), and backs up an SQLite one while servers run on it.
//
//   taurelin-db [--aliases FILE] init ALIAS [--demo]
//   taurelin-db [--aliases FILE] check ALIAS
//   taurelin-db [--aliases FILE] upgrade ALIAS
//   taurelin-db [--aliases FILE] copy FROM_ALIAS TO_ALIAS
//   taurelin-db [--aliases FILE] backup ALIAS FILE
//   taurelin-db [--aliases FILE] restore FILE ALIAS
//
// Results go to standard output, messages to standard error. Exit status: 0 done (check:
// the database has everything), 1 refused or failed (check: something is missing, or an
// amount is one that its column's type does not hold), 2 the command line is wrong.

#include "admin/admin_backend.h"
#include "admin/amounts.h"
#include "admin/contract.h"
#include "admin/database_copy.h"
#include "admin/schema.h"
#include "admin/sqlite/sqlite_backup.h"
#include "admin/sqlite/sqlite_file.h"
#include "store/alias_list.h"
#include "store/connection.h"
#include "store/database_error.h"
#include "store/mail_outbox.h"
#include "store/upgrade_check.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

#include <optional>

namespace taurelin {
namespace {

constexpr const char* kConnection = "taurelin-db";
constexpr const char* kProbe = "taurelin-db-probe";
constexpr const char* kSource = "taurelin-db-source";

enum Exit { kDone = 0, kFailed = 1, kUsage = 2 };

QTextStream& Out() {
  static QTextStream out(stdout);
  return out;
}

QTextStream& Err() {
  static QTextStream err(stderr);
  return err;
}

int Fail(const QString& text, int status = kFailed) {
  Err() << "taurelin-db: " << text << Qt::endl;
  return status;
}

// Whether the alias's database is a file of its own (SQLite), which init claims and checks.
bool IsSqlite(const DatabaseAlias& alias) {
  const AdminBackend* backend = AdminBackend::ForDriver(alias.driver);
  return backend != nullptr && backend->databaseIsAFile();
}

// How the operator recognises the alias's database in a message.
QString Describe(const DatabaseAlias& alias) {
  if (IsSqlite(alias)) return QStringLiteral("alias %1 (%2)").arg(alias.name, alias.database);
  const QString host = alias.host.isEmpty() ? QStringLiteral("localhost") : alias.host;
  return QStringLiteral("alias %1 (%2 %3 on %4)").arg(alias.name, alias.driver, alias.database,
                                                       host);
}

// Removes a plain Qt connection when it goes out of scope, after every handle on it is gone.
class ConnectionGuard {
 public:
  explicit ConnectionGuard(const char* name) : name_(QLatin1String(name)) {}
  ~ConnectionGuard() { QSqlDatabase::removeDatabase(name_); }
  ConnectionGuard(const ConnectionGuard&) = delete;
  ConnectionGuard& operator=(const ConnectionGuard&) = delete;

 private:
  QString name_;
};

// Whether an existing SQLite file has tables, asked on a plain connection that only reads:
// the server's connection would switch the file to the WAL journal, and a database that
// init refuses must stay exactly as it was. (A read-only connection would leave a WAL
// database's -wal and -shm files behind.)
std::optional<bool> SqliteFileHasTables(const DatabaseAlias& alias, QString* error) {
  ConnectionGuard guard(kProbe);
  QSqlDatabase probe = QSqlDatabase::addDatabase(alias.driver, QLatin1String(kProbe));
  probe.setDatabaseName(alias.database);
  if (!probe.open()) {
    *error = probe.lastError().text();
    return std::nullopt;
  }
  const std::optional<bool> result = HasTables(probe, error);
  probe.close();
  probe = QSqlDatabase();
  return result;
}

// Readies the alias's SQLite file for a new database: a missing one is created for its owner
// and group alone; an existing one that has tables is refused (with the exit status) before
// a connection of the server's kind touches it. nullopt when the command may go on.
std::optional<int> ClaimSqliteFile(const DatabaseAlias& alias, const char* command) {
  if (!IsSqlite(alias) || alias.database.isEmpty()) return std::nullopt;
  QString error;
  switch (CreateSqliteFile(alias.database, &error)) {
    case NewSqliteFile::kCreated:
      return std::nullopt;
    case NewSqliteFile::kFailed:
      return Fail(QStringLiteral("%1: %2").arg(Describe(alias), error));
    case NewSqliteFile::kExists:
      break;
  }
  const std::optional<bool> hasTables = SqliteFileHasTables(alias, &error);
  if (!hasTables.has_value()) return Fail(QStringLiteral("%1: %2").arg(Describe(alias), error));
  if (!*hasTables) return std::nullopt;
  return Fail(QStringLiteral("%1: the database already has tables; %2 changes nothing")
                  .arg(Describe(alias), QLatin1String(command)));
}

// Points out an SQLite database file that others may read. Only a warning: the file is the
// operator's, and the command's outcome stands.
void WarnIfOthersMayRead(const DatabaseAlias& alias) {
  if (!IsSqlite(alias)) return;
  const QString warning = SqliteFileExposure(alias.database);
  if (!warning.isEmpty()) Err() << "taurelin-db: " << warning << Qt::endl;
}

int Init(const DatabaseAlias& alias, bool demo) {
  if (const std::optional<int> refused = ClaimSqliteFile(alias, "init")) return *refused;
  Connection connection{QLatin1String(kConnection)};
  QString error;
  if (!connection.open(alias, &error)) {
    return Fail(QStringLiteral("cannot open %1: %2").arg(Describe(alias), error));
  }
  QSqlDatabase& database = connection.database();
  const bool installed = InstallSchema(database, demo, &error);
  connection.close();
  if (!installed) return Fail(QStringLiteral("%1: %2").arg(Describe(alias), error));
  Out() << "Installed the booking schema" << (demo ? " with the demo data" : "") << " on "
        << Describe(alias) << "." << Qt::endl;
  WarnIfOthersMayRead(alias);  // an empty file that was there before
  return kDone;
}

int Check(const DatabaseAlias& alias) {
  // Opening a missing SQLite file would create an empty one.
  if (IsSqlite(alias) && !QFileInfo::exists(alias.database)) {
    return Fail(QStringLiteral("%1: the database file does not exist").arg(Describe(alias)));
  }
  WarnIfOthersMayRead(alias);
  Connection connection{QLatin1String(kConnection)};
  QString error;
  if (!connection.open(alias, &error)) {
    return Fail(QStringLiteral("cannot open %1: %2").arg(Describe(alias), error));
  }
  QSqlDatabase& database = connection.database();
  const QStringList missing = CheckContract(database);
  // A database whose tables were made before they checked their amounts may hold some that
  // another backend would round.
  const QStringList amounts = CheckAmounts(database);
  connection.close();
  if (missing.isEmpty() && amounts.isEmpty()) {
    Out() << "The booking database of " << Describe(alias) << " is complete." << Qt::endl;
    return kDone;
  }
  if (!missing.isEmpty()) {
    Out() << "The booking database of " << Describe(alias) << " lacks:" << Qt::endl;
    for (const QString& line : missing) Out() << "  " << line << Qt::endl;
  }
  if (!amounts.isEmpty()) {
    Out() << "The booking database of " << Describe(alias)
          << " has amounts that their NUMERIC columns do not hold:" << Qt::endl;
    for (const QString& line : amounts) Out() << "  " << line << Qt::endl;
  }
  return kFailed;
}

int Upgrade(const DatabaseAlias& alias) {
  // Opening a missing SQLite file would create an empty one.
  if (IsSqlite(alias) && !QFileInfo::exists(alias.database)) {
    return Fail(QStringLiteral("%1: the database file does not exist").arg(Describe(alias)));
  }
  Connection connection{QLatin1String(kConnection)};
  QString error;
  if (!connection.open(alias, &error, false)) {
    return Fail(QStringLiteral("cannot open %1: %2").arg(Describe(alias), error));
  }
  QSqlDatabase& database = connection.database();
  const QStringList before = CheckUpgrade(database);
  // Filling the index reads every rental line: on a large history that takes a while.
  if (!before.isEmpty()) Err() << "Upgrading " << Describe(alias) << "..." << Qt::endl;
  const bool done = before.isEmpty() || UpgradeSchema(database, &error);
  connection.close();
  if (!done) {
    return Fail(QStringLiteral("%1: %2; nothing was changed").arg(Describe(alias), error));
  }
  if (before.isEmpty()) {
    Out() << "The booking database of " << Describe(alias) << " is up to date." << Qt::endl;
  } else {
    Out() << "Upgraded the booking database of " << Describe(alias) << ":" << Qt::endl;
    for (const QString& line : before) {
      Out() << "  added " << line.section(u' ', 0, 1) << Qt::endl;
    }
  }
  return kDone;
}

// The outbox, newest first: one mail a line.
int Mail(const DatabaseAlias& alias, const QString& state) {
  const std::optional<MailState> only = MailStateNamed(state);
  if (!state.isEmpty() && !only) {
    return Fail(QStringLiteral("--state is waiting, sending, sent or failed"), kUsage);
  }
  if (IsSqlite(alias) && !QFileInfo::exists(alias.database)) {
    return Fail(QStringLiteral("%1: the database file does not exist").arg(Describe(alias)));
  }
  Connection connection{QLatin1String(kConnection)};
  QString error;
  if (!connection.open(alias, &error, false)) {
    return Fail(QStringLiteral("cannot open %1: %2").arg(Describe(alias), error));
  }
  QList<OutboxMail> mails;
  try {
    mails = MailOutbox(connection, MailOutbox::HasIntake(connection)).List(only, 1000);
  } catch (const DatabaseError& failure) {
    return Fail(QStringLiteral("%1: the outbox cannot be read (%2); taurelin-db upgrade makes it")
                    .arg(Describe(alias), QString::fromUtf8(failure.what())));
  }
  Out() << "The outbox of " << Describe(alias) << ": " << mails.size()
        << (mails.size() == 1 ? " mail" : " mails") << (mails.size() == 1000 ? " (the newest)" : "")
        << Qt::endl;
  for (const OutboxMail& mail : mails) {
    QStringList line{mail.created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                     MailStateName(mail.state).leftJustified(7),
                     mail.event.leftJustified(24),
                     mail.refnr ? QString::number(*mail.refnr) : QStringLiteral("-"),
                     mail.recipient,
                     mail.language,
                     QStringLiteral("%1 attempt%2")
                         .arg(mail.attempts)
                         .arg(mail.attempts == 1 ? QString() : QStringLiteral("s"))};
    if (!mail.answer.isEmpty()) line << mail.answer;
    Out() << "  " << line.join(QStringLiteral("  ")) << "  " << mail.id << Qt::endl;
  }
  return kDone;
}

int Copy(const DatabaseAlias& from, const DatabaseAlias& to) {
  Connection sourceConnection{QLatin1String(kSource)};
  Connection targetConnection{QLatin1String(kConnection)};
  QString error;
  // A wrong path must not become an empty source that copies nothing, nor leave an empty
  // target file behind.
  if (!sourceConnection.open(from, &error, false)) {
    return Fail(QStringLiteral("cannot open %1: %2").arg(Describe(from), error));
  }
  if (const std::optional<int> refused = ClaimSqliteFile(to, "copy")) return *refused;
  if (!targetConnection.open(to, &error)) {
    return Fail(QStringLiteral("cannot open %1: %2").arg(Describe(to), error));
  }
  QSqlDatabase& source = sourceConnection.database();
  QSqlDatabase& target = targetConnection.database();
  QList<CopiedTable> copied;
  // Progress goes to standard error, so that standard output holds only the result.
  const bool done = CopyDatabase(source, target, &copied, &error,
                                 [](const CopiedTable& table, bool finished) {
                                   Err() << table.name << ": " << table.rows << " rows"
                                         << (finished ? " written" : "...") << Qt::endl;
                                 });
  sourceConnection.close();
  targetConnection.close();
  if (!done) {
    return Fail(QStringLiteral("copy from %1 to %2: %3")
                    .arg(Describe(from), Describe(to), error));
  }
  Out() << "Copied the booking database of " << Describe(from) << " to " << Describe(to)
        << ":" << Qt::endl;
  for (const CopiedTable& table : copied) {
    Out() << "  " << table.name.leftJustified(12) << ' ' << table.rows << Qt::endl;
  }
  WarnIfOthersMayRead(to);  // an empty file that was there before
  return kDone;
}

// The tables of a checked copy with their rows, as the result of backup and restore.
void PrintTables(const SqliteCopyReport& report) {
  for (const CopiedTable& table : report.tables) {
    Out() << "  " << table.name.leftJustified(12) << ' ' << table.rows << Qt::endl;
  }
}

// Backup and restore copy SQLite files; PostgreSQL has its own tools for that.
std::optional<int> RefuseServerDatabase(const DatabaseAlias& alias, const char* command,
                                        const char* tool) {
  if (IsSqlite(alias)) return std::nullopt;
  return Fail(QStringLiteral("%1: %2 takes an SQLite database; use %3 for this one (see the "
                             "README)")
                  .arg(Describe(alias), QLatin1String(command), QLatin1String(tool)));
}

int Backup(const DatabaseAlias& alias, const QString& file) {
  if (const std::optional<int> refused = RefuseServerDatabase(alias, "backup", "pg_dump")) {
    return *refused;
  }
  Err() << "Backing up " << Describe(alias) << " to " << file << "..." << Qt::endl;
  SqliteCopyReport report;
  QString error;
  const BackupOutcome outcome = BackUpSqlite(alias.database, file, &report, &error);
  if (outcome != BackupOutcome::kWritten) {
    return Fail(QStringLiteral("backup of %1: %2%3")
                    .arg(Describe(alias), error,
                         outcome == BackupOutcome::kNotWritten
                             ? QStringLiteral("; no backup was written")
                             : QString()));
  }
  Out() << "Backed up " << Describe(alias) << " to " << file << " (" << report.bytes
        << " bytes, checked):" << Qt::endl;
  PrintTables(report);
  return kDone;
}

int Restore(const QString& file, const DatabaseAlias& alias) {
  if (const std::optional<int> refused = RefuseServerDatabase(alias, "restore", "pg_restore")) {
    return *refused;
  }
  SqliteCopyReport report;
  QString error;
  if (RestoreSqlite(file, alias.database, &report, &error) != RestoreOutcome::kRestored) {
    return Fail(QStringLiteral("restore of %1 to %2: %3; nothing was changed")
                    .arg(file, Describe(alias), error));
  }
  Out() << "Restored " << file << " to " << Describe(alias) << ":" << Qt::endl;
  PrintTables(report);
  return kDone;
}

int Run(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Sets up the booking database of an alias, checks that it has everything the "
      "booking interface needs, copies it, and backs it up.\n\n"
      "  init ALIAS [--demo]  create the schema (and the demo data) on an empty database\n"
      "  check ALIAS          list what the database lacks, and the amounts it holds\n"
      "                       with more decimals or digits than their column's type;\n"
      "                       exit status 0 when nothing\n"
      "  upgrade ALIAS        add what a database made by an earlier version lacks (the\n"
      "                       occupancy index and counts, the layout version, our own\n"
      "                       tables), in one transaction\n"
      "  copy FROM TO         copy every booking table of alias FROM into the empty\n"
      "                       database of alias TO, in one transaction\n"
      "  backup ALIAS FILE    write a checked copy of the alias's SQLite database to FILE\n"
      "                       while servers keep running on it; FILE is replaced only by\n"
      "                       a whole copy that passed SQLite's integrity check\n"
      "  restore FILE ALIAS   put the backup FILE in place of the alias's SQLite database;\n"
      "                       refused while a server (or any program) has it open\n"
      "  mail ALIAS [--state S]  list the outbox of booking mails, newest first: when\n"
      "                       written, state, event, booking, recipient, language,\n"
      "                       attempts, the mail server's last answer, the mail's key"));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption aliasesOption(
      QStringLiteral("aliases"),
      QStringLiteral("The alias file (default: $TAURELIN_ALIASES, else "
                     "~/.config/Vindrelok/aliases.ini)."),
      QStringLiteral("FILE"));
  const QCommandLineOption demoOption(QStringLiteral("demo"),
                                      QStringLiteral("With init: also install the demo data."));
  const QCommandLineOption stateOption(
      QStringLiteral("state"),
      QStringLiteral("With mail: only the mails in this state (waiting, sending, sent, failed)."),
      QStringLiteral("S"));
  parser.addOption(aliasesOption);
  parser.addOption(demoOption);
  parser.addOption(stateOption);
  parser.addPositionalArgument(
      QStringLiteral("command"),
      QStringLiteral("init, check, upgrade, copy, backup, restore or mail"));
  parser.addPositionalArgument(
      QStringLiteral("alias"),
      QStringLiteral("The database alias (copy: two aliases; backup: the alias and the file; "
                     "restore: the file and the alias)."));
  parser.process(app);

  const QStringList arguments = parser.positionalArguments();
  const QString command = arguments.value(0);
  const bool single = command == u"init" || command == u"check" || command == u"upgrade" ||
                      command == u"mail";
  const bool pair = command == u"copy" || command == u"backup" || command == u"restore";
  if (arguments.size() != (pair ? 3 : 2) || (!pair && !single)) {
    return Fail(QStringLiteral("expected init ALIAS [--demo], check ALIAS, upgrade ALIAS, "
                               "copy FROM TO, backup ALIAS FILE, restore FILE ALIAS or mail "
                               "ALIAS (see --help)"),
                kUsage);
  }
  if (command != u"mail" && parser.isSet(stateOption)) {
    return Fail(QStringLiteral("--state goes with mail only"), kUsage);
  }
  if (command != u"init" && parser.isSet(demoOption)) {
    return Fail(QStringLiteral("--demo goes with init only"), kUsage);
  }
  const QString file =
      parser.isSet(aliasesOption) ? parser.value(aliasesOption) : AliasList::DefaultFile();
  const AliasList list = AliasList::Load(file);
  // Which arguments name aliases; backup and restore also name a file.
  QStringList names = arguments.mid(1);
  if (command == u"backup") names = {arguments[1]};
  if (command == u"restore") names = {arguments[2]};
  QList<DatabaseAlias> aliases;
  for (const QString& name : names) {
    const std::optional<DatabaseAlias> alias = list.find(name);
    if (!alias.has_value()) {
      const QString why = QFileInfo::exists(file)
                              ? QStringLiteral("defines no alias")
                              : QStringLiteral("does not exist; it has no alias");
      return Fail(QStringLiteral("the alias file %1 %2 %3").arg(file, why, name));
    }
    aliases << *alias;
  }
  if (command == u"copy") return Copy(aliases[0], aliases[1]);
  if (command == u"backup") return Backup(aliases[0], arguments[2]);
  if (command == u"restore") return Restore(arguments[1], aliases[0]);
  if (command == u"upgrade") return Upgrade(aliases[0]);
  if (command == u"mail") return Mail(aliases[0], parser.value(stateOption));
  return command == u"init" ? Init(aliases[0], parser.isSet(demoOption)) : Check(aliases[0]);
}

}  // namespace
}  // namespace taurelin

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("taurelin-db"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TAURELIN_VERSION));
  return taurelin::Run(app);
}
