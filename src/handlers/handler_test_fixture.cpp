#include "handlers/handler_test_fixture.h"

#include "store/statement.h"

namespace taurelin {

HandlerTest::HandlerTest() {
  Reconnect();
  context_.database = &session_;
  context_.operatorMessages = &messages_;
}

void HandlerTest::Reconnect() { session_.ConnectAPIDatabase(QStringLiteral("test")); }

QString HandlerTest::Call(InstructionHandler handler,
                          std::initializer_list<std::pair<const char*, QString>> values,
                          const QString& previous) {
  InstructionValues row;
  for (const auto& [column, value] : values) row.set(QLatin1String(column), value);
  QString reply = previous;
  handler(row, reply, context_);
  return reply;
}

QString HandlerTest::Scalar(const char* sql) {
  Statement s(session_.connectionName());
  s.add(QString::fromUtf8(sql));
  s.open();
  if (!s.next()) return {};
  return s.text(s.columnName(0));
}

QString HandlerTest::Fingerprint() {
  QStringList counts;
  for (const char* table : {"ANLEGG", "FLOY", "UTYPE", "UTLEIEOB", "PENSJON", "PRIS",
                            "PRISLINJE", "BETFORM", "AGENT", "NASJON", "BESTILL", "BOOKING",
                            "LEIE", "ALLOT", "ALLOTLINJE", "LEIE_ALLOT", "BRUKERRETT", "TELLER"}) {
    counts << QLatin1String(table) + u'=' +
                  Scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))
                             .toUtf8()
                             .constData());
  }
  counts << Scalar("SELECT group_concat(REFNR || ':' || IFNULL(AVBESTILT, '') || ':' || "
                   "IFNULL(AKODE, '') || ':' || IFNULL(BESTNR, '')) FROM BOOKING");
  counts << Scalar("SELECT group_concat(LINJENR || ':' || IFNULL(STATUS, '')) FROM LEIE");
  return counts.join(u' ');
}

void HandlerTest::HideTable(const char* table) {
  db_.run(QStringLiteral("ALTER TABLE %1 RENAME TO %1_AWAY").arg(QLatin1String(table)));
}

void HandlerTest::RestoreTable(const char* table) {
  db_.run(QStringLiteral("ALTER TABLE %1_AWAY RENAME TO %1").arg(QLatin1String(table)));
}

QStringList HandlerTest::HostileValues() {
  return {"1'", "1;", "1 --", "1 OR 1=1", "' OR '1'='1", "1; DELETE FROM BOOKING",
          "1) OR (1=1"};
}

}  // namespace taurelin
