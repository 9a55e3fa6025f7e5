#include "store/database_session.h"

#include "store/database_error.h"
#include "store/statement.h"
#include "store/test_database.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QStringList>

namespace taurelin {
namespace {

// Records what the operator would have been told, in order: the condition and its database.
class RecordedReports : public StoreReports {
 public:
  void report(const StoreReport& report) override {
    shown << QStringLiteral("%1 %2").arg(int(report.condition)).arg(report.database);
  }
  static QString Of(StoreCondition condition, const char* database) {
    return QStringLiteral("%1 %2").arg(int(condition)).arg(QLatin1String(database));
  }
  QStringList shown;
};

class DatabaseSessionTest : public ::testing::Test {
 protected:
  DatabaseSessionTest() {
    db_.run(QStringLiteral(
        "INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (1, 'Nord', 1);\n"
        "INSERT INTO ANLEGG (ANLEGGSNR, ANLEGGSNAVN, FORETAKSNR) VALUES (2, 'Sor', 1);\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('N1', 1);\n"
        "INSERT INTO FLOY (FLOYKODE, ANLEGG) VALUES ('S1', 2);\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ISTAT) VALUES (3, 'H4', 'Hytte', 'H');\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ISTAT) VALUES (4, 'L2', 'Leilighet', 'L');\n"
        "INSERT INTO UTYPE (UTYPE, KODE, BESKR, ISTAT) VALUES (9, 'X', 'Uten objekter', 'X');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('101', 3, 'N1');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('102', 3, 'N1');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('103', 4, 'N1');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('201', 3, 'S1');\n"));
  }

  TestDatabase db_;
  RecordedReports messages_;
};

TEST_F(DatabaseSessionTest, GoodAliasReadsOneSummaryRowPerFacilityAndType) {
  DatabaseSession session(db_.aliases(), messages_);
  EXPECT_TRUE(session.ConnectAPIDatabase(QStringLiteral("test")));
  EXPECT_TRUE(messages_.shown.isEmpty()) << messages_.shown.join(u'|').toStdString();
  EXPECT_EQ(session.APIDatabaseName(), "test");
  ASSERT_TRUE(session.utleietyperOpen());
  QStringList rows;
  for (const RentalTypeSummaryRow& row : session.qryUtleietyper()) {
    rows << QStringLiteral("%1/%2/%3/%4/%5/%6")
                .arg(row.ANLEGG.toString())
                .arg(row.UTYPE)
                .arg(row.AntEnh)
                .arg(row.BESKR, row.ISTAT, row.KODE);
  }
  rows.sort();
  EXPECT_EQ(rows, QStringList({"1/3/2/Hytte/H/H4", "1/4/1/Leilighet/L/L2", "2/3/1/Hytte/H/H4"}));

  // The booking store runs on the session's connection.
  EXPECT_TRUE(session.store().FacilityNumberKnown(QStringLiteral("1")));
  EXPECT_TRUE(session.store().FacilityNumberKnown(QStringLiteral("2")));
  EXPECT_FALSE(session.store().FacilityNumberKnown(QStringLiteral("3")));
}

TEST_F(DatabaseSessionTest, UnknownAliasShowsBothMessagesInOrderAndFailsTheDataModule) {
  DatabaseSession session(db_.aliases(), messages_);
  EXPECT_THROW(session.ConnectAPIDatabase(QStringLiteral("nope")), DatabaseError);
  EXPECT_EQ(messages_.shown,
            QStringList({RecordedReports::Of(StoreCondition::kCannotConnect, "nope"),
                         RecordedReports::Of(StoreCondition::kRentalTypesUnreadable, "nope")}));
  EXPECT_EQ(session.APIDatabaseName(), "nope");
  EXPECT_FALSE(session.utleietyperOpen());
}

TEST_F(DatabaseSessionTest, MissingDatabaseFileIsNotCreated) {
  QFile::remove(db_.file());
  DatabaseSession session(db_.aliases(), messages_);
  EXPECT_THROW(session.ConnectAPIDatabase(QStringLiteral("test")), DatabaseError);
  EXPECT_EQ(messages_.shown.size(), 2);
  Statement s(session.connection());
  s.add(QStringLiteral("SELECT 1"));
  EXPECT_THROW(s.run(), DatabaseError);
  EXPECT_FALSE(QFile::exists(db_.file()));
}

// The database is away at start-up (its file is elsewhere for a while): the summary is read
// once it is back, and the operator hears so once.
TEST_F(DatabaseSessionTest, SummaryMissedWhileTheDatabaseWasAwayIsReadWhenItIsBack) {
  const QString away = db_.file() + QStringLiteral(".away");
  ASSERT_TRUE(QFile::rename(db_.file(), away));
  DatabaseSession session(db_.aliases(), messages_);
  EXPECT_THROW(session.ConnectAPIDatabase(QStringLiteral("test")), DatabaseError);
  EXPECT_THROW(session.EnsureUtleietyper(), DatabaseError);

  ASSERT_TRUE(QFile::rename(away, db_.file()));
  session.EnsureUtleietyper();
  ASSERT_TRUE(session.utleietyperOpen());
  EXPECT_EQ(session.qryUtleietyper().size(), 3);
  EXPECT_TRUE(session.store().FacilityNumberKnown(QStringLiteral("1")));
  EXPECT_EQ(messages_.shown.count(RecordedReports::Of(StoreCondition::kAnswersAgain, "test")), 1)
      << messages_.shown.join(u'|').toStdString();
}

TEST_F(DatabaseSessionTest, ReleaseDropsTheConnection) {
  DatabaseSession session(db_.aliases(), messages_);
  ASSERT_TRUE(session.ConnectAPIDatabase(QStringLiteral("test")));
  session.ReleaseAPIDatabase();
  const QDate today = QDate::currentDate();
  EXPECT_THROW(session.store().Matrix(1, -1, today, today), DatabaseError);
  EXPECT_FALSE(QSqlDatabase::contains(QLatin1String(DatabaseSession::kConnectionName)));
}

}  // namespace
}  // namespace taurelin
