// The demo business on SQLite and its copy on PostgreSQL, each behind a server of its own:
// the reading instructions must not tell the two apart, or the move has lost or changed
// something.

#include "demo_requests.h"
#include "server_process.h"

#include "admin/database_copy.h"
#include "store/connection.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>

namespace taurelin {
namespace {

// Copies `from` into the empty database `to` as taurelin-db copy does.
bool Copy(const DatabaseAlias& from, const DatabaseAlias& to, QString* error) {
  Connection source{QStringLiteral("copy_from")};
  Connection target{QStringLiteral("copy_to")};
  QList<CopiedTable> copied;
  return source.open(from, error, false) && target.open(to, error) &&
         CopyDatabase(source.database(), target.database(), &copied, error);
}

QString Ask(const ServerProcess& server, const QByteArray& request) {
  auto client = server.connect();
  client->write(request);
  const QList<QByteArray> answers = ReadAnswers(*client, 1, 10000);
  return answers.isEmpty() ? QStringLiteral("(no answer)") : Reply(answers.first());
}

TEST(CopiedDatabaseTest, TheDemoAnswersAlikeOnSqliteAndOnItsPostgresCopy) {
  if (!PostgresTestDatabase::Available()) GTEST_SKIP() << PostgresTestDatabase::kSkip;
  TestDatabase sqlite(true);
  PostgresTestDatabase postgres(PostgresTestDatabase::kEmpty);
  QString error;
  ASSERT_TRUE(Copy(sqlite.alias(), postgres.alias(), &error)) << error.toStdString();
  ServerProcess onSqlite(sqlite);
  ServerProcess onPostgres(postgres);
  ASSERT_TRUE(onSqlite.start()) << onSqlite.standardError().toStdString();
  ASSERT_TRUE(onPostgres.start()) << onPostgres.standardError().toStdString();

  QList<QByteArray> requests;
  for (int facility = 1; facility <= 3; ++facility) {
    for (int type = 1; type <= 6; ++type) {
      const QString where = QStringLiteral("%1;%2;*;").arg(facility).arg(type);
      requests << Request("l1", "ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE",
                          "LEDIG;" + where + "1;" + Day(0) + ";" + Day(4))
               << Request("l2", "ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE",
                          "LEDIG;" + where + "2;" + Day(7) + ";" + Day(14))
               << Request("m1", "ANLEGGSNR;UTYPE;UTL_OBJ;AGENT;FRA;TIL",
                          "LEDIGMATRISE;" + where + "*;" + Day(-2) + ";" + Day(12))
               << Request("m2", "ANLEGGSNR;UTYPE;UTL_OBJ;AGENT;FRA;TIL",
                          "LEDIGMATRISE;" + where + "2;" + Day(0) + ";" + Day(6))
               << Request("k", "ANLEGGSNR", QStringLiteral("KORT;%1").arg(facility))
               << Request("u", "ANLEGGSNR", QStringLiteral("UTYPE;%1").arg(facility));
    }
  }
  // The price list is asked of facility 0, the only one it answers with prices.
  for (const char* type : {"*", "1", "2", "3", "4", "5", "6"}) {
    requests << Request("p", "ANLEGGSNR;UTYPE;UTL_OBJ", QStringLiteral("PRIS;0;%1;*").arg(type));
  }
  for (int refnr = 1001; refnr <= 1005; ++refnr) {
    requests << Request("h", "REFNR", QStringLiteral("HENTBOOK;%1").arg(refnr));
  }

  int answered = 0;
  for (const QByteArray& request : requests) {
    const QString expected = Ask(onSqlite, request);
    EXPECT_EQ(Ask(onPostgres, request).toStdString(), expected.toStdString())
        << request.toStdString();
    if (expected.startsWith(u"&count=") && !expected.contains(u"errorcode")) ++answered;
  }
  // Alike answers prove nothing when both merely fail: most of these have data to give.
  EXPECT_GT(answered, requests.size() * 3 / 4);
}

}  // namespace
}  // namespace taurelin
