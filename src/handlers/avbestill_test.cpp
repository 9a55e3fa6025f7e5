#include "handlers/avbestill.h"

#include "handlers/conventions.h"
#include "handlers/handler_test_fixture.h"
#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

const QString kAvbestillHeader = QStringLiteral("&header=INSTRUKSJON;REFNR&data=");

QString Cancelled(const QString& refnr) {
  return "&count=1" + kAvbestillHeader + "AVBESTILL;" + refnr;
}

QString Failure(const QString& refnr) {
  return "&count=0" + kAvbestillHeader +
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
        Rows(QStringLiteral("SELECT AVBESTILT FROM BOOKING WHERE REFNR = %1").arg(refnr));
    const QString statuses =
        Rows(QStringLiteral("SELECT COALESCE(STATUS, '-') FROM LEIE WHERE REFNR = %1 "
                            "ORDER BY LINJENR")
                 .arg(refnr))
            .replace(QStringLiteral(" / "), QStringLiteral(","));
    const QString lines =
        Query(QStringLiteral("SELECT COUNT(*) FROM LEIE WHERE REFNR = %1"), refnr);
    if (header.isEmpty() && lines == u"0") return QString();
    return header + u'|' + (statuses.isEmpty() ? QStringLiteral("-") : statuses) + u'/' + lines;
  }
  QString Query(const QString& sql, int refnr) {
    return Scalar(sql.arg(refnr).toUtf8().constData());
  }
};

TEST_P(AvbestillTest, ReservationWithoutBookerIsDeleted) {
  EXPECT_EQ(Cancel(QStringLiteral("100")), Cancelled(QStringLiteral("100")));
  EXPECT_EQ(Booking(100), QString());
  EXPECT_EQ(Booking(300), "0|-,-/2");
  // Once gone, the number is unknown.
  EXPECT_EQ(Cancel(QStringLiteral("100")), kAvbestillHeader);
}

TEST_P(AvbestillTest, BookingWithBookerIsMarkedAgainAndAgain) {
  EXPECT_EQ(Cancel(QStringLiteral("200")), Cancelled(QStringLiteral("200")));
  EXPECT_EQ(Booking(200), "1|A,A/2");
  EXPECT_EQ(Cancel(QStringLiteral("200")), Cancelled(QStringLiteral("200")));
  EXPECT_EQ(Booking(200), "1|A,A/2");
  EXPECT_EQ(Booking(300), "0|-,-/2");
}

// The sweep's scope deletes a reservation but leaves a booking with a booker untouched.
TEST_P(AvbestillTest, ReservationScopeLeavesBookingsWithABooker) {
  BookingStore& store = Store(context_);
  EXPECT_EQ(store.Cancel(200, CancelScope::kReservationOnly),
            CancelOutcome::kNothingDone);
  EXPECT_EQ(Booking(200), "0|-,B/2");
  EXPECT_EQ(store.Cancel(100, CancelScope::kReservationOnly),
            CancelOutcome::kCancelled);
  EXPECT_EQ(Booking(100), QString());
  EXPECT_EQ(Booking(300), "0|-,-/2");
}

TEST_P(AvbestillTest, UnknownNumberAnswersTheBareHeader) {
  const QString before = Fingerprint();
  EXPECT_EQ(Cancel(QStringLiteral("999")), kAvbestillHeader);
  EXPECT_EQ(Fingerprint(), before);
}

// A number is compared as the database compares numbers, and echoed as it was sent; one with
// a fraction names no booking.
TEST_P(AvbestillTest, TheNumberNamesTheBookingWhateverItsSpelling) {
  EXPECT_EQ(Cancel(QStringLiteral("100.5")), kAvbestillHeader);
  EXPECT_EQ(Cancel(QStringLiteral("99999999999999999999")), kAvbestillHeader);
  EXPECT_NE(Booking(100), QString());
  EXPECT_EQ(Cancel(QStringLiteral(" +0100.0")), Cancelled(QStringLiteral(" +0100.0")));
  EXPECT_EQ(Booking(100), QString());
}

TEST_P(AvbestillTest, NumbersThatAreNoneChangeNothing) {
  const QString before = Fingerprint();
  EXPECT_EQ(Cancel(QStringLiteral("abc")), Failure(QStringLiteral("abc")));
  EXPECT_EQ(Cancel(QStringLiteral("")), Failure(QStringLiteral("")));
  for (const QString& hostile : HostileValues()) {
    EXPECT_EQ(Cancel(hostile), Failure(hostile)) << hostile.toStdString();
  }
  EXPECT_EQ(Fingerprint(), before);
}

// When the header's write fails after the lines were written, the lines' write is undone.
TEST_P(AvbestillTest, SecondWriteFailingUndoesTheFirst) {
  Refuse("KEEP_BOOKING", "BEFORE DELETE ON BOOKING");
  Refuse("KEEP_MARKS", "BEFORE UPDATE ON BOOKING");
  const QString before = Fingerprint();
  EXPECT_EQ(Cancel(QStringLiteral("100")), Failure(QStringLiteral("100")));
  EXPECT_EQ(Cancel(QStringLiteral("200")), Failure(QStringLiteral("200")));
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Booking(100), "0|-,-/2");
  EXPECT_EQ(Booking(200), "0|-,B/2");

  // Nothing was left open: with the obstacle gone, both cancel.
  Allow("KEEP_BOOKING", "BOOKING");
  Allow("KEEP_MARKS", "BOOKING");
  EXPECT_EQ(Cancel(QStringLiteral("100")), Cancelled(QStringLiteral("100")));
  EXPECT_EQ(Cancel(QStringLiteral("200")), Cancelled(QStringLiteral("200")));
  EXPECT_EQ(Booking(100), QString());
  EXPECT_EQ(Booking(200), "1|A,A/2");
}

TEST_P(AvbestillTest, DatabaseFailuresAnswerTheCancellationError) {
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
  InstructionValues values;
  values.set(QLatin1String("REFNR"), QStringLiteral("100"));
  EXPECT_EQ(ReplyEnvelope::Write(HandleAvbestill(values, none)), Failure(QStringLiteral("100")));

  EXPECT_EQ(Cancel(QStringLiteral("100")), Cancelled(QStringLiteral("100")));
}

INSTANTIATE_TEST_SUITE_P(Backends, AvbestillTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
