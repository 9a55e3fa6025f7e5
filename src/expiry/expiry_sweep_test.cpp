// The sweep against a booking database: what it cancels, what it leaves, what it retries.

#include "expiry/expiry_sweep.h"

#include "handlers/handler_test_fixture.h"

#include <QTemporaryDir>

namespace taurelin {
namespace {

const QDateTime kSweepNow(QDate(2024, 3, 5), QTime(10, 20, 30));

// Booking 100 is a reservation nobody confirmed, 200 has a booker, 300 is a reservation
// that has not expired yet. Each has a rental-type and an object line.
class ExpirySweepTest : public HandlerTest {
 protected:
  ExpirySweepTest() {
    Run("INSERT INTO BESTILL (BESTNR, ENAVN) VALUES (1, 'Nordmann');\n"
        "INSERT INTO BOOKING (REFNR, BESTNR) VALUES (100, NULL), (200, 1), (300, NULL);\n"
        "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, LINJE_EIER) VALUES"
        "  (1, 100, 'U', 0), (2, 100, 'O', 1), (3, 200, 'U', 0), (4, 200, 'O', 3),"
        "  (5, 300, 'U', 0), (6, 300, 'O', 5);\n");
    timeOuts_.setClock([this] { return now_; });
    timeOuts_.setLog([this](const QString& line) { log_ << line; });
  }

  void Register(const char* refnr, const char* timeOut) {
    ASSERT_TRUE(timeOuts_.SetTimeOut(QStringLiteral("*"), QString::fromLatin1(refnr),
                                     QString::fromLatin1(timeOut)));
  }
  QStringList Registered() {
    QStringList numbers;
    for (const TimeOutRecord& record : timeOuts_.entries()) numbers << record.refnr;
    return numbers;
  }
  QString Bookings() { return Scalar("SELECT group_concat(REFNR) FROM BOOKING"); }

  QTemporaryDir dir_;
  TimeOutRegister timeOuts_{dir_.path()};
  QDateTime now_ = kSweepNow;
  QStringList log_;
};

TEST_F(ExpirySweepTest, CancelsExpiredReservationsAndFreesTheirEntries) {
  Register("100", "60");
  Register("200", "60");
  Register("300", "900");
  Register("400", "60");  // cancelled by the web shop already: no booking left
  Register("abc", "60");  // not a booking's number at all
  now_ = kSweepNow.addSecs(61);

  EXPECT_EQ(CheckTimeOuts(timeOuts_, context_), 4);
  // The reservation is gone with its lines; the booking with a booker keeps its rows unmarked.
  EXPECT_EQ(Bookings(), "200,300");
  EXPECT_EQ(Scalar("SELECT group_concat(LINJENR) FROM LEIE"), "3,4,5,6");
  EXPECT_EQ(Scalar("SELECT IFNULL(AVBESTILT, 0) FROM BOOKING WHERE REFNR = 200"), "0");
  EXPECT_EQ(Registered(), (QStringList{"", "", "300", "", ""}));
  ASSERT_EQ(log_.size(), 4);
  EXPECT_TRUE(log_[0].contains(u"100 cancelled")) << log_[0].toStdString();
  EXPECT_TRUE(log_[1].contains(u"200 has no unconfirmed booking")) << log_[1].toStdString();

  now_ = kSweepNow.addSecs(901);
  EXPECT_EQ(CheckTimeOuts(timeOuts_, context_), 1);
  EXPECT_EQ(Bookings(), "200");
}

TEST_F(ExpirySweepTest, FailedCancellationIsTriedAgainAtTheNextSweep) {
  Register("100", "60");
  now_ = kSweepNow.addSecs(61);
  HideTable("BOOKING");
  EXPECT_EQ(CheckTimeOuts(timeOuts_, context_), 1);
  EXPECT_EQ(Registered(), QStringList{"100"});
  ASSERT_EQ(log_.size(), 1);
  EXPECT_TRUE(log_[0].contains(u"-1001")) << log_[0].toStdString();

  RestoreTable("BOOKING");
  EXPECT_EQ(CheckTimeOuts(timeOuts_, context_), 1);
  EXPECT_EQ(Registered(), QStringList{""});
  EXPECT_EQ(Bookings(), "200,300");
}

}  // namespace
}  // namespace taurelin
