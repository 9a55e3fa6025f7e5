#include "handlers/avbestill.h"

#include "handlers/handler_test_fixture.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

const QString kHeader = QStringLiteral("&header=INSTRUKSJON;REFNR&data=");

QString Cancelled(const QString& refnr) { return "&count=1" + kHeader + "AVBESTILL;" + refnr; }

QString Failure(const QString& refnr) {
  return "&count=0" + kHeader +
         "&errorcode='-1001'&errormessage=Feiler ved avbestilling av refnr (" + refnr + ").";
}

// Booking 100 is a reservation nobody confirmed; booking 200 has a booker; booking 300 is
// a bystander that no cancellation here may touch. Each has a rental-type and an object line.
class AvbestillTest : public HandlerTest {
 protected:
  AvbestillTest() {
    Run("INSERT INTO BESTILL (BESTNR, ENAVN) VALUES (1, 'Nordmann');\n"
        "INSERT INTO BOOKING (REFNR, BESTNR) VALUES (100, NULL), (200, 1), (300, NULL);\n"
        "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, LINJE_EIER, STATUS) VALUES"
        "  (1, 100, 'U', 0, NULL), (2, 100, 'O', 1, NULL),"
        "  (3, 200, 'U', 0, NULL), (4, 200, 'O', 3, 'B'),"
        "  (5, 300, 'U', 0, NULL), (6, 300, 'O', 5, NULL);\n");
  }

  QString Cancel(const QString& refnr) { return Call(HandleAvbestill, {{"REFNR", refnr}}); }

  // A booking's header and lines as "AVBESTILT|STATUS,STATUS/LINES" ("-" for no status), or
  // "" when neither is left.
  QString Booking(int refnr) {
    const QString header =
        Query(QStringLiteral("SELECT B.AVBESTILT || '|' || group_concat(IFNULL(L.STATUS, '-')) "
                             "FROM BOOKING B LEFT JOIN LEIE L ON (L.REFNR = B.REFNR) "
                             "WHERE B.REFNR = %1 GROUP BY B.REFNR"),
              refnr);
    const QString lines = Query(QStringLiteral("SELECT COUNT(*) FROM LEIE WHERE REFNR = %1"), refnr);
    return header.isEmpty() && lines == u"0" ? QString() : header + u'/' + lines;
  }
  QString Query(const QString& sql, int refnr) {
    return Scalar(sql.arg(refnr).toUtf8().constData());
  }
};

TEST_F(AvbestillTest, ReservationWithoutBookerIsDeleted) {
  EXPECT_EQ(Cancel(QStringLiteral("100")), Cancelled(QStringLiteral("100")));
  EXPECT_EQ(Booking(100), QString());
  EXPECT_EQ(Booking(300), "0|-,-/2");
  // Once gone, the number is unknown.
  EXPECT_EQ(Cancel(QStringLiteral("100")), kHeader);
}

TEST_F(AvbestillTest, BookingWithBookerIsMarkedAgainAndAgain) {
  EXPECT_EQ(Cancel(QStringLiteral("200")), Cancelled(QStringLiteral("200")));
  EXPECT_EQ(Booking(200), "1|A,A/2");
  EXPECT_EQ(Cancel(QStringLiteral("200")), Cancelled(QStringLiteral("200")));
  EXPECT_EQ(Booking(200), "1|A,A/2");
  EXPECT_EQ(Booking(300), "0|-,-/2");
}

TEST_F(AvbestillTest, SweepCancelsByNumberAlone) {
  QString discarded = QStringLiteral("previous");
  Avbestill(QStringLiteral("300"), discarded, context_);
  EXPECT_EQ(Booking(300), QString());
}

// The sweep's scope deletes a reservation but leaves a booking with a booker untouched.
TEST_F(AvbestillTest, ReservationScopeLeavesBookingsWithABooker) {
  QString reply;
  Avbestill(QStringLiteral("200"), reply, context_, CancelScope::kReservationOnly);
  EXPECT_EQ(reply, kHeader);
  EXPECT_EQ(Booking(200), "0|-,B/2");
  Avbestill(QStringLiteral("100"), reply, context_, CancelScope::kReservationOnly);
  EXPECT_EQ(reply, Cancelled(QStringLiteral("100")));
  EXPECT_EQ(Booking(100), QString());
}

TEST_F(AvbestillTest, UnknownNumberAnswersTheBareHeader) {
  const QString before = Fingerprint();
  EXPECT_EQ(Call(HandleAvbestill, {{"REFNR", "999"}}, QStringLiteral("&count=3&header=X&data=")),
            kHeader);
  EXPECT_EQ(Fingerprint(), before);
}

TEST_F(AvbestillTest, NumbersThatAreNoneChangeNothing) {
  const QString before = Fingerprint();
  EXPECT_EQ(Cancel(QStringLiteral("abc")), Failure(QStringLiteral("abc")));
  EXPECT_EQ(Cancel(QStringLiteral("")), Failure(QStringLiteral("")));
  for (const QString& hostile : HostileValues()) {
    EXPECT_EQ(Cancel(hostile), Failure(hostile)) << hostile.toStdString();
  }
  EXPECT_EQ(Fingerprint(), before);
}

// When the header's write fails after the lines were written, the lines' write is undone.
TEST_F(AvbestillTest, SecondWriteFailingUndoesTheFirst) {
  Run("CREATE TRIGGER KEEP_BOOKING BEFORE DELETE ON BOOKING "
      "BEGIN SELECT RAISE(ABORT, 'kept'); END;\n"
      "CREATE TRIGGER KEEP_MARKS BEFORE UPDATE ON BOOKING "
      "BEGIN SELECT RAISE(ABORT, 'kept'); END;\n");
  const QString before = Fingerprint();
  EXPECT_EQ(Cancel(QStringLiteral("100")), Failure(QStringLiteral("100")));
  EXPECT_EQ(Cancel(QStringLiteral("200")), Failure(QStringLiteral("200")));
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Booking(100), "0|-,-/2");
  EXPECT_EQ(Booking(200), "0|-,B/2");

  // Nothing was left open: with the obstacle gone, both cancel.
  Run("DROP TRIGGER KEEP_BOOKING;\nDROP TRIGGER KEEP_MARKS;\n");
  EXPECT_EQ(Cancel(QStringLiteral("100")), Cancelled(QStringLiteral("100")));
  EXPECT_EQ(Cancel(QStringLiteral("200")), Cancelled(QStringLiteral("200")));
  EXPECT_EQ(Booking(100), QString());
  EXPECT_EQ(Booking(200), "1|A,A/2");
}

TEST_F(AvbestillTest, DatabaseFailuresAnswerTheCancellationError) {
  const QString before = Fingerprint();
  HideTable("BOOKING");
  EXPECT_EQ(Cancel(QStringLiteral("100")), Failure(QStringLiteral("100")));
  RestoreTable("BOOKING");
  HideTable("LEIE");
  EXPECT_EQ(Cancel(QStringLiteral("100")), Failure(QStringLiteral("100")));
  EXPECT_EQ(Cancel(QStringLiteral("200")), Failure(QStringLiteral("200")));
  RestoreTable("LEIE");
  EXPECT_EQ(Fingerprint(), before);

  HandlerContext none;
  QString reply;
  Avbestill(QStringLiteral("100"), reply, none);
  EXPECT_EQ(reply, Failure(QStringLiteral("100")));

  EXPECT_EQ(Cancel(QStringLiteral("100")), Cancelled(QStringLiteral("100")));
}

}  // namespace
}  // namespace taurelin
