// Runs the built taurelin-db on databases and alias files of a temporary directory, and on
// a database of the PostgreSQL test server when there is one.

#include "admin/contract.h"
#include "admin/schema.h"
#include "store/connection.h"
#include "store/postgres/postgres_driver.h"
#include "store/postgres/postgres_test_database.h"
#include "store/sqlite/sqlite_driver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

struct Result {
  int status = -1;
  QString out;
  QString err;
};

class TaurelinDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    aliases_ = dir_.filePath(QStringLiteral("aliases.ini"));
    QFile file(aliases_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[demo]\ndriver=QSQLITE\ndatabase=%1\n"
                              "[half]\ndatabase=%2\n"
                              "[absent]\ndatabase=%3\n")
                   .arg(Db("demo"), Db("half"), Db("absent"))
                   .toUtf8());
  }

  QString Db(const char* name) const {
    return dir_.filePath(QLatin1String(name) + QStringLiteral(".db"));
  }

  // Runs the program with `arguments`; the alias file comes from TAURELIN_ALIASES unless
  // the arguments name one.
  Result Run(const QStringList& arguments, const QString& environmentAliases = {}) {
    QProcess process;
    process.setWorkingDirectory(dir_.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAURELIN_ALIASES"),
                       environmentAliases.isEmpty() ? aliases_ : environmentAliases);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TAURELIN_DB_PROGRAM), arguments);
    Result result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
      ADD_FAILURE() << "taurelin-db did not finish";
      return result;
    }
    result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
  }

  static QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // Runs statements on a database file on a connection of the test's own.
  static void Sql(const QString& path, const QStringList& statements) {
    {
      QSqlDatabase database =
          QSqlDatabase::addDatabase(QLatin1String(taurelin::kSqliteDriver), QStringLiteral("tool_test"));
      database.setDatabaseName(path);
      ASSERT_TRUE(database.open());
      for (const QString& statement : statements) {
        ASSERT_TRUE(QSqlQuery(database).exec(statement)) << statement.toStdString();
      }
      database.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tool_test"));
  }

  // Runs a script of statements on a database file on a connection of the test's own.
  static void Script(const QString& path, const QString& script) {
    {
      QSqlDatabase database =
          QSqlDatabase::addDatabase(QLatin1String(taurelin::kSqliteDriver), QStringLiteral("tool_script"));
      database.setDatabaseName(path);
      ASSERT_TRUE(database.open());
      QString error;
      EXPECT_TRUE(taurelin::ExecuteScript(database, script, &error)) << error.toStdString();
      database.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tool_script"));
  }

  static QString Resource(const char* path) {
    QFile file{QLatin1String(path)};
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return QString::fromUtf8(file.readAll());
  }

  // A booking database as a version made it before the amount columns checked their values.
  static void EarlierDatabase(const QString& path) {
    static const QRegularExpression check(
        QStringLiteral(R"(\n +CHECK \(round\((\w+), 2\) = \1\s+AND \1 > -1e13 AND \1 < 1e13\))"));
    QString schema = Resource(":/db/sqlite/schema.sql");
    EXPECT_EQ(schema.count(check), 6);
    schema.remove(check);
    EXPECT_FALSE(schema.contains(QStringLiteral("CHECK")));
    Script(path, schema + Resource(":/db/sqlite/upgrade.sql"));
  }

  // The rows of each booking table and the last number of each series, read on a connection
  // of the test's own.
  static QMap<QString, qint64> Counts(const taurelin::DatabaseAlias& alias) {
    QMap<QString, qint64> counts;
    {
      taurelin::Connection connection{QStringLiteral("tool_count")};
      QString error;
      EXPECT_TRUE(connection.open(alias, &error, false)) << error.toStdString();
      QSqlDatabase& database = connection.database();
      for (const QString& table : taurelin::ContractTables()) {
        QSqlQuery query(database);
        counts[table] = query.exec(QStringLiteral("SELECT count(*) FROM ") + table) &&
                                query.next()
                            ? query.value(0).toLongLong()
                            : -1;
      }
      QSqlQuery series(database);
      EXPECT_TRUE(series.exec(QStringLiteral("SELECT NAVN, VERDI FROM TELLER")));
      while (series.next()) {
        counts[QStringLiteral("TELLER ") + series.value(0).toString()] =
            series.value(1).toLongLong();
      }
    }
    return counts;
  }

  // An alias file that names the test's demo file as "demo" and `target` as "target".
  QString CopyAliases(const taurelin::DatabaseAlias& target) {
    const QString path = dir_.filePath(QStringLiteral("copy.ini"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[demo]\ndatabase=%1\n[target]\ndriver=%2\ndatabase=%3\n"
                              "host=%4\nport=%5\nuser=%6\npassword=%7\n")
                   .arg(Db("demo"), target.driver, target.database, target.host)
                   .arg(target.port)
                   .arg(target.user, target.password)
                   .toUtf8());
    return path;
  }

  QTemporaryDir dir_;
  QString aliases_;
};

TEST_F(TaurelinDbTest, InitCreatesTheDatabaseAndASecondInitChangesNothing) {
  const Result first = Run({"--aliases", aliases_, "init", "demo", "--demo"});
  ASSERT_EQ(first.status, 0) << first.err.toStdString();
  EXPECT_TRUE(first.out.contains(u"demo data")) << first.out.toStdString();
  EXPECT_TRUE(first.err.isEmpty()) << first.err.toStdString();
  const QByteArray before = Bytes(Db("demo"));
  ASSERT_FALSE(before.isEmpty());

  for (const QStringList& again : {QStringList{"init", "demo"}, {"init", "demo", "--demo"}}) {
    const Result second = Run(again);
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(second.out.isEmpty());
    EXPECT_TRUE(second.err.contains(u"already has tables")) << second.err.toStdString();
    EXPECT_TRUE(second.err.contains(Db("demo"))) << second.err.toStdString();
    EXPECT_EQ(Bytes(Db("demo")), before);
  }
  EXPECT_FALSE(QFile::exists(Db("demo") + QStringLiteral("-wal")));
}

TEST_F(TaurelinDbTest, InitRefusesAForeignDatabaseWithoutTouchingIt) {
  Sql(Db("half"), {"CREATE TABLE NOTES (TEXT VARCHAR(10))", "INSERT INTO NOTES VALUES ('x')"});
  const QByteArray before = Bytes(Db("half"));
  const Result result = Run({"init", "half", "--demo"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.err.contains(u"already has tables")) << result.err.toStdString();
  EXPECT_EQ(Bytes(Db("half")), before);  // not even switched to another journal mode
}

TEST_F(TaurelinDbTest, CheckListsWhatAHalfDatabaseLacks) {
  ASSERT_EQ(Run({"init", "half"}).status, 0);
  const Result whole = Run({"check", "half"});
  // The procedures are registered by the server's connection; nothing else may be missing.
  for (const QString& line : whole.out.split(u'\n', Qt::SkipEmptyParts).mid(1)) {
    EXPECT_TRUE(line.trimmed().startsWith(u"procedure ")) << line.toStdString();
  }
  if (whole.out.contains(u"procedure ")) {
    EXPECT_EQ(whole.status, 1);
  } else {
    EXPECT_EQ(whole.status, 0);
    EXPECT_TRUE(whole.out.contains(u"is complete")) << whole.out.toStdString();
  }

  Sql(Db("half"), {"DROP VIEW UTYPER_BRUKER", "DROP TABLE LEIE_ALLOT"});
  const Result half = Run({"check", "half"});
  EXPECT_EQ(half.status, 1);
  EXPECT_TRUE(half.out.contains(u"view UTYPER_BRUKER is missing")) << half.out.toStdString();
  EXPECT_TRUE(half.out.contains(u"table LEIE_ALLOT is missing")) << half.out.toStdString();
  EXPECT_FALSE(half.out.contains(u"ANLEGG_BRUKER")) << half.out.toStdString();
}

TEST_F(TaurelinDbTest, UpgradeGivesAnEarlierDatabaseTheIndexAndLosesNothing) {
  ASSERT_EQ(Run({"--aliases", aliases_, "init", "demo", "--demo"}).status, 0);
  taurelin::DatabaseAlias demo;
  demo.database = Db("demo");
  const QMap<QString, qint64> before = Counts(demo);
  // A database as an earlier version made it: without the upgrade's objects.
  QStringList drop = {"DROP TABLE LEIE_PERIODE", "DROP TABLE OPPSETT_VERSJON",
                      "DROP TABLE LEIE_DAG",     "DROP TABLE LEIE_TALT",
                      "DROP TABLE LEIE_AVVIK",   "DROP TABLE LEIE_DAG_NR",
                      "DROP TABLE ALLOT_PERIODE", "DROP TABLE LEIE_ALLOT_TALT"};
  for (const char* event : {"NY", "ENDRET", "SLETTET"}) {
    drop << QStringLiteral("DROP TRIGGER LEIE_PERIODE_%1").arg(QLatin1String(event))
         << QStringLiteral("DROP TRIGGER LEIE_DAG_%1").arg(QLatin1String(event)) + u'2'
         << QStringLiteral("DROP TRIGGER ALLOT_PERIODE_%1").arg(QLatin1String(event))
         << QStringLiteral("DROP TRIGGER LEIE_ALLOT_TALT_%1").arg(QLatin1String(event))
         << QStringLiteral("DROP TRIGGER LEIE_ALLOT_TALT_LEIE_%1").arg(QLatin1String(event));
    for (const char* table : {"ANLEGG", "FLOY", "UTYPE", "UTLEIEOB", "BRUKERRETT"}) {
      drop << QStringLiteral("DROP TRIGGER OPPSETT_%1_%2")
                  .arg(QLatin1String(table), QLatin1String(event));
    }
  }
  // And a trigger of the counts' first form and an index of the outbox's, which the upgrade
  // replaces.
  drop << QStringLiteral("CREATE TRIGGER LEIE_DAG_NY AFTER INSERT ON LEIE BEGIN SELECT 1; END")
       << QStringLiteral("DROP INDEX EPOST_UT_TILSTAND")
       << QStringLiteral("CREATE INDEX EPOST_UT_NESTE ON EPOST_UT (TILSTAND, NESTE_FORSOK)");
  Sql(Db("demo"), drop);
  const Result lacking = Run({"--aliases", aliases_, "check", "demo"});
  EXPECT_EQ(lacking.status, 1);
  EXPECT_TRUE(lacking.out.contains(u"table LEIE_PERIODE is missing (taurelin-db upgrade adds it)"))
      << lacking.out.toStdString();
  EXPECT_TRUE(lacking.out.contains(u"index EPOST_UT_TILSTAND is missing"))
      << lacking.out.toStdString();

  const Result upgraded = Run({"--aliases", aliases_, "upgrade", "demo"});
  EXPECT_EQ(upgraded.status, 0) << upgraded.err.toStdString();
  EXPECT_TRUE(upgraded.out.contains(u"added table LEIE_PERIODE")) << upgraded.out.toStdString();
  EXPECT_FALSE(Run({"--aliases", aliases_, "check", "demo"}).out.contains(u"upgrade adds"));
  EXPECT_EQ(Counts(demo), before);
  // Every line that occupies units is in the index, and counted or listed as not counted.
  Sql(Db("demo"), {"CREATE TABLE RESULT AS SELECT"
                   " (SELECT count(*) FROM LEIE_PERIODE) AS INDEXED,"
                   " (SELECT count(*) FROM LEIE WHERE LEIETYPE = 'O'"
                   "  AND (STATUS <> 'A' OR STATUS IS NULL)) AS OCCUPYING,"
                   " (SELECT count(*) FROM LEIE_TALT) + (SELECT count(*) FROM LEIE_AVVIK)"
                   "  AS COUNTED,"
                   " (SELECT count(*) FROM LEIE_ALLOT_TALT) AS KEPT,"
                   " (SELECT count(*) FROM LEIE_ALLOT A JOIN LEIE L ON L.LINJENR = A.LINJENR)"
                   "  AS USED,"
                   " (SELECT count(*) FROM sqlite_master"
                   "  WHERE name IN ('LEIE_DAG_NY', 'EPOST_UT_NESTE')) AS FIRST"});
  {
    QSqlDatabase database =
        QSqlDatabase::addDatabase(QLatin1String(taurelin::kSqliteDriver), QStringLiteral("tool_read"));
    database.setDatabaseName(Db("demo"));
    ASSERT_TRUE(database.open());
    QSqlQuery query(database);
    ASSERT_TRUE(query.exec(QStringLiteral(
                    "SELECT INDEXED, OCCUPYING, COUNTED, KEPT, USED, FIRST FROM RESULT")) &&
                query.next());
    EXPECT_GT(query.value(1).toInt(), 0);
    EXPECT_EQ(query.value(0).toInt(), query.value(1).toInt());
    EXPECT_EQ(query.value(2).toInt(), query.value(1).toInt());
    EXPECT_GT(query.value(4).toInt(), 0);
    EXPECT_EQ(query.value(3).toInt(), query.value(4).toInt());
    EXPECT_EQ(query.value(5).toInt(), 0);
    database.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("tool_read"));
  EXPECT_TRUE(Run({"--aliases", aliases_, "upgrade", "demo"}).out.contains(u"is up to date"));
}

TEST_F(TaurelinDbTest, CheckDoesNotCreateAMissingDatabaseFile) {
  const Result result = Run({"check", "absent"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.err.contains(u"does not exist")) << result.err.toStdString();
  EXPECT_FALSE(QFile::exists(Db("absent")));
}

TEST_F(TaurelinDbTest, UnknownAliasNamesTheAliasAndTheFile) {
  const Result named = Run({"--aliases", aliases_, "check", "nosuch"});
  EXPECT_EQ(named.status, 1);
  EXPECT_TRUE(named.err.contains(u"nosuch")) << named.err.toStdString();
  EXPECT_TRUE(named.err.contains(aliases_)) << named.err.toStdString();

  const QString missingFile = dir_.filePath(QStringLiteral("none.ini"));
  const Result unlisted = Run({"init", "demo"}, missingFile);
  EXPECT_EQ(unlisted.status, 1);
  EXPECT_TRUE(unlisted.err.contains(missingFile)) << unlisted.err.toStdString();
  EXPECT_TRUE(unlisted.err.contains(u"does not exist")) << unlisted.err.toStdString();
  EXPECT_FALSE(QFile::exists(Db("demo")));
}

TEST_F(TaurelinDbTest, WrongCommandLinesAreUsageErrors) {
  for (const QStringList& arguments :
       {QStringList{}, {"init"}, {"drop", "demo"}, {"check", "demo", "--demo"},
        {"init", "demo", "half"}}) {
    const Result result = Run(arguments);
    EXPECT_EQ(result.status, 2) << arguments.join(u' ').toStdString();
    EXPECT_FALSE(result.err.isEmpty());
  }
  EXPECT_FALSE(QFile::exists(Db("demo")));
  const Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.contains(QStringLiteral(TAURELIN_VERSION)));
}

TEST_F(TaurelinDbTest, CopyRefusesAMissingSourceAndAnOccupiedTarget) {
  ASSERT_EQ(Run({"init", "demo", "--demo"}).status, 0);
  const Result missing = Run({"copy", "absent", "half"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(QFile::exists(Db("absent")));

  ASSERT_EQ(Run({"init", "half"}).status, 0);
  const QByteArray before = Bytes(Db("half"));
  const Result occupied = Run({"copy", "demo", "half"});
  EXPECT_EQ(occupied.status, 1);
  EXPECT_TRUE(occupied.err.contains(u"already has tables")) << occupied.err.toStdString();
  EXPECT_EQ(Bytes(Db("half")), before);
  EXPECT_EQ(Run({"copy", "demo"}).status, 2);
}

// A backup that could not be whole writes nothing: the last good one stays as it was and no
// partial file is left beside it. Restore refuses a file that is no booking database, and
// puts a good backup in place of a damaged database.
TEST_F(TaurelinDbTest, BackupAndRestoreRefuseWhatWouldNotBeWhole) {
  ASSERT_EQ(Run({"init", "demo", "--demo"}).status, 0);
  const QString nightly = dir_.filePath(QStringLiteral("nightly.db"));
  const Result good = Run({"backup", "demo", nightly});
  ASSERT_EQ(good.status, 0) << good.err.toStdString();
  EXPECT_TRUE(good.out.contains(QRegularExpression(QStringLiteral("BOOKING +4\\n"))))
      << good.out.toStdString();
  const QByteArray lastGood = Bytes(nightly);
  EXPECT_EQ(Run({"backup", "demo", Db("demo")}).status, 1);

  // Damage to the bookings themselves (the root page of BOOKING), wherever the
  // schema puts them. Damage to the schema's own pages is another matter: restore cannot
  // yet leave the write-ahead log on such a file.
  qint64 bookingPage = 0;
  {
    QSqlDatabase look = QSqlDatabase::addDatabase(QLatin1String(taurelin::kSqliteDriver),
                                                  QStringLiteral("tool_page"));
    look.setDatabaseName(Db("demo"));
    ASSERT_TRUE(look.open());
    QSqlQuery root(look);
    ASSERT_TRUE(root.exec(QStringLiteral(
                    "SELECT rootpage FROM sqlite_master WHERE name = 'BOOKING'")) &&
                root.next());
    bookingPage = root.value(0).toLongLong();
    root.finish();
    look.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("tool_page"));
  {
    QFile database(Db("demo"));
    ASSERT_TRUE(database.open(QIODevice::ReadWrite));
    ASSERT_TRUE(database.seek((bookingPage - 1) * 4096));
    database.write(QByteArray(4096, '\x5a'));
  }
  const Result damaged = Run({"backup", "demo", nightly});
  EXPECT_EQ(damaged.status, 1) << damaged.out.toStdString();
  EXPECT_TRUE(damaged.err.contains(u"no backup was written")) << damaged.err.toStdString();
  EXPECT_EQ(Bytes(nightly), lastGood);
  const QStringList left =
      QDir(dir_.path()).entryList({QStringLiteral("*partial*")}, QDir::Files | QDir::Hidden);
  EXPECT_TRUE(left.isEmpty()) << left.join(u' ').toStdString();

  Sql(Db("half"), {"CREATE TABLE NOTES (TEXT VARCHAR(10))"});
  const QByteArray damagedBytes = Bytes(Db("demo"));
  const Result foreign = Run({"restore", Db("half"), "demo"});
  EXPECT_EQ(foreign.status, 1);
  EXPECT_TRUE(foreign.err.contains(u"no booking database")) << foreign.err.toStdString();
  EXPECT_EQ(Bytes(Db("demo")), damagedBytes);

  const Result restored = Run({"restore", nightly, "demo"});
  ASSERT_EQ(restored.status, 0) << restored.err.toStdString();
  const Result check = Run({"check", "demo"});
  EXPECT_EQ(check.status, 0) << check.out.toStdString();
  EXPECT_EQ(Bytes(nightly), lastGood);
}

// The database holds bookers' names and addresses: init, copy and a restore into a missing
// file make it for its owner and group alone even under the usual umask, which would give
// 0644, and SQLite's journal files follow it. Check points out one that others may read, and
// its outcome stays the same.
TEST_F(TaurelinDbTest, NewDatabasesAreClosedToOthersAndCheckWarnsOfAnOpenOne) {
  const auto mode = [](const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : -1u;
  };
  const QString nightly = dir_.filePath(QStringLiteral("nightly.db"));
  const mode_t previous = ::umask(022);
  const Result init = Run({"init", "demo", "--demo"});
  const Result copy = Run({"copy", "demo", "half"});
  const Result backup = Run({"backup", "demo", nightly});
  const Result restore = Run({"restore", nightly, "absent"});
  ::umask(previous);
  ASSERT_EQ(init.status, 0) << init.err.toStdString();
  ASSERT_EQ(copy.status, 0) << copy.err.toStdString();
  ASSERT_EQ(backup.status, 0) << backup.err.toStdString();
  ASSERT_EQ(restore.status, 0) << restore.err.toStdString();
  for (const QString& path : {Db("demo"), Db("half"), Db("absent")}) {
    EXPECT_EQ(mode(path) & ~0640u, 0u) << path.toStdString() << ' ' << std::oct << mode(path);
  }
  {
    // A writer keeps the -wal and -shm files while it is connected.
    QSqlDatabase database =
        QSqlDatabase::addDatabase(QLatin1String(taurelin::kSqliteDriver), QStringLiteral("tool_mode"));
    database.setDatabaseName(Db("half"));
    ASSERT_TRUE(database.open());
    ASSERT_TRUE(QSqlQuery(database).exec("UPDATE TELLER SET VERDI = VERDI + 1"));
    for (const char* suffix : {"-wal", "-shm"}) {
      const QString path = Db("half") + QLatin1String(suffix);
      ASSERT_TRUE(QFile::exists(path)) << suffix;
      EXPECT_EQ(mode(path) & ~0640u, 0u) << suffix << ' ' << std::oct << mode(path);
    }
    database.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("tool_mode"));

  ASSERT_TRUE(QFile::setPermissions(Db("demo"), QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ReadGroup | QFile::ReadOther));
  const Result open = Run({"check", "demo"});
  EXPECT_EQ(open.status, 0) << open.out.toStdString();
  EXPECT_TRUE(open.err.contains(QStringLiteral("%1 holds bookers' names and addresses and others "
                                               "may read it; chmod 640 %1\n")
                                    .arg(Db("demo"))))
      << open.err.toStdString();
  ASSERT_TRUE(QFile::setPermissions(Db("demo"),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
  const Result closed = Run({"check", "demo"});
  EXPECT_EQ(closed.status, 0) << closed.out.toStdString();
  EXPECT_TRUE(closed.err.isEmpty()) << closed.err.toStdString();
}

// An amount that NUMERIC(15,2) would round, in a database made before the columns checked
// their values: check names it, copy refuses it and leaves the target empty, and once it is
// mended the copy into a new file gives the business the checked columns.
TEST_F(TaurelinDbTest, CheckAndCopyNameAnAmountThatAnEarlierDatabaseHolds) {
  EarlierDatabase(Db("demo"));
  Script(Db("demo"),
         "INSERT INTO UTYPE (UTYPE) VALUES (1);"
         "INSERT INTO PRIS (PRIS_ID, UTYPE, WEB) VALUES (7, 1, 'J');"
         "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, PRIS_UKE) VALUES"
         "  (7, '2025-06-01', 100.125), (7, '2025-07-01', 100.12);");
  const QString bad = QStringLiteral("PRISLINJE PRIS_ID=7 FRA_DATO=2025-06-01: PRIS_UKE 100.125 "
                                     "has more than 2 decimals");
  const Result check = Run({"check", "demo"});
  EXPECT_EQ(check.status, 1);
  EXPECT_TRUE(check.out.contains(QStringLiteral("has amounts that their NUMERIC columns do not "
                                                "hold:\n  ") +
                                 bad + QStringLiteral(" (NUMERIC(15,2))\n")))
      << check.out.toStdString();
  EXPECT_FALSE(check.out.contains(u"2025-07-01")) << check.out.toStdString();
  EXPECT_FALSE(check.out.contains(u"is complete")) << check.out.toStdString();

  const Result copy = Run({"copy", "demo", "half"});
  EXPECT_EQ(copy.status, 1);
  EXPECT_TRUE(copy.out.isEmpty()) << copy.out.toStdString();
  EXPECT_TRUE(copy.err.contains(
      bad + QStringLiteral(", which the target's NUMERIC(15,2) does not hold as it is")))
      << copy.err.toStdString();
  EXPECT_EQ(Run({"init", "half"}).status, 0);  // the target was left without a table
  QFile::remove(Db("half"));

  Sql(Db("demo"), {"UPDATE PRISLINJE SET PRIS_UKE = 100.13 WHERE PRIS_UKE = 100.125"});
  const Result clean = Run({"check", "demo"});
  EXPECT_FALSE(clean.out.contains(u"NUMERIC")) << clean.out.toStdString();
  const Result mended = Run({"copy", "demo", "half"});
  EXPECT_EQ(mended.status, 0) << mended.err.toStdString();
  {
    QSqlDatabase database =
        QSqlDatabase::addDatabase(QLatin1String(taurelin::kSqliteDriver), QStringLiteral("tool_copy"));
    database.setDatabaseName(Db("half"));
    ASSERT_TRUE(database.open());
    QSqlQuery query(database);
    EXPECT_FALSE(query.exec("UPDATE PRISLINJE SET PRIS_UKE = 100.125"));
    EXPECT_TRUE(query.lastError().text().contains(u"CHECK"))
        << query.lastError().text().toStdString();
    ASSERT_TRUE(query.exec("SELECT PRIS_UKE FROM PRISLINJE ORDER BY FRA_DATO") && query.next());
    EXPECT_EQ(query.value(0).toString(), "100.13");
    database.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("tool_copy"));
}

// The move the copy exists for: the demo business from its SQLite file to PostgreSQL.
TEST_F(TaurelinDbTest, CopyMovesTheDemoToPostgresWholeOrNotAtAll) {
  if (!taurelin::PostgresTestDatabase::Available()) {
    GTEST_SKIP() << taurelin::PostgresTestDatabase::kSkip;
  }
  const taurelin::PostgresTestDatabase database(taurelin::PostgresTestDatabase::kEmpty);
  const QString aliases = CopyAliases(database.alias());

  // A source that lacks a table fails after most rows were written: none of them may stay.
  ASSERT_EQ(Run({"init", "demo", "--demo"}).status, 0);
  Sql(Db("demo"), {"ALTER TABLE BRUKERRETT RENAME TO BRUKERRETT_OLD"});
  const Result broken = Run({"--aliases", aliases, "copy", "demo", "target"});
  EXPECT_EQ(broken.status, 1);
  EXPECT_TRUE(broken.err.contains(u"BRUKERRETT")) << broken.err.toStdString();
  EXPECT_TRUE(broken.out.isEmpty());

  // A price that PostgreSQL would round is refused before anything is written.
  Sql(Db("demo"), {"ALTER TABLE BRUKERRETT_OLD RENAME TO BRUKERRETT",
                   "PRAGMA ignore_check_constraints = ON",
                   "INSERT INTO PRISLINJE (PRIS_ID, FRA_DATO, PRIS_UKE)"
                   " SELECT MIN(PRIS_ID), '1999-01-01', 100.125 FROM PRIS"});
  const Result rounded = Run({"--aliases", aliases, "copy", "demo", "target"});
  EXPECT_EQ(rounded.status, 1);
  EXPECT_TRUE(rounded.err.contains(QRegularExpression(QStringLiteral(
      "PRISLINJE PRIS_ID=\\d+ FRA_DATO=1999-01-01: PRIS_UKE 100.125 has more than 2 decimals"))))
      << rounded.err.toStdString();
  EXPECT_TRUE(rounded.out.isEmpty());

  // One series set above the copied numbers, one below: each continues past the higher.
  Sql(Db("demo"), {"DELETE FROM PRISLINJE WHERE FRA_DATO = '1999-01-01'",
                   "UPDATE TELLER SET VERDI = 2000 WHERE NAVN = 'REFNR'",
                   "UPDATE TELLER SET VERDI = 0 WHERE NAVN = 'LINJENR'",
                   // An imported booking's row goes along, or the next import books it again.
                   "INSERT INTO KANAL_BOOKING (KANAL, UID, REFNR, ANKOMST, AVREISE, SIST_SETT)"
                   " VALUES ('cabin', 'e1@platform', 1, '2030-06-10', '2030-06-14',"
                   " '2030-01-01T10:00:00.000')",
                   // So do what the import knows of events gone and of a suspect calendar.
                   "INSERT INTO KANAL_BORTE (KANAL, UID, BORTE_FRA, AVLYST) VALUES ('cabin',"
                   " 'e1@platform', '2030-01-02T10:00:00.000', NULL)",
                   "INSERT INTO KANAL_STATUS (KANAL, MISTENKT_FRA, MISTENKT_FORM, MISTENKT_BORTE,"
                   " MISTENKT_AV) VALUES ('cabin', '2030-01-02T10:00:00.000', 'da39a3ee', 1, 1)",
                   // And the outbox, its composed messages bytes as they are.
                   "INSERT INTO EPOST_UT (ID, HENDELSE, REFNR, MOTTAKER, SPRAAK, TILSTAND,"
                   " MELDING_ID, INNHOLD, FORSOK, NESTE_FORSOK, OPPRETTET) VALUES ('m1',"
                   " 'booking-confirmed', 1001, 'kari@example.no', 'nb', 'waiting', 'm1@test',"
                   " X'0DC3A600FF', 0, 1893456000, 1893456000)"});
  QMap<QString, qint64> expected = Counts(taurelin::AliasList::Load(aliases).find("demo").value());
  ASSERT_GT(expected.value("LEIE"), 0);
  const Result copy = Run({"--aliases", aliases, "copy", "demo", "target"});
  ASSERT_EQ(copy.status, 0) << copy.err.toStdString();
  QStringList lines;
  for (const QString& line : copy.out.split(u'\n')) lines << line.simplified();
  EXPECT_TRUE(lines.contains(QStringLiteral("LEIE %1").arg(expected.value("LEIE"))))
      << copy.out.toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("KANAL_BOOKING 1"))) << copy.out.toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("KANAL_BORTE 1"))) << copy.out.toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("KANAL_STATUS 1"))) << copy.out.toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("EPOST_UT 1"))) << copy.out.toStdString();
  // The outbox as the operator lists it, all of it or in one state.
  const Result outbox = Run({"--aliases", aliases, "mail", "demo"});
  EXPECT_EQ(outbox.status, 0) << outbox.err.toStdString();
  EXPECT_TRUE(outbox.out.contains(u"1 mail")) << outbox.out.toStdString();
  EXPECT_TRUE(outbox.out.contains(QRegularExpression(
      QStringLiteral("waiting +booking-confirmed +1001  kari@example.no  nb  0 attempts  m1"))))
      << outbox.out.toStdString();
  EXPECT_TRUE(Run({"--aliases", aliases, "mail", "demo", "--state", "failed"})
                  .out.contains(u"0 mails"));
  EXPECT_EQ(Run({"--aliases", aliases, "mail", "demo", "--state", "lost"}).status, 2);
  {
    QSqlDatabase source = QSqlDatabase::addDatabase(QLatin1String(taurelin::kSqliteDriver), "tool_max");
    source.setDatabaseName(Db("demo"));
    ASSERT_TRUE(source.open());
    QSqlQuery highest(source);
    ASSERT_TRUE(highest.exec("SELECT MAX(LINJENR) FROM LEIE") && highest.next());
    expected["TELLER LINJENR"] = highest.value(0).toLongLong();
    source.close();
  }
  QSqlDatabase::removeDatabase("tool_max");
  EXPECT_EQ(expected.value("TELLER REFNR"), 2000);
  EXPECT_EQ(Counts(database.alias()), expected);
  {
    taurelin::Connection target{QStringLiteral("tool_outbox")};
    QString error;
    ASSERT_TRUE(target.open(database.alias(), &error, false)) << error.toStdString();
    QSqlQuery message(target.database());
    ASSERT_TRUE(message.exec("SELECT INNHOLD FROM EPOST_UT") && message.next());
    EXPECT_EQ(message.value(0).toByteArray(), QByteArray("\x0D\xC3\xA6\x00\xFF", 5));
  }

  const Result check = Run({"--aliases", aliases, "check", "target"});
  EXPECT_EQ(check.status, 0) << check.out.toStdString();

  const Result again = Run({"--aliases", aliases, "copy", "demo", "target"});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(again.err.contains(u"already has tables")) << again.err.toStdString();
  EXPECT_EQ(Counts(database.alias()), expected);
}

TEST_F(TaurelinDbTest, InitAndCheckOnAPostgresAlias) {
  if (!taurelin::PostgresTestDatabase::Available()) {
    GTEST_SKIP() << taurelin::PostgresTestDatabase::kSkip;
  }
  const taurelin::PostgresTestDatabase database(taurelin::PostgresTestDatabase::kEmpty);
  const QString aliases = database.aliases().file();
  const Result init = Run({"--aliases", aliases, "init", "test", "--demo"});
  ASSERT_EQ(init.status, 0) << init.err.toStdString();
  EXPECT_TRUE(init.out.contains(u"demo data")) << init.out.toStdString();
  EXPECT_TRUE(init.out.contains(QLatin1String(taurelin::kPostgresDriver))) << init.out.toStdString();

  const Result check = Run({"--aliases", aliases, "check", "test"});
  EXPECT_EQ(check.status, 0) << check.out.toStdString();
  EXPECT_TRUE(check.out.contains(u"is complete")) << check.out.toStdString();

  const Result again = Run({"--aliases", aliases, "init", "test"});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(again.err.contains(u"already has tables")) << again.err.toStdString();
}

}  // namespace
