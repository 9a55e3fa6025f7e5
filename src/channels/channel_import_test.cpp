#include "channels/channel_import.h"

#include "handlers/stay_test_fixture.h"
#include "store/booking_events.h"
#include "store/booking_store.h"
#include "store/channel_bookings.h"
#include "store/connection.h"
#include "store/data_module.h"

#include <QFile>

#include <thread>

namespace taurelin {
namespace {

// The import's clock in these tests: noon on the first day of 2030.
const QDateTime kNow(QDate(2030, 1, 1), QTime(12, 0));

// On the stay fixture's business, a cabin of its own: type 7, one unit, at facility 1.
class ChannelImportTest : public StayTest {
 protected:
  ChannelImportTest() {
    Run("INSERT INTO UTYPE (UTYPE, KODE, BESKR, ISTAT) VALUES (7, 'H1', 'Hytta', 'HY');\n"
        "INSERT INTO UTLEIEOB (OBJNR, UTYPE, FLOYKODE) VALUES ('C1', 7, 'N1');\n");
    Reconnect();
    feed_.name = QStringLiteral("cabin-platform");
    feed_.url = QUrl(QStringLiteral("https://platform.example/cabin.ics"));
    feed_.facility = 1;
    feed_.type = 7;
    feed_.agent = 7;
  }

  static QByteArray Fixture(const char* name) {
    QFile file(QStringLiteral(TAURELIN_ICAL_FIXTURES "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly)) ADD_FAILURE() << "no fixture " << name;
    return file.readAll();
  }

  ImportResult Import(const char* fixture, const QDateTime& now = kNow) {
    return ImportCalendar(session_, feed_, Fixture(fixture), now, rules_);
  }
  ImportResult ImportText(const QByteArray& calendar, const QDateTime& now) {
    return ImportCalendar(session_, feed_, calendar, now, rules_);
  }
  // A read answered "not modified".
  ImportResult Unchanged(const QDateTime& now) {
    return ConfirmCalendar(session_, feed_, now, rules_);
  }

  // The cabin's free units over the nights from `arrival` to `departure`, as LEDIG counts.
  int Free(const char* arrival, const char* departure) {
    BookingStore& store = session_.store();
    return store
        .Availability(1, {7}, {QDate::fromString(QLatin1String(arrival), Qt::ISODate),
                               QDate::fromString(QLatin1String(departure), Qt::ISODate)})
        .value(0)
        .free;
  }

  // refnr|AVBESTILT|object line's dates and status, per booking.
  QString Bookings() {
    return Rows("SELECT B.REFNR, B.AVBESTILT, L.ANKOMST, L.AVREISE, L.STATUS FROM BOOKING B"
                " JOIN LEIE L ON L.REFNR = B.REFNR AND L.LEIETYPE = 'O' ORDER BY B.REFNR");
  }

  // The reference number of the event's booking; 0 when it has none.
  qint64 RefnrOf(const char* uid) {
    return Scalar(QStringLiteral("SELECT REFNR FROM KANAL_BOOKING WHERE UID = '%1'")
                      .arg(QLatin1String(uid)))
        .toLongLong();
  }
  // refnr:AVBESTILT per booking, as one text.
  QString Cancelled() { return Rows("SELECT REFNR, AVBESTILT FROM BOOKING ORDER BY REFNR"); }

  ChannelFeed feed_;
  RemovalRules rules_;
};

TEST_P(ChannelImportTest, EventsBecomeBookedStaysAndASecondImportChangesNothing) {
  const ImportResult first = Import("reserved_stays.ics");
  EXPECT_EQ(first.events, 3);
  EXPECT_EQ(first.added, 2);
  EXPECT_EQ(first.skipped, 1);  // ended in 2020
  EXPECT_TRUE(first.conflicts.isEmpty());
  EXPECT_EQ(Free("2030-06-10", "2030-06-14"), 0);
  EXPECT_EQ(Free("2030-06-13", "2030-06-14"), 0);
  EXPECT_EQ(Free("2030-06-14", "2030-07-01"), 1);
  EXPECT_EQ(Free("2030-07-01", "2030-07-05"), 0);
  // Booked as a reservation is, under the channel's agent, confirmed, with a booker that
  // names the calendar: a booked booking.
  EXPECT_EQ(Rows("SELECT B.AKODE, B.ANLEGGSNR, B.BEKREFT, S.ENAVN, S.FNAVN, COUNT(L.LINJENR)"
                 " FROM BOOKING B JOIN BESTILL S ON S.BESTNR = B.BESTNR"
                 " JOIN LEIE L ON L.REFNR = B.REFNR"
                 " GROUP BY B.REFNR, B.AKODE, B.ANLEGGSNR, B.BEKREFT, S.ENAVN, S.FNAVN"),
            "7|1|B|cabin-platform|Channel|2 / 7|1|B|cabin-platform|Channel|2");
  EXPECT_EQ(session_.store()
                .State(Scalar("SELECT MIN(REFNR) FROM BOOKING").toLongLong()),
            BookingState::kBooked);

  const QString before = Fingerprint();
  const QString rows = Rows("SELECT * FROM KANAL_BOOKING ORDER BY REFNR");
  const ImportResult again = Import("reserved_stays.ics");
  EXPECT_EQ(again.added, 0);
  EXPECT_EQ(again.unchanged, 2);
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Rows("SELECT * FROM KANAL_BOOKING ORDER BY REFNR"), rows);  // not even a sighting

  // Date-time events, a duration, a repeat and an event without UID book alike.
  feed_.name = QStringLiteral("cabin-manager");
  const ImportResult timed = Import("datetime_events.ics");
  EXPECT_EQ(timed.added, 9);
  EXPECT_EQ(Free("2030-10-11", "2030-10-12"), 0);
  EXPECT_EQ(Free("2030-10-12", "2030-10-13"), 1);
  EXPECT_EQ(Free("2030-10-25", "2030-10-26"), 0);
  EXPECT_EQ(Import("datetime_events.ics").unchanged, 9);
}

TEST_P(ChannelImportTest, MovedEventsMoveAndWithdrawnOnesCancel) {
  EXPECT_EQ(Import("moved_before.ics").added, 2);
  const QString refnrs = Rows("SELECT REFNR FROM BOOKING ORDER BY REFNR");
  const ImportResult moved = Import("moved_after.ics");
  EXPECT_EQ(moved.moved, 1);
  EXPECT_EQ(moved.unchanged, 1);
  EXPECT_EQ(Rows("SELECT REFNR FROM BOOKING ORDER BY REFNR"), refnrs);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM LEIE WHERE ANKOMST = '2030-09-10'"), "2");
  EXPECT_EQ(Free("2030-09-01", "2030-09-05"), 1);
  EXPECT_EQ(Free("2030-09-10", "2030-09-13"), 0);

  // Cancelled in the calendar (at its old dates): the booking is cancelled, not moved back.
  const ImportResult cancelled = Import("cancelled.ics");
  EXPECT_EQ(cancelled.cancelled, 1);
  EXPECT_EQ(Free("2030-09-01", "2030-09-13"), 1);
  // Gone from a calendar read whole: the last event ahead, so the calendar is held as
  // suspect, and believed only once it has kept that shape long enough.
  const ImportResult gone = Import("empty_calendar.ics");
  EXPECT_EQ(gone.cancelled, 0);
  EXPECT_EQ(gone.heldBack, 1);
  ASSERT_TRUE(gone.suspicion.has_value());
  EXPECT_EQ(gone.suspicion->dropped, 1);
  EXPECT_EQ(Free("2030-09-20", "2030-09-22"), 0);
  EXPECT_EQ(Import("empty_calendar.ics", kNow.addSecs(rules_.suspectSeconds)).cancelled, 1);
  EXPECT_EQ(Free("2030-09-20", "2030-09-22"), 1);
  EXPECT_EQ(Rows("SELECT AVBESTILT, COUNT(*) FROM BOOKING GROUP BY AVBESTILT"), "1|2");
  EXPECT_EQ(Rows("SELECT DISTINCT STATUS FROM LEIE"), "A");
  // The rows stay, so that the events' return gives their bookings back.
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BORTE WHERE AVLYST IS NOT NULL"), "2");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_STATUS"), "0");
}

TEST_P(ChannelImportTest, KeepKeepsWithdrawnBookingsAndSaysSoOnce) {
  feed_.removal = ChannelFeed::Removal::kKeep;
  Import("moved_before.ics");
  const QString booked = Bookings();
  const ImportResult cancelled = Import("cancelled.ics");
  EXPECT_EQ(cancelled.kept, 1);
  EXPECT_EQ(cancelled.notes.size(), 1);
  EXPECT_EQ(Import("empty_calendar.ics").kept, 0);  // held as suspect
  const ImportResult gone = Import("empty_calendar.ics", kNow.addSecs(rules_.suspectSeconds));
  EXPECT_EQ(gone.kept, 2);
  EXPECT_EQ(gone.notes.filter(QStringLiteral("is kept")).size(), 1);  // the one not kept before
  const ImportResult again = Import("empty_calendar.ics", kNow.addSecs(rules_.suspectSeconds + 60));
  EXPECT_TRUE(again.notes.filter(QStringLiteral("is kept")).isEmpty());
  EXPECT_EQ(Bookings(), booked);
  // Back in the calendar, moved: the kept booking follows it again.
  EXPECT_EQ(Import("moved_after.ics", kNow.addSecs(rules_.suspectSeconds + 120)).moved, 1);
  EXPECT_EQ(Free("2030-09-10", "2030-09-13"), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BOOKING WHERE BEHOLDT IS NOT NULL"), "0");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BORTE"), "0");
}

TEST_P(ChannelImportTest, AConflictKeepsBothBookingsUntilItIsResolved) {
  // Sold here first, by another program with plain SQL: the same cabin, one night.
  Run("INSERT INTO BOOKING (REFNR) VALUES (500);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (500, 500, 'O', '2030-06-12', '2030-06-13', 7, 1, 1);\n");
  // The business is told of the overbooking inside the transaction that finds it, once.
  struct Told : BookingEvents {
    QStringList lines;
    void BookerAttached(Connection&, qint64, bool, const QString&) override {}
    void UnitsAdded(Connection&, qint64) override {}
    void Cancelled(Connection&, qint64) override {}
    void Overbooked(Connection&, const QString& channel, qint64 refnr,
                    const QList<qint64>& others) override {
      lines << QStringLiteral("%1 %2 %3").arg(channel).arg(refnr).arg(others.value(0));
    }
  } told;
  const auto importTelling = [&] {
    auto steps = StartImport(session_, feed_,
                             std::make_shared<const CalendarReading>(ReadCalendar(
                                 Fixture("reserved_stays.ics"), kNow.date(), kDefaultDaysAhead)),
                             kNow, rules_, &told);
    while (!steps->step(1000)) {
    }
    return steps->result();
  };
  const ImportResult result = importTelling();
  EXPECT_EQ(result.added, 2);
  ASSERT_EQ(result.conflicts.size(), 1);
  EXPECT_EQ(told.lines, QStringList{QStringLiteral("cabin-platform %1 500")
                                        .arg(result.conflicts[0].refnr)});
  importTelling();
  EXPECT_EQ(told.lines.size(), 1);
  const ChannelConflict& conflict = result.conflicts[0];
  EXPECT_EQ(conflict.others, QList<qint64>{500});
  EXPECT_EQ(conflict.arrival, QDate(2030, 6, 10));
  EXPECT_EQ(Scalar(QStringLiteral("SELECT AVBESTILT FROM BOOKING WHERE REFNR = %1")
                       .arg(conflict.refnr)),
            "0");
  EXPECT_EQ(Free("2030-06-12", "2030-06-13"), -1);
  EXPECT_EQ(result.notes.filter(QStringLiteral("500")).size(), 1)
      << result.notes.join(u'\n').toStdString();
  EXPECT_EQ(CurrentConflicts(session_, feed_).value(0).refnr, conflict.refnr);
  // Still there at the next import, and said once.
  const ImportResult again = Import("reserved_stays.ics");
  EXPECT_EQ(again.conflicts.size(), 1);
  EXPECT_TRUE(again.notes.isEmpty()) << again.notes.join(u'\n').toStdString();

  // The other booking is cancelled here: resolved at the next read, also one that finds the
  // calendar unchanged.
  Run("UPDATE LEIE SET STATUS = 'A' WHERE REFNR = 500;\n");
  const ImportResult resolved = Unchanged(kNow.addSecs(600));
  EXPECT_TRUE(resolved.conflicts.isEmpty());
  EXPECT_EQ(resolved.notes.size(), 1);
  EXPECT_TRUE(CurrentConflicts(session_, feed_).isEmpty());
}

TEST_P(ChannelImportTest, NothingButTheChannelsOwnLiveFutureBookingsChanges) {
  // A booking of another channel and one made here, on the same nights as the calendar's.
  Run("INSERT INTO BOOKING (REFNR) VALUES (600), (601);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (600, 600, 'O', '2030-09-01', '2030-09-05', 5, 1, 1),"
      "  (601, 601, 'O', '2030-09-20', '2030-09-22', 5, 1, 1);\n"
      "INSERT INTO KANAL_BOOKING (KANAL, UID, REFNR, ANKOMST, AVREISE, SIST_SETT) VALUES"
      "  ('other', 'hx-booking-88213@holidaylet.example', 600, '2030-09-01', '2030-09-05',"
      "   '2029-12-01 10:00:00');\n");
  Import("moved_before.ics");
  // Booking A is cancelled here by hand: a move in the calendar does not book it again.
  const QString first =
      Scalar("SELECT MIN(REFNR) FROM KANAL_BOOKING WHERE KANAL = 'cabin-platform'");
  Run(QStringLiteral("UPDATE BOOKING SET AVBESTILT = 1 WHERE REFNR = %1;\n"
                     "UPDATE LEIE SET STATUS = 'A' WHERE REFNR = %1;\n").arg(first));
  const QString before = Fingerprint();
  const ImportResult moved = Import("moved_after.ics");
  EXPECT_EQ(moved.moved, 0);
  EXPECT_EQ(moved.notes.size(), 1);
  EXPECT_EQ(Fingerprint(), before);

  // A body that is no calendar changes nothing.
  EXPECT_THROW(Import("not_a_calendar.html"), CalendarFormatError);
  // Every event has ended: the calendar drops them, and nothing is cancelled for it.
  const QDateTime december(QDate(2030, 12, 1), QTime(12, 0));
  const ImportResult later = Import("empty_calendar.ics", december);
  EXPECT_EQ(later.cancelled, 0);
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BOOKING WHERE KANAL = 'cabin-platform'"), "0");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BOOKING WHERE KANAL = 'other'"), "1");
  // An ended event is not added either.
  EXPECT_EQ(Import("moved_before.ics", december).added, 0);
  EXPECT_EQ(Fingerprint(), before);
}

TEST_P(ChannelImportTest, TwoServersImportingOneCalendarAtOnceBookEachEventOnce) {
  const DatabaseAlias alias = sqlite_ ? sqlite_->alias() : postgres_->alias();
  // While another session holds the channel, an import does nothing.
  {
    Connection other(QStringLiteral("other-server"));
    QString error;
    ASSERT_TRUE(other.open(alias, &error)) << error.toStdString();
    const ChannelBookings::Lock held(other, feed_.name);
    ASSERT_TRUE(held.held());
    if (postgres()) {
      EXPECT_TRUE(Import("reserved_stays.ics").heldElsewhere);
      EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING"), "0");
    }
  }
  // Two servers at once, each with a session of its own.
  const QByteArray body = Fixture("datetime_events.ics");
  const AliasList aliases = sqlite_ ? sqlite_->aliases() : postgres_->aliases();
  auto server = [&](const QString& name, QString* failure) {
    try {
      struct : StoreReports {
        void report(const StoreReport&) override {}
      } quiet;
      DatabaseSession session(aliases, quiet, name);
      session.ConnectAPIDatabase(QStringLiteral("test"));
      for (int i = 0; i < 5; ++i) ImportCalendar(session, feed_, body, kNow);
    } catch (const std::exception& e) {
      *failure = QString::fromUtf8(e.what());
    }
  };
  QString a, b;
  std::thread one(server, QStringLiteral("server-a"), &a);
  std::thread two(server, QStringLiteral("server-b"), &b);
  one.join();
  two.join();
  EXPECT_TRUE(a.isEmpty()) << a.toStdString();
  EXPECT_TRUE(b.isEmpty()) << b.toStdString();
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING"), "9");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BOOKING"), "9");
  EXPECT_EQ(Free("2030-10-10", "2030-12-31"), 0);
}

// What a listing's five stays look like to the cabin: its free units on each stay's nights.
// (listing_full.ics: a big rental platform's export of one listing.)
constexpr const char* kStays[][2] = {{"2030-02-10", "2030-02-14"}, {"2030-03-01", "2030-03-05"},
                                     {"2030-04-10", "2030-04-17"}, {"2030-05-20", "2030-05-22"},
                                     {"2030-08-01", "2030-08-11"}};

// A platform that served its calendar header-only for two hours between two full exports
// (tests/fixtures/ical/README): nothing is cancelled, nothing re-numbered, the cabin's free
// units never change, and the calendar is held as suspect until its stays are back.
TEST_P(ChannelImportTest, AnEmptyReadBetweenTwoFullOnesCancelsNothing) {
  const auto free = [&] {
    QString units;
    for (const auto& stay : kStays) units += QString::number(Free(stay[0], stay[1]));
    return units;
  };
  EXPECT_EQ(Import("listing_full.ics").added, 5);
  EXPECT_EQ(free(), "00000");
  const QString numbers = Rows("SELECT UID, REFNR FROM KANAL_BOOKING ORDER BY UID");
  const QString lines = Rows("SELECT LINJENR, REFNR, ANKOMST, AVREISE, STATUS FROM LEIE");
  const QString before = Fingerprint();

  for (const int minutes : {10, 30, 60, 90, 120}) {
    SCOPED_TRACE(minutes);
    const QDateTime at = kNow.addSecs(minutes * 60);
    // The platform's own validators answer some of the reads "not modified".
    const ImportResult empty = minutes == 30 ? Unchanged(at) : Import("header_only.ics", at);
    EXPECT_EQ(empty.cancelled, 0);
    EXPECT_EQ(empty.heldBack, 5);
    ASSERT_TRUE(empty.suspicion.has_value());
    EXPECT_EQ(empty.suspicion->since, kNow.addSecs(600));
    EXPECT_EQ(empty.suspicion->dropped, 5);
    EXPECT_EQ(empty.suspicion->of, 5);
    EXPECT_EQ(free(), "00000");
  }
  const ImportResult back = Import("listing_full.ics", kNow.addSecs(130 * 60));
  EXPECT_EQ(back.added, 0);
  EXPECT_EQ(back.unchanged, 5);
  EXPECT_FALSE(back.suspicion.has_value());
  EXPECT_EQ(back.notes.filter(QStringLiteral("again")).size(), 2)
      << back.notes.join(u'\n').toStdString();
  EXPECT_EQ(free(), "00000");
  EXPECT_EQ(Rows("SELECT UID, REFNR FROM KANAL_BOOKING ORDER BY UID"), numbers);
  EXPECT_EQ(Rows("SELECT LINJENR, REFNR, ANKOMST, AVREISE, STATUS FROM LEIE"), lines);
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BORTE") + Scalar("SELECT COUNT(*) FROM KANAL_STATUS"),
            "00");
}

// A stay the guest cancelled (one of five gone) is cancelled once reads have lacked it for
// an hour; when it returns its booking comes back under its own number, also when its
// nights were sold meanwhile (then in conflict, with both numbers).
TEST_P(ChannelImportTest, AGoneEventIsCancelledOnEvidenceAndGetsItsBookingBack) {
  Import("listing_full.ics");
  const char* kGuest = "1418fb94e984-c3@stayhost.example";
  const qint64 refnr = RefnrOf(kGuest);
  ImportResult read = Import("listing_guest_cancelled.ics", kNow.addSecs(600));
  EXPECT_FALSE(read.suspicion.has_value());
  EXPECT_EQ(read.waiting, 1);
  EXPECT_EQ(Unchanged(kNow.addSecs(600 + 3599)).cancelled, 0);
  EXPECT_EQ(Free("2030-04-10", "2030-04-17"), 0);
  read = Unchanged(kNow.addSecs(600 + 3600));
  EXPECT_EQ(read.cancelled, 1);
  EXPECT_EQ(read.waiting, 0);
  EXPECT_EQ(Free("2030-04-10", "2030-04-17"), 1);

  read = Import("listing_full.ics", kNow.addSecs(3 * 3600));
  EXPECT_EQ(read.restored, 1);
  EXPECT_EQ(RefnrOf(kGuest), refnr);
  EXPECT_EQ(Free("2030-04-10", "2030-04-17"), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING"), "5");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING WHERE AVBESTILT <> 0"), "0");

  // Gone again, cancelled again, and two of its nights sold here before it returns.
  Import("listing_guest_cancelled.ics", kNow.addSecs(4 * 3600));
  EXPECT_EQ(Import("listing_guest_cancelled.ics", kNow.addSecs(5 * 3600)).cancelled, 1);
  Run("INSERT INTO BOOKING (REFNR) VALUES (700);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (700, 700, 'O', '2030-04-12', '2030-04-14', 7, 1, 1);\n");
  read = Import("listing_full.ics", kNow.addSecs(6 * 3600));
  EXPECT_EQ(read.restored, 1);
  EXPECT_EQ(RefnrOf(kGuest), refnr);
  ASSERT_EQ(read.conflicts.size(), 1);
  EXPECT_EQ(read.conflicts[0].refnr, refnr);
  EXPECT_EQ(read.conflicts[0].others, QList<qint64>{700});
}

// A listing that drops four of its five stays at once is held as suspect. A booking made on
// the platform meanwhile changes the calendar's shape, and the clock starts again, and the
// fifth stay's cancellation waits too; once the calendar has kept its shape long enough it is
// believed (at a read answered "not modified"), and all five are cancelled.
TEST_P(ChannelImportTest, ADropOfMostEventsIsHeldUntilTheCalendarKeepsItsShape) {
  Import("listing_full.ics");
  ImportResult read = Import("listing_one_left.ics", kNow.addSecs(600));
  ASSERT_TRUE(read.suspicion.has_value());
  EXPECT_EQ(read.suspicion->dropped, 4);
  EXPECT_EQ(read.heldBack, 4);

  QByteArray later = Fixture("listing_one_left.ics");
  later.replace("END:VCALENDAR",
                "BEGIN:VEVENT\r\nDTEND;VALUE=DATE:20300910\r\nDTSTART;VALUE=DATE:20300905\r\n"
                "UID:1418fb94e984-f6@stayhost.example\r\nSUMMARY:Reserved\r\nEND:VEVENT\r\n"
                "END:VCALENDAR");
  later.replace("SUMMARY:Reserved\r\nEND:VEVENT\r\nBEGIN:VEVENT",
                "SUMMARY:Reserved\r\nSTATUS:CANCELLED\r\nEND:VEVENT\r\nBEGIN:VEVENT");
  read = ImportText(later, kNow.addSecs(3 * 3600));
  EXPECT_EQ(read.added, 1);
  EXPECT_EQ(read.cancelled, 0);
  EXPECT_EQ(read.heldBack, 5);
  ASSERT_TRUE(read.suspicion.has_value());
  EXPECT_EQ(read.suspicion->since, kNow.addSecs(3 * 3600));
  read = Unchanged(kNow.addSecs(3 * 3600 + rules_.suspectSeconds - 1));
  EXPECT_TRUE(read.suspicion.has_value());
  EXPECT_EQ(read.cancelled, 0);
  read = Unchanged(kNow.addSecs(3 * 3600 + rules_.suspectSeconds));
  EXPECT_FALSE(read.suspicion.has_value());
  EXPECT_EQ(read.cancelled, 5);
  for (const auto& stay : kStays) EXPECT_EQ(Free(stay[0], stay[1]), 1);
  EXPECT_EQ(Free("2030-09-05", "2030-09-10"), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_STATUS"), "0");
}

// A marketplace that gives a block a new UID when its start moves earlier, and a closed room
// whose block gets a new UID every day (its start is today): the booking follows the new
// UID, the one cabin is never taken twice, and no cancelled bookings pile up.
TEST_P(ChannelImportTest, ANewUidForTheSameStayMovesItsBooking) {
  Import("start_moved_before.ics");
  const qint64 refnr = RefnrOf("hm-7Q2K-20300310-20300315@hotelmarket.example");
  const ImportResult moved = Import("start_moved_after.ics", kNow.addSecs(600));
  EXPECT_EQ(moved.matched, 1);
  EXPECT_EQ(moved.added + moved.cancelled + moved.waiting, 0);
  EXPECT_TRUE(moved.conflicts.isEmpty());
  EXPECT_EQ(moved.notes.filter(QStringLiteral("is taken for event")).size(), 1);
  EXPECT_EQ(RefnrOf("hm-7Q2K-20300308-20300315@hotelmarket.example"), refnr);
  EXPECT_EQ(Free("2030-03-08", "2030-03-10"), 0);

  feed_.name = QStringLiteral("closed-room");
  const auto closed = [](int day) {
    const QDate from = kNow.date().addDays(day);
    return QStringLiteral(
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Hotelmarket//Availability Export "
               "2.3//EN\r\nBEGIN:VEVENT\r\nUID:hm-closed-%1@hotelmarket.example\r\n"
               "DTSTART;VALUE=DATE:%1\r\nDTEND;VALUE=DATE:%2\r\nSUMMARY:CLOSED - Not "
               "available\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        .arg(from.toString(QStringLiteral("yyyyMMdd")),
             from.addDays(60).toString(QStringLiteral("yyyyMMdd")))
        .toLatin1();
  };
  for (int day = 0; day < 7; ++day) {
    SCOPED_TRACE(day);
    const ImportResult read = ImportText(closed(day), kNow.addDays(day));
    EXPECT_EQ(read.added, day == 0 ? 1 : 0);
    EXPECT_EQ(read.matched, day == 0 ? 0 : 1);
    EXPECT_FALSE(read.suspicion.has_value());
    EXPECT_TRUE(read.conflicts.isEmpty());
  }
  EXPECT_EQ(Rows("SELECT K.UID, B.AVBESTILT, L.ANKOMST FROM KANAL_BOOKING K"
                 " JOIN BOOKING B ON B.REFNR = K.REFNR"
                 " JOIN LEIE L ON L.REFNR = K.REFNR AND L.LEIETYPE = 'O'"
                 " WHERE K.KANAL = 'closed-room'")
                .toStdString(),
            "hm-closed-20300107@hotelmarket.example|0|07.01.2030");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING"), "2");
}

// An owner's weekly block from a desktop calendar program (weekly_owner_block.ics): each
// occurrence is a booking of its own, the moved instance at its new dates, the cancelled and
// the excluded ones not at all; an instance cancelled or moved later cancels or moves its own
// booking, and nothing else.
TEST_P(ChannelImportTest, ARepeatingEventBooksEachOccurrence) {
  const ImportResult first = Import("weekly_owner_block.ics");
  EXPECT_EQ(first.added, 16) << first.notes.join(u'\n').toStdString();
  EXPECT_EQ(Free("2030-01-04", "2030-01-06"), 0);
  EXPECT_EQ(Free("2030-02-08", "2030-02-09"), 1);  // moved to the Saturday
  EXPECT_EQ(Free("2030-02-09", "2030-02-11"), 0);
  EXPECT_EQ(Free("2030-03-01", "2030-03-03"), 1);  // cancelled
  EXPECT_EQ(Free("2030-03-15", "2030-03-17"), 1);  // excluded
  EXPECT_EQ(Free("2030-04-17", "2030-04-19"), 0);  // an added date
  EXPECT_EQ(Free("2030-04-26", "2030-04-28"), 0);  // the last
  EXPECT_EQ(Free("2030-05-03", "2030-05-05"), 1);
  const qint64 april = RefnrOf("5d0c6f4e-2b7a-4c1e-9a83-71e2f0b4c9d2#20300405T160000");
  ASSERT_NE(april, 0);

  QByteArray later = Fixture("weekly_owner_block.ics");
  later.replace("END:VCALENDAR",
                "BEGIN:VEVENT\r\nUID:5d0c6f4e-2b7a-4c1e-9a83-71e2f0b4c9d2\r\nSTATUS:CANCELLED\r\n"
                "RECURRENCE-ID;TZID=Europe/Oslo:20300322T160000\r\n"
                "DTSTART;TZID=Europe/Oslo:20300322T160000\r\n"
                "DTEND;TZID=Europe/Oslo:20300324T110000\r\nEND:VEVENT\r\n"
                "BEGIN:VEVENT\r\nUID:5d0c6f4e-2b7a-4c1e-9a83-71e2f0b4c9d2\r\n"
                "RECURRENCE-ID;TZID=Europe/Oslo:20300405T160000\r\n"
                "DTSTART;TZID=Europe/Oslo:20300406T120000\r\n"
                "DTEND;TZID=Europe/Oslo:20300408T110000\r\nEND:VEVENT\r\nEND:VCALENDAR");
  const ImportResult second = ImportText(later, kNow.addSecs(3600));
  EXPECT_EQ(second.cancelled, 1);
  EXPECT_EQ(second.moved, 1);
  EXPECT_EQ(second.unchanged, 14);
  EXPECT_EQ(Free("2030-03-22", "2030-03-24"), 1);
  EXPECT_EQ(Free("2030-04-05", "2030-04-06"), 1);
  EXPECT_EQ(Free("2030-04-06", "2030-04-08"), 0);
  EXPECT_EQ(RefnrOf("5d0c6f4e-2b7a-4c1e-9a83-71e2f0b4c9d2#20300405T160000"), april);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM BOOKING"), "16");
}

// Bodies that are no usable calendar are refused and change nothing: a BOM before an empty
// VCALENDAR without VERSION, a calendar of to-dos only, a text line, a BOM alone, an HTML page.
TEST_P(ChannelImportTest, WhatIsNoUsableCalendarChangesNothing) {
  Import("listing_full.ics");
  const QString before = Fingerprint();
  for (const char* body : {"bom_empty_vcalendar.ics", "todos_only.ics", "no_version.txt",
                           "bom_only.ics", "not_a_calendar.html"}) {
    EXPECT_THROW(Import(body, kNow.addSecs(3600)), CalendarFormatError) << body;
  }
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BORTE"), "0");
}

INSTANTIATE_TEST_SUITE_P(Backends, ChannelImportTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
