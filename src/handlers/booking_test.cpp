#include "handlers/booking.h"

#include "handlers/avbestill.h"
#include "handlers/bekreft.h"
#include "handlers/conventions.h"
#include "handlers/handler_test_fixture.h"
#include "store/booking_events.h"
#include "store/statement.h"
#include "protocol/reply_envelope.h"

#include <gtest/gtest.h>

namespace taurelin {
namespace {

const QString kBookingHeader = QStringLiteral("&header=INSTRUKSJON;REFNR;TOTALPRIS&data=");
const QString kBooked = "&count=1" + kBookingHeader + "BOOKING;100;0";

QString Failure(const char* code, const QString& message) {
  return "&count=0" + kBookingHeader + "&errorcode='" + QLatin1String(code) +
         "'&errormessage=" + message;
}

// The error code a reply carries, "" for none.
QString ErrorCode(const QString& reply) {
  const qsizetype start = reply.indexOf(u"&errorcode='");
  if (start < 0) return {};
  const qsizetype from = start + 12;
  return reply.mid(from, reply.indexOf(u'\'', from) - from);
}

// A complete request for booking 100, by agent 5.
const std::pair<const char*, const char*> kRequest[] = {
    {"REFNR", "100"},          {"AGENT", "5"},
    {"NASJON", "GB"},          {"ENAVN", "Hansen"},
    {"FNAVN", "Kari"},         {"ADRESSE1", "Storgata 1"},
    {"ADRESSE2", "Leil. 2"},   {"POSTNR", "5003"},
    {"POSTSTED", "Bergen"},    {"TELEFON", "55 00 00 00"},
    {"FAKS", "55 00 00 01"},   {"EPOST", "kari@example.no"},
    {"ANMERKNING", "Sen ankomst"},
    {"BET_TYPE", "VISA"},      {"REGISTER", "J"},
    {"GYLDIG_TIL", "2030.12.31"}, {"KREDITKORTNR", "4111111111111111"},
    {"KREDITKORTTYPE", "VISA"}};

// Booking 100 waits for its booker; booking 300 and its booker 1 are bystanders that no
// request here may touch. Booker numbers are handed out from 11 on.
class BookingTest : public HandlerTest {
 protected:
  BookingTest() {
    Run("INSERT INTO NASJON (NKODE, NAVN) VALUES ('N', 'Norge'), ('GB', 'Storbritannia');\n"
        "INSERT INTO BESTILL (BESTNR, ENAVN) VALUES (1, 'Nordmann');\n"
        "INSERT INTO BOOKING (REFNR) VALUES (100);\n"
        "INSERT INTO BOOKING (REFNR, AKODE, BESTNR) VALUES (300, 4, 1);\n"
        "UPDATE TELLER SET VERDI = 10 WHERE NAVN = 'BESTNR';\n");
  }

  // The request above with some values changed.
  QString Book(std::initializer_list<std::pair<const char*, QString>> changes = {}) {
    InstructionValues row;
    for (const auto& [column, value] : kRequest) row.set(QLatin1String(column), value);
    for (const auto& [column, value] : changes) row.set(QLatin1String(column), value);
    return ReplyEnvelope::Write(HandleBooking(row, context_));
  }

  QString Query(const QString& sql) { return Scalar(sql.toUtf8().constData()); }
  // A booking's agent and booker, "AKODE:BESTNR".
  QString Link(int refnr) {
    return Query(QStringLiteral("SELECT COALESCE(CAST(AKODE AS TEXT), '') || ':' || "
                                "COALESCE(CAST(BESTNR AS TEXT), '') FROM BOOKING WHERE REFNR = %1")
                     .arg(refnr));
  }
  // A booker's stored columns, "|"-separated, NULL as "".
  QString Booker(const QString& bestnr) {
    return Query(QStringLiteral(
        "SELECT COALESCE(ENAVN, '') || '|' || COALESCE(FNAVN, '') || '|' || COALESCE(ADR, '') "
        "|| '|' || COALESCE(POSTNR, '') || '|' || COALESCE(POSTSTED, '') || '|' "
        "|| COALESCE(NKODE, '') || '|' || COALESCE(TLF, '') || '|' || COALESCE(FAX, '') || '|' "
        "|| COALESCE(MAIL, '') || '|' || COALESCE(ANM, '') FROM BESTILL WHERE BESTNR = %1")
                     .arg(bestnr));
  }
  // One stored column of the booker that booking 100 points at.
  QString Stored(const char* column) {
    return Query(QStringLiteral("SELECT %1 FROM BESTILL WHERE BESTNR = "
                                "(SELECT BESTNR FROM BOOKING WHERE REFNR = 100)")
                     .arg(QLatin1String(column)));
  }
  void ExpectBystandersUntouched() {
    EXPECT_EQ(Link(300), "4:1");
    EXPECT_EQ(Booker(QStringLiteral("1")), "Nordmann|||||||||");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING"), "2");
  }
};

TEST_P(BookingTest, SuccessStoresTheBookerAndLinksTheBooking) {
  EXPECT_EQ(Book(), kBooked);
  EXPECT_EQ(Booker(QStringLiteral("11")),
            "Hansen|Kari|Storgata 1 Leil. 2|5003|Bergen|GB|55 00 00 00|55 00 00 01|"
            "kari@example.no|Sen ankomst");
  EXPECT_EQ(Link(100), "5:11");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BESTILL"), "2");
  ExpectBystandersUntouched();

  // The second address line may be empty; the blank between the lines stays.
  EXPECT_EQ(Book({{"ADRESSE2", ""}}), kBooked);
  EXPECT_EQ(Stored("ADR"), "Storgata 1 ");

  // A postcode keeps its leading zero.
  EXPECT_EQ(Book({{"POSTNR", "0150"}}), kBooked);
  EXPECT_EQ(Stored("POSTNR"), "0150");
}

TEST_P(BookingTest, EveryBookingCreatesANewBookerAndTheBookingTakesTheNewer) {
  EXPECT_EQ(Book(), kBooked);
  EXPECT_EQ(Book({{"ENAVN", "Olsen"}, {"AGENT", "6"}}), kBooked);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BESTILL"), "3");
  EXPECT_EQ(Link(100), "6:12");
  EXPECT_EQ(Stored("ENAVN"), "Olsen");
  EXPECT_TRUE(Booker(QStringLiteral("11")).startsWith(u"Hansen|"));
}

// What the booking's change calls for is told inside its transaction: what it throws (an
// outbox that cannot be written) undoes the booking, never a booking without its mail.
TEST_P(BookingTest, ItsEventsAreToldInsideTheTransactionAndAFailureUndoesIt) {
  struct Recorder : BookingEvents {
    QStringList told;
    bool fail = false;
    void BookerAttached(Connection& connection, qint64 refnr, bool first,
                        const QString& language) override {
      // Inside the transaction: the new link is there to be read.
      Statement s(connection);
      s.add(QStringLiteral("SELECT BESTNR FROM BOOKING WHERE REFNR = :REFNR"));
      s.bindInteger(QStringLiteral("REFNR"), refnr);
      s.run();
      told << QStringLiteral("attached %1 %2 %3 %4")
                  .arg(refnr)
                  .arg(first ? "first" : "again", language)
                  .arg(s.next() ? s.text(QStringLiteral("BESTNR")) : QString());
      if (fail) throw DatabaseError(QStringLiteral("disk full"));
    }
    void UnitsAdded(Connection&, qint64 refnr) override { told << QString::number(refnr); }
    void Cancelled(Connection&, qint64 refnr) override {
      told << QStringLiteral("cancelled %1").arg(refnr);
      if (fail) throw DatabaseError(QStringLiteral("disk full"));
    }
  } events;
  context_.events = &events;
  context_.language = QStringLiteral("en");
  EXPECT_EQ(Book(), kBooked);
  EXPECT_EQ(Book({{"ENAVN", "Olsen"}}), kBooked);
  EXPECT_EQ(events.told, QStringList({"attached 100 first en 11", "attached 100 again en 12"}));

  events.fail = true;
  const QString before = Fingerprint();
  EXPECT_FALSE(ErrorCode(Book({{"ENAVN", "Berg"}})).isEmpty());
  EXPECT_EQ(Link(100), "5:12");  // the second booker still
  InstructionValues cancel;
  cancel.set(QLatin1String("REFNR"), QStringLiteral("100"));
  EXPECT_FALSE(ErrorCode(ReplyEnvelope::Write(HandleAvbestill(cancel, context_))).isEmpty());
  EXPECT_EQ(Fingerprint(), before);
  events.fail = false;
  EXPECT_TRUE(ErrorCode(ReplyEnvelope::Write(HandleAvbestill(cancel, context_))).isEmpty());
  EXPECT_EQ(events.told.last(), "cancelled 100");
  EXPECT_EQ(Scalar("SELECT AVBESTILT FROM BOOKING WHERE REFNR = 100"), "1");
}

// With confirmation by mail, a guest's booker is written but the booking stays a hold until
// the key of the latest mail confirms it, once; an unconfirmed one runs out as any hold.
TEST_P(BookingTest, AGuestsBookerAwaitsTheKeyOfItsMailAndTheKeyConfirmsOnce) {
  struct Recorder : BookingEvents {
    QStringList told;
    QString key;
    void ConfirmationAwaited(Connection&, qint64 refnr, qint64 bestnr, const QString& language,
                             const QString& sent, const std::optional<QDateTime>&) override {
      told << QStringLiteral("awaits %1 %2 %3").arg(refnr).arg(bestnr).arg(language);
      key = sent;
    }
    void BookerAttached(Connection&, qint64 refnr, bool first,
                        const QString& language) override {
      told << QStringLiteral("attached %1 %2 %3")
                  .arg(refnr)
                  .arg(first ? "first" : "again", language);
    }
    void UnitsAdded(Connection&, qint64) override {}
    void Cancelled(Connection&, qint64 refnr) override {
      told << QStringLiteral("cancelled %1").arg(refnr);
    }
  } events;
  QStringList extended;
  context_.events = &events;
  context_.language = QStringLiteral("en");
  context_.confirmSeconds = 1800;
  context_.extendHold = [&extended](const QString& refnr, int seconds) {
    extended << QStringLiteral("%1+%2").arg(refnr).arg(seconds);
    return std::optional<QDateTime>(QDateTime::currentDateTime());
  };
  const auto confirm = [this](const QString& refnr, const QString& key) {
    return ErrorCode(Call(&HandleBekreft, {{"REFNR", refnr}, {"NOKKEL", key}}));
  };

  EXPECT_EQ(Book(), kBooked);  // the answer reads as any booker's
  EXPECT_EQ(Link(100), ":");   // not linked: a hold to every program
  EXPECT_EQ(Store(context_).State(100), BookingState::kHeld);
  const QString firstKey = events.key;
  // New details: a new booker and key; the hold is kept longer only the first time.
  EXPECT_EQ(Book({{"ENAVN", "Olsen"}}), kBooked);
  EXPECT_EQ(extended, QStringList({"100+1800", "100+0"}));
  EXPECT_EQ(events.told, QStringList({"awaits 100 11 en", "awaits 100 12 en"}));
  EXPECT_NE(events.key, firstKey);
  EXPECT_GE(events.key.size(), 24);
  // Only a digest of the key is kept.
  EXPECT_EQ(Query(QStringLiteral("SELECT COUNT(*) FROM BEKREFT_VENTER WHERE NOKKEL = '%1'")
                      .arg(events.key)),
            "0");

  EXPECT_EQ(confirm(QStringLiteral("100"), firstKey), "invalid_token");
  EXPECT_EQ(confirm(QStringLiteral("100"), QString()), "invalid_token");
  EXPECT_EQ(confirm(QStringLiteral("300"), events.key), "not_awaiting");
  EXPECT_EQ(Link(100), ":");
  EXPECT_EQ(confirm(QStringLiteral("100"), events.key), "");
  EXPECT_EQ(Link(100), "5:12");
  EXPECT_EQ(Stored("ENAVN"), "Olsen");
  EXPECT_EQ(events.told.last(), "attached 100 first en");
  EXPECT_EQ(confirm(QStringLiteral("100"), events.key), "not_awaiting");
  ExpectBystandersUntouched();

  // One never confirmed runs out as a hold: deleted, without a word to anyone.
  Run("INSERT INTO BOOKING (REFNR) VALUES (101);");
  InstructionValues row;
  for (const auto& [column, value] : kRequest) row.set(QLatin1String(column), value);
  row.set(QLatin1String("REFNR"), QStringLiteral("101"));
  EXPECT_EQ(HandleBooking(row, context_).effect().kind,
            ReplyEffect::Kind::kAwaitingConfirmation);
  const qsizetype told = events.told.size();
  EXPECT_EQ(Store(context_).Cancel(101, CancelScope::kReservationOnly),
            CancelOutcome::kCancelled);
  EXPECT_EQ(Query(QStringLiteral("SELECT COUNT(*) FROM BOOKING WHERE REFNR = 101")), "0");
  EXPECT_EQ(confirm(QStringLiteral("101"), events.key), "not_awaiting");
  EXPECT_EQ(events.told.size(), told);
}

TEST_P(BookingTest, NationByCodeAsGivenOrByNameInAnyCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"GB", "GB"}, {"N", "N"},       {"norge", "N"},   {"NORGE", "N"},
      {"Danmark", "DK"}, {"Sverige", "S"}, {"sVeRiGe", "S"}};
  for (const auto& [nation, code] : cases) {
    EXPECT_EQ(Book({{"NASJON", nation}}), kBooked) << nation;
    EXPECT_EQ(Stored("NKODE"), code) << nation;
  }
}

TEST_P(BookingTest, UnknownOrUnreadableNationWritesNothing) {
  const QString before = Fingerprint();
  // Codes match exactly and names are not trimmed; only a-z are made capital.
  for (const char* nation : {"XX", "", "gb", "Norge ", " DK", "NORGÉ", "Dänmark"}) {
    EXPECT_EQ(Book({{"NASJON", QString::fromUtf8(nation)}}),
              Failure("-2081", QStringLiteral("Ikke gyldig nasjonskode.")))
        << nation;
  }
  HideTable("NASJON");
  EXPECT_EQ(Book(), Failure("-2082", QStringLiteral("Kan ikke lese nasjonskoder.")));
  RestoreTable("NASJON");
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(BookingTest, ReferenceMustNameABooking) {
  const QString before = Fingerprint();
  EXPECT_EQ(Book({{"REFNR", "999"}}),
            Failure("-1001", QStringLiteral("Ugyldig refnr (999). Finnes ikke.")));
  for (const char* refnr : {"abc", "", "1e2"}) {
    EXPECT_EQ(Book({{"REFNR", refnr}}),
              Failure("-1001", "Ugyldig refnr (" + QString::fromLatin1(refnr) +
                                   "). Ugyldig nummerisk verdi."))
        << refnr;
  }
  EXPECT_EQ(Fingerprint(), before);
}

// The three writes stand or fall together: whichever fails, the reply carries that error
// alone and the database is as before.
TEST_P(BookingTest, FailedDetailsKeepNoBookerAndNoLink) {
  const QString before = Fingerprint();
  EXPECT_EQ(Book({{"POSTNR", ""}}),
            Failure("-2089", QStringLiteral("Kan ikke oppdatere informasjon for bestiller 11.")));
  EXPECT_EQ(Fingerprint(), before);
  for (const char* postcode : {"abc", "50 03", " "}) {
    EXPECT_EQ(ErrorCode(Book({{"POSTNR", postcode}})), "-2089") << postcode;
  }
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Link(100), ":");
}

TEST_P(BookingTest, FailedLinkKeepsNoBooker) {
  const QString before = Fingerprint();
  const QString notLinked = Failure("-2087", QStringLiteral("Kan ikke åpne bookingen."));
  // The agent goes in as a number: an empty one fails the link.
  EXPECT_EQ(Book({{"AGENT", ""}}), notLinked);
  Refuse("BOOKING_LOCKED", "BEFORE UPDATE ON BOOKING");
  EXPECT_EQ(Book(), notLinked);
  // An update that changes no booking (one cancelled in between) is no link either.
  Allow("BOOKING_LOCKED", "BOOKING");
  Refuse("BOOKING_GONE", "BEFORE UPDATE ON BOOKING", "TRUE", /*skip=*/true);
  EXPECT_EQ(Book(), notLinked);
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BESTILL"), "1");
}

TEST_P(BookingTest, NoNewBookerNumberMeansNoBooker) {
  const QString notCreated = Failure("-2088", QStringLiteral("Kan ikke opprette ny bestiller."));
  // A number that is already taken: the insert fails.
  Run("UPDATE TELLER SET VERDI = 0 WHERE NAVN = 'BESTNR';");
  const QString before = Fingerprint();
  EXPECT_EQ(Book(), notCreated);
  EXPECT_EQ(Fingerprint(), before);
  ExpectBystandersUntouched();
  // No number at all: a failure too, not a reply without a row.
  // SQLite draws from the table TELLER, PostgreSQL through a view on a sequence.
  Run(postgres() ? "DROP VIEW LAGE_BESTNR;" : "DELETE FROM TELLER WHERE NAVN = 'BESTNR';");
  const QString withoutSeries = Fingerprint();
  EXPECT_EQ(Book(), notCreated);
  EXPECT_EQ(Fingerprint(), withoutSeries);
}

TEST_P(BookingTest, HostileTextsAreStoredAsTheyStand) {
  const std::pair<const char*, const char*> stored[] = {
      {"ENAVN", "ENAVN"},     {"FNAVN", "FNAVN"},   {"POSTSTED", "POSTSTED"},
      {"TELEFON", "TLF"},     {"FAKS", "FAX"},      {"EPOST", "MAIL"},
      {"ANMERKNING", "ANM"},  {"ADRESSE1", "ADR"},  {"ADRESSE2", "ADR"}};
  for (const QString& hostile : HostileValues()) {
    for (const auto& [value, column] : stored) {
      ASSERT_EQ(Book({{value, hostile}}), kBooked) << value << " " << hostile.toStdString();
      const QString expected = qstrcmp(value, "ADRESSE1") == 0   ? hostile + " Leil. 2"
                               : qstrcmp(value, "ADRESSE2") == 0 ? "Storgata 1 " + hostile
                                                                 : hostile;
      EXPECT_EQ(Stored(column), expected) << value << " " << hostile.toStdString();
    }
    for (const char* unused : {"BET_TYPE", "REGISTER", "GYLDIG_TIL", "KREDITKORTNR",
                               "KREDITKORTTYPE"}) {
      EXPECT_EQ(Book({{unused, hostile}}), kBooked) << unused << " " << hostile.toStdString();
    }
  }
  ExpectBystandersUntouched();
}

TEST_P(BookingTest, HostileNumbersAndCodesFailAndWriteNothing) {
  const QString before = Fingerprint();
  for (const QString& hostile : HostileValues()) {
    EXPECT_EQ(Book({{"REFNR", hostile}}),
              Failure("-1001", "Ugyldig refnr (" + hostile + "). Ugyldig nummerisk verdi."));
    EXPECT_EQ(ErrorCode(Book({{"AGENT", hostile}})), "-2087") << hostile.toStdString();
    EXPECT_EQ(ErrorCode(Book({{"POSTNR", hostile}})), "-2089") << hostile.toStdString();
    EXPECT_EQ(ErrorCode(Book({{"NASJON", hostile}})), "-2081") << hostile.toStdString();
  }
  EXPECT_EQ(Fingerprint(), before);
}

INSTANTIATE_TEST_SUITE_P(Backends, BookingTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
