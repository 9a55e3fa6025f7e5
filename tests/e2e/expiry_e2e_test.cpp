// Reservations that the web shop leaves without booker details expire by themselves: while
// the server runs, and also when their time passed while it was stopped. A reservation that
// got its booker details never does.

#include "demo_requests.h"
#include "server_process.h"

#include "expiry/timeout_register.h"
#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QThread>

namespace taurelin {
namespace {

const QString kStay = QStringLiteral("ANLEGGSNR;UTYPE;UTL_OBJ;PENSJONSTYPE;ANKOMST;AVREISE");

class ExpiryTest : public ::testing::Test {
 protected:
  void Start(const QStringList& arguments = {}) {
    ASSERT_TRUE(server_.start(arguments)) << server_.standardError().toStdString();
  }

  QString Ask(const QByteArray& request) {
    auto client = server_.connect();
    client->write(request);
    const QList<QByteArray> answers = ReadAnswers(*client, 1, 10000);
    return answers.isEmpty() ? QString() : Reply(answers.first());
  }

  // Units of type 1 at facility 1 free for the stay that the reservations take.
  int Free() {
    const QString reply =
        Ask(Request("l", kStay, "LEDIG;1;1;*;1;" + Day(40) + ";" + Day(42)));
    return ReplyEnvelope::GetReplyValue(reply, QStringLiteral("LEDIG")).toInt();
  }

  // A new reservation of one unit for that stay; its reference number.
  QString Reserve(int timeOutSeconds) {
    const QString reply =
        Ask(Request("r",
                    QStringLiteral("ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;"
                                   "ANT_PERSONER;AGENT;PRIS;REFNR;TIMEOUT"),
                    QStringLiteral("RESERVER;1;1;*;%1;%2;1;1;2;1;;*;%3")
                        .arg(Day(40), Day(42))
                        .arg(timeOutSeconds)));
    EXPECT_TRUE(reply.startsWith(u"&count=1&")) << reply.toStdString();
    return ReplyEnvelope::GetReplyValue(reply, QStringLiteral("REFNR"));
  }

  bool Exists(const QString& refnr) {
    return Ask(Request("h", "REFNR", "HENTBOOK;" + refnr)).startsWith(u"&count=1&");
  }

  // Whether HENTBOOK comes to answer that the booking is gone within `ms`.
  bool CancelledWithin(const QString& refnr, int ms) {
    QDeadlineTimer deadline(ms);
    do {
      if (Ask(Request("h", "REFNR", "HENTBOOK;" + refnr)).contains(u"'-1001'")) return true;
      QThread::msleep(200);
    } while (!deadline.hasExpired());
    return false;
  }

  bool Registered(const QString& refnr) {
    for (const TimeOutRecord& record : TimeOutRegister(server_.workingDirectory()).entries()) {
      if (record.refnr == refnr) return true;
    }
    return false;
  }

  ServerProcess server_{true};
};

TEST_F(ExpiryTest, ExpiredReservationIsCancelledAndItsUnitsAreFreeAgain) {
  Start({QStringLiteral("--sweep-interval"), QStringLiteral("1")});
  const int free = Free();
  ASSERT_GT(free, 0);
  const QString refnr = Reserve(2);
  EXPECT_EQ(Free(), free - 1);
  EXPECT_TRUE(Exists(refnr));
  EXPECT_TRUE(Registered(refnr));

  EXPECT_TRUE(CancelledWithin(refnr, 10000));
  EXPECT_EQ(Free(), free);
  EXPECT_FALSE(Registered(refnr));
  EXPECT_TRUE(server_.logMessages().contains("Time-out : reservation " + refnr + " cancelled"));
}

TEST_F(ExpiryTest, ReservationWithBookerDetailsIsNeverCancelled) {
  Start({QStringLiteral("--sweep-interval"), QStringLiteral("1")});
  const QString booked = Reserve(1);
  const QString reply = Ask(Request(
      "b",
      QStringLiteral("REFNR;AGENT;NASJON;ENAVN;FNAVN;ADRESSE1;ADRESSE2;POSTNR;POSTSTED;TELEFON;"
                     "FAKS;EPOST;ANMERKNING"),
      "BOOKING;" + booked +
          ";1;NORGE;Nordmann;Kari;Storgata 1;;150;Oslo;12345678;;kari@example.no;"));
  ASSERT_TRUE(reply.startsWith(u"&count=")) << reply.toStdString();
  ASSERT_FALSE(reply.contains(u"&errorcode=")) << reply.toStdString();
  EXPECT_FALSE(Registered(booked));

  // A reservation made later expires no earlier: once the sweep has cancelled it, it has
  // also passed the booked one.
  const QString unbooked = Reserve(1);
  EXPECT_TRUE(CancelledWithin(unbooked, 10000));
  EXPECT_TRUE(Exists(booked));
}

TEST_F(ExpiryTest, ReservationThatExpiredWhileTheServerWasStoppedIsCancelledAfterTheRestart) {
  Start();
  const int free = Free();
  const QString refnr = Reserve(2);
  ASSERT_EQ(server_.stop(), 0) << server_.standardError().toStdString();
  // The first sweep, a second after start-up, came before this expiry.
  EXPECT_TRUE(Registered(refnr));
  // Now the expiry's second has passed.
  QThread::msleep(3100);

  // The next sweep is a minute away: only the first sweep after start-up can cancel it.
  Start();
  EXPECT_TRUE(CancelledWithin(refnr, 10000));
  EXPECT_EQ(Free(), free);
}

}  // namespace
}  // namespace taurelin
