#include "handlers/handler_test_fixture.h"

#include "protocol/reply_envelope.h"

#include "store/statement.h"

namespace taurelin {
namespace {

// The backend of the running case: its parameter, or SQLite for a TEST_F.
TestBackend CurrentBackend() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const bool postgres = info != nullptr && info->value_param() != nullptr &&
                        ::testing::PrintToString(TestBackend::kPostgres) == info->value_param();
  return postgres ? TestBackend::kPostgres : TestBackend::kSqlite;
}

bool Usable(TestBackend backend) {
  return backend == TestBackend::kSqlite || PostgresTestDatabase::Available();
}

}  // namespace

void PrintTo(TestBackend backend, std::ostream* out) {
  *out << (backend == TestBackend::kPostgres ? "PostgreSQL" : "SQLite");
}

HandlerTest::HandlerTest()
    : backend_(CurrentBackend()),
      sqlite_(backend_ == TestBackend::kSqlite ? std::make_unique<TestDatabase>() : nullptr),
      postgres_(postgres() && Usable(backend_) ? std::make_unique<PostgresTestDatabase>()
                                               : nullptr),
      session_(sqlite_ ? sqlite_->aliases() : postgres_ ? postgres_->aliases() : AliasList(),
               reports_) {
  Reconnect();
  context_.database = &session_;
}

void HandlerTest::SetUp() {
  if (!Usable(backend_)) GTEST_SKIP() << PostgresTestDatabase::kSkip;
}

// Without a database (a PostgreSQL case that skips) the setup of the suites does nothing.
void HandlerTest::Run(const QString& sql) {
  if (sqlite_) sqlite_->run(sql);
  if (postgres_) postgres_->run(sql);
}

void HandlerTest::Reconnect() {
  if (sqlite_ || postgres_) session_.ConnectAPIDatabase(QStringLiteral("test"));
}

QString HandlerTest::Call(InstructionHandler handler,
                          std::initializer_list<std::pair<const char*, QString>> values) {
  InstructionValues row;
  for (const auto& [column, value] : values) row.set(QLatin1String(column), value);
  return ReplyEnvelope::Write(handler(row, context_));
}

QString HandlerTest::Scalar(const char* sql) {
  Statement s(session_.connection());
  s.add(QString::fromUtf8(sql));
  s.run();
  if (!s.next()) return {};
  return s.text(s.columnName(0));
}

QString HandlerTest::Rows(const QString& sql) {
  Statement s(session_.connection());
  s.add(sql);
  s.run();
  QStringList rows;
  while (s.next()) {
    QStringList columns;
    for (int i = 0;; ++i) {
      const QString name = s.columnName(i);
      if (name.isEmpty()) break;
      columns << (s.isNull(name) ? QStringLiteral("null") : s.text(name));
    }
    rows << columns.join(u'|');
  }
  return rows.join(QStringLiteral(" / "));
}

QString HandlerTest::Fingerprint() {
  QStringList counts;
  for (const char* table : {"ANLEGG", "FLOY", "UTYPE", "UTLEIEOB", "PENSJON", "PRIS",
                            "PRISLINJE", "BETFORM", "AGENT", "NASJON", "BESTILL", "BOOKING",
                            "LEIE", "ALLOT", "ALLOTLINJE", "LEIE_ALLOT", "BRUKERRETT", "TELLER"}) {
    counts << QLatin1String(table) + u'=' +
                  Scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table)));
  }
  counts << Rows(QStringLiteral("SELECT REFNR, AVBESTILT, AKODE, BESTNR FROM BOOKING "
                                "ORDER BY REFNR"));
  counts << Rows(QStringLiteral("SELECT LINJENR, STATUS FROM LEIE ORDER BY LINJENR"));
  return counts.join(u' ');
}

void HandlerTest::HideTable(const char* table) {
  Run(QStringLiteral("ALTER TABLE %1 RENAME TO %1_AWAY").arg(QLatin1String(table)));
}

void HandlerTest::RestoreTable(const char* table) {
  Run(QStringLiteral("ALTER TABLE %1_AWAY RENAME TO %1").arg(QLatin1String(table)));
}

void HandlerTest::Refuse(const char* name, const char* event, const char* condition,
                         bool skip) {
  if (!postgres()) {
    Run(QStringLiteral("CREATE TRIGGER %1 %2 WHEN %3 BEGIN SELECT RAISE(%4); END;")
            .arg(QLatin1String(name), QLatin1String(event),
                 QString::fromUtf8(condition) == u"TRUE" ? QStringLiteral("1")
                                                         : QString::fromUtf8(condition),
                 skip ? QStringLiteral("IGNORE") : QStringLiteral("ABORT, 'refused'")));
    return;
  }
  // A BEFORE trigger that returns NULL leaves the row out, as SQLite's RAISE(IGNORE) does.
  Run(QStringLiteral("CREATE FUNCTION %1_FN() RETURNS trigger LANGUAGE plpgsql AS $$\n"
                     "BEGIN %2; END $$;\n"
                     "CREATE TRIGGER %1 %3 FOR EACH ROW WHEN (%4) EXECUTE FUNCTION %1_FN();\n")
          .arg(QLatin1String(name),
               skip ? QStringLiteral("RETURN NULL") : QStringLiteral("RAISE 'refused'"),
               QLatin1String(event), QString::fromUtf8(condition)));
}

void HandlerTest::Allow(const char* name, const char* table) {
  Run(postgres() ? QStringLiteral("DROP TRIGGER %1 ON %2;\nDROP FUNCTION %1_FN();\n")
                       .arg(QLatin1String(name), QLatin1String(table))
                 : QStringLiteral("DROP TRIGGER %1;\n").arg(QLatin1String(name)));
}

QStringList HandlerTest::HostileValues() {
  return {"1'", "1;", "1 --", "1 OR 1=1", "' OR '1'='1", "1; DELETE FROM BOOKING",
          "1) OR (1=1"};
}

}  // namespace taurelin
