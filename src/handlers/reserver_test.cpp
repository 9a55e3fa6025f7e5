#include "handlers/reserver.h"

#include "handlers/protocol_dates.h"
#include "handlers/stay_test_fixture.h"
#include "store/connection.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

namespace taurelin {
namespace {

const QString kReserverHeader = QStringLiteral(
    "&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;AVREISE;PENSJONSTYPE;ANTALL;"
    "ANT_PERSONER;AGENT;REFNR;PRIS;TOTALPRIS;TIMEOUT&data=");

class ReserverTest : public StayTest {
 protected:
  struct Request {
    QString facility = QStringLiteral("1");
    QString type = QStringLiteral("5");
    QString object = QStringLiteral("*");
    QString arrival = QStringLiteral("2000.04.08");
    QString departure = QStringLiteral("2000.04.14");
    QString board = QStringLiteral("1");
    QString units = QStringLiteral("1");
    QString persons = QStringLiteral("2");
    QString agent = QStringLiteral("7");
    QString price;
    QString refnr = QStringLiteral("*");
    QString timeout = QStringLiteral("600");
  };
  QString Reserve(const Request& r) {
    return Call(&HandleReserver, {{"ANLEGGSNR", r.facility}, {"UTYPE", r.type},
                                  {"UTL_OBJ", r.object},     {"ANKOMST", r.arrival},
                                  {"AVREISE", r.departure},  {"PENSJONSTYPE", r.board},
                                  {"ANTALL", r.units},       {"ANT_PERSONER", r.persons},
                                  {"AGENT", r.agent},        {"PRIS", r.price},
                                  {"REFNR", r.refnr},        {"TIMEOUT", r.timeout}});
  }
  static QString Error(const char* code, const QString& message) {
    return "&count=0" + kReserverHeader + "&errorcode='" + QLatin1String(code) + "'&errormessage=" +
           message;
  }
};

TEST_P(ReserverTest, WritesTheHeaderAndBothLines) {
  EXPECT_EQ(Reserve({}), "&count=1" + kReserverHeader +
                             "RESERVER;0;5; ;2000.04.08;2000.04.14; ;1;2;7;1;5400;0;600");
  EXPECT_EQ(Rows("SELECT REFNR, ANLEGGSNR, FORETAKSNR, FORMAL, REG_DATO, AKODE, BESTNR, BEKREFT,"
                 " OPPR_AV, AGENT_KONTAKT FROM BOOKING"),
            "1|1|10|0|" + QDate::currentDate().toString(u"dd.MM.yyyy") + "|7|null|B|0|null");
  // The rental-type line owns the object line, which is the one that occupies units. The
  // price type comes from the first fitting price (nightly: D), the price from the last.
  EXPECT_EQ(Rows("SELECT LINJENR, REFNR, LEIETYPE, LINJE_EIER, UTYPE, ANLEGG, ANKOMST, AVREISE,"
                 " ANTALL, ANT_VOKSEN, ANT_BARN, ANT_GRATIS, A_PRIS, PENSJON, PRISKODE, PRISTYPE,"
                 " STATKODE, OBJNR, TIL, ETTER, RABATT, FAKT_STAT, FRITEKST FROM LEIE"
                 " ORDER BY LINJENR"),
            "1|1|U|0|5|1|08.04.2000|14.04.2000|1|2|0|0|5400|1|52|D|H|null|null|null|null|null|"
            " / 2|1|O|1|5|1|08.04.2000|14.04.2000|1|2|0|0|5400|1|52|D|H|0|M|F|0||null");
}

TEST_P(ReserverTest, ExactlyTheFreeUnitsAndNotOneMore) {
  Request r;
  r.units = QStringLiteral("6");
  EXPECT_TRUE(Reserve(r).startsWith(u"&count=1"));
  r.units = QStringLiteral("4");
  EXPECT_TRUE(Reserve(r).startsWith(u"&count=1"));
  const QString before = Fingerprint();
  r.units = QStringLiteral("1");
  EXPECT_EQ(Reserve(r),
            Error("-2065", QStringLiteral("Overbooking. Utleieobjekt er ikke reservert.")));
  EXPECT_EQ(Fingerprint(), before);
  // Another stay of the same units is free again.
  r.arrival = QStringLiteral("2000.04.14");
  r.departure = QStringLiteral("2000.04.16");
  EXPECT_TRUE(Reserve(r).startsWith(u"&count=1"));
}

// A count below one, or fewer than no persons, would store a line that gives units back:
// the next reservations could then sell more than there are.
TEST_P(ReserverTest, ALineWrittenByAnotherProgramCountsAtTheNextReservation) {
  Request r;
  EXPECT_TRUE(Reserve(r).startsWith(u"&count=1"));
  // Nine of the ten units, taken by plain SQL on another connection.
  Run("INSERT INTO BOOKING (REFNR) VALUES (900);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (900, 900, 'O', '2000-04-13', '2000-04-20', 5, 1, 9);\n");
  EXPECT_TRUE(Reserve(r).contains(u"'-2065'"));
  Run("UPDATE LEIE SET ANTALL = 8 WHERE LINJENR = 900;\n");
  EXPECT_TRUE(Reserve(r).startsWith(u"&count=1"));
}

TEST_P(ReserverTest, UnitCountsBelowOneAndNegativePersonsAreRefused) {
  const QString before = Fingerprint();
  const QString refused =
      Error("-2066", QStringLiteral("Kan ikke generere bookinglinjer på bestillingen."));
  for (const char* units : {"-5", "0", "-0"}) {
    Request r;
    r.units = QLatin1String(units);
    EXPECT_EQ(Reserve(r), refused) << units;
  }
  Request r;
  r.persons = QStringLiteral("-3");
  EXPECT_EQ(Reserve(r), refused);
  EXPECT_EQ(Fingerprint(), before);
  // All ten units are still there to sell, and no more.
  r = {};
  r.units = QStringLiteral("10");
  r.persons = QStringLiteral("0");
  EXPECT_TRUE(Reserve(r).startsWith(u"&count=1"));
  r.units = QStringLiteral("1");
  EXPECT_TRUE(Reserve(r).contains(u"'-2065'"));
}

TEST_P(ReserverTest, AddsToAnExistingBookingAndKeepsItsBooker) {
  Run("INSERT INTO BESTILL (BESTNR, ENAVN) VALUES (40, 'Nordmann');\n"
      "INSERT INTO BOOKING (REFNR, BESTNR, ANM, STATUS, REG_DATO, AGENT_KONTAKT, AKODE)"
      "  VALUES (77, 40, 'Sen ankomst', 3, '1999-12-24', 5, 1);\n");
  Request r;
  r.refnr = QStringLiteral("77");
  EXPECT_EQ(Reserve(r), "&count=1" + kReserverHeader +
                            "RESERVER;0;5; ;2000.04.08;2000.04.14; ;1;2;7;77;5400;0;600");
  EXPECT_EQ(Rows("SELECT BESTNR, ANM, STATUS, REG_DATO, AGENT_KONTAKT FROM BOOKING"
                 " WHERE REFNR = 77"),
            "40|Sen ankomst|3|24.12.1999|5");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM LEIE WHERE REFNR = 77"), "2");
  r.refnr = QStringLiteral("077.0");  // answered as the request names the booking
  EXPECT_TRUE(Reserve(r).contains(u";7;077.0;5400;0;600"));
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM LEIE WHERE REFNR = 77"), "4");

  r.refnr = QStringLiteral("78");
  EXPECT_EQ(Reserve(r), Error("-2063", QStringLiteral("Finner ingen bestilling med dette "
                                                      "referansenummeret [refnr: 78].")));
  r.refnr = QStringLiteral("7 OR 1=1");
  EXPECT_EQ(Reserve(r),
            Error("-2064", QStringLiteral("Kan ikke åpne bookingen [refnr: 7 OR 1=1].")));
}

TEST_P(ReserverTest, TheWeekdayAndTheLongerMinimumStayWin) {
  Request r;
  r.arrival = QStringLiteral("2000.04.10");  // a Monday: only the any-day price fits board 1
  r.departure = QStringLiteral("2000.04.12");
  EXPECT_TRUE(Reserve(r).contains(u";2000;0;600")) << Reserve(r).toStdString();
  r.board = QStringLiteral("2");
  r.arrival = QStringLiteral("2000.04.08");
  r.departure = QStringLiteral("2000.04.15");  // seven nights: the week price
  EXPECT_TRUE(Reserve(r).contains(u";6000;0;600"));
  r.departure = QStringLiteral("2000.04.14");  // six nights: the nightly price
  EXPECT_TRUE(Reserve(r).contains(u";7200;0;600"));
}

TEST_P(ReserverTest, RefusalsInOrder) {
  Request r;
  r.facility = QStringLiteral("-1");  // a booking needs a real facility
  EXPECT_EQ(Reserve(r), Error("-1002", QStringLiteral("Ugyldig anlegg (-1).")));
  r.facility = QStringLiteral("x");
  EXPECT_EQ(Reserve(r), Error("-1002", QStringLiteral("Ugyldig anlegg (x).")));
  r = {};
  r.object = QStringLiteral("12");
  EXPECT_TRUE(Reserve(r).contains(u"'-2051'"));
  r = {};
  r.agent = QStringLiteral("3");
  EXPECT_EQ(Reserve(r), Error("-1006", QStringLiteral("Ugyldig agent (3).")));
  r = {};
  r.type = QStringLiteral("*");
  EXPECT_EQ(Reserve(r), Error("-2054", QStringLiteral("Utleietype må oppgis ved reservasjon via "
                                                      "Taurelin API.")));
  r = {};
  r.type = QStringLiteral("9");
  EXPECT_EQ(Reserve(r), Error("-1003", QStringLiteral("Ugyldig utleietype (9).")));
  r = {};
  r.board = QStringLiteral("3");
  EXPECT_EQ(Reserve(r), Error("-xxxx", QStringLiteral("Ugyldig Pris.")));
  // A facility without a row passes its check and finds no capacity.
  r = {};
  r.facility = QStringLiteral("3");
  EXPECT_TRUE(Reserve(r).contains(u"'-2065'"));
}

TEST_P(ReserverTest, ValuesThatDoNotConvertFailTheRequest) {
  Request r;
  r.price = QStringLiteral("abc");
  EXPECT_THROW(Reserve(r), ConversionError);
  r.price = QStringLiteral("123");
  EXPECT_TRUE(Reserve(r).startsWith(u"&count=1"));
  r = {};
  r.board = QString();
  EXPECT_THROW(Reserve(r), ConversionError);
  r = {};
  r.arrival = QStringLiteral("2000.4.8");
  EXPECT_THROW(Reserve(r), ConversionError);
}

TEST_P(ReserverTest, HostileValuesChangeNothing) {
  const QString before = Fingerprint();
  for (const QString& hostile : HostileValues()) {
    for (int field = 0; field < 4; ++field) {
      Request r;
      QString* target[] = {&r.facility, &r.agent, &r.type, &r.refnr};
      *target[field] = hostile;
      QString answer;
      try {
        answer = Reserve(r);
      } catch (const ConversionError&) {
        continue;  // the request's failure: nothing written either
      }
      EXPECT_TRUE(answer.contains(u"&errorcode=")) << field << " " << hostile.toStdString();
    }
  }
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(ReserverTest, FailedLineWriteLeavesNothing) {
  Refuse("NO_OBJECT_LINES", "BEFORE INSERT ON LEIE", "NEW.LEIETYPE = 'O'");
  const QString before = Fingerprint();
  EXPECT_EQ(Reserve({}), Error("-2066", QStringLiteral("Kan ikke generere bookinglinjer på "
                                                       "bestillingen.")));
  EXPECT_EQ(Fingerprint(), before);
}

// The hold's time-out is registered while its booking is still uncommitted, so a server
// stopped between the two never leaves a held booking that nothing expires; a register that
// cannot be written keeps the reservation from being kept at all.
TEST_P(ReserverTest, RegistersItsTimeOutBeforeTheBookingIsCommitted) {
  // Bookings as another connection sees them: none before the commit.
  Connection other{QStringLiteral("other_reader")};
  QString error;
  ASSERT_TRUE(other.open(postgres() ? postgres_->alias() : sqlite_->alias(), &error));
  QStringList registered;
  context_.registerTimeOut = [&](const QString& requestRefnr, const QString& refnr,
                                 const QString& timeOut) {
    QSqlQuery count(other.database());
    count.exec(QStringLiteral("SELECT COUNT(*) FROM BOOKING"));
    registered << requestRefnr + u'|' + refnr + u'|' + timeOut + u'|' +
                      (count.next() ? count.value(0).toString() : QString());
  };
  EXPECT_TRUE(Reserve({}).startsWith(u"&count=1"));
  EXPECT_EQ(registered, QStringList{"*|1|600|0"});
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING"), "1");

  context_.registerTimeOut = [](const QString&, const QString&, const QString&) {
    throw std::runtime_error("disk full");
  };
  const QString before = Fingerprint();
  EXPECT_EQ(Reserve({}), Error("-2066", QStringLiteral("Kan ikke generere bookinglinjer på "
                                                       "bestillingen.")));
  EXPECT_EQ(Fingerprint(), before);
}

// Another server reserves the last units and still holds its lock while it writes: this
// reservation waits for it and then finds nothing free, instead of counting before that
// write is committed and selling the units again.
TEST_P(ReserverTest, WaitsForAnotherServersReservationOfTheSameUnits) {
  const DatabaseAlias alias = postgres() ? postgres_->alias() : sqlite_->alias();
  const bool pg = postgres();
  std::promise<bool> written;
  std::future<bool> writtenFuture = written.get_future();
  bool committed = false;
  std::thread other([&] {
    Connection connection{QStringLiteral("other_server")};
    {
      QString error;
      bool ok = connection.open(alias, &error);
      QSqlQuery query(connection.database());
      ok = ok && query.exec(QLatin1String(pg ? "BEGIN" : "BEGIN IMMEDIATE"));
      ok = ok && (!pg || query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(1, 5)")));
      ok = ok && query.exec(QStringLiteral("INSERT INTO BOOKING (REFNR) VALUES (900)"));
      ok = ok && query.exec(QStringLiteral(
                     "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, LINJE_EIER, UTYPE, ANLEGG, "
                     "ANKOMST, AVREISE, ANTALL) VALUES (900, 900, 'O', 0, 5, 1, '2000-04-08', "
                     "'2000-04-14', 10)"));
      written.set_value(ok);
      if (ok) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        committed = query.exec(QStringLiteral("COMMIT"));
      }
      query.finish();
    }
  });
  const bool ready = writtenFuture.get();
  const QString reply = ready ? Reserve({}) : QString();
  other.join();
  ASSERT_TRUE(ready);
  EXPECT_TRUE(committed);
  EXPECT_EQ(reply, Error("-2065", QStringLiteral("Overbooking. Utleieobjekt er ikke reservert.")));
}

INSTANTIATE_TEST_SUITE_P(Backends, ReserverTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
