#include "channels/channel_import.h"

#include "handlers/stay_test_fixture.h"
#include "store/booking_store.h"
#include "store/channel_bookings.h"
#include "store/connection.h"
#include "store/data_module.h"

#include <QFile>

#include <thread>

namespace taurelin {
namespace {

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

  ImportResult Import(const char* fixture, const QDate& today = QDate(2030, 1, 1)) {
    return ImportCalendar(session_, feed_, Fixture(fixture), today);
  }

  // The cabin's free units over the nights from `arrival` to `departure`, as LEDIG counts.
  int Free(const char* arrival, const char* departure) {
    BookingStore store(session_.dmBook(), session_.connection());
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

  ChannelFeed feed_;
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
  EXPECT_EQ(BookingStore(session_.dmBook(), session_.connection())
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
  // Gone from a calendar read whole.
  EXPECT_EQ(Import("empty_calendar.ics").cancelled, 1);
  EXPECT_EQ(Free("2030-09-20", "2030-09-22"), 1);
  EXPECT_EQ(Rows("SELECT AVBESTILT, COUNT(*) FROM BOOKING GROUP BY AVBESTILT"), "1|2");
  EXPECT_EQ(Rows("SELECT DISTINCT STATUS FROM LEIE"), "A");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BOOKING"), "0");
}

TEST_P(ChannelImportTest, KeepKeepsWithdrawnBookingsAndSaysSoOnce) {
  feed_.removal = ChannelFeed::Removal::kKeep;
  Import("moved_before.ics");
  const QString booked = Bookings();
  const ImportResult cancelled = Import("cancelled.ics");
  EXPECT_EQ(cancelled.kept, 1);
  EXPECT_EQ(cancelled.notes.size(), 1);
  const ImportResult gone = Import("empty_calendar.ics");
  EXPECT_EQ(gone.kept, 2);
  EXPECT_EQ(gone.notes.size(), 1);  // the one not kept before
  EXPECT_TRUE(Import("empty_calendar.ics").notes.isEmpty());
  EXPECT_EQ(Bookings(), booked);
  // Back in the calendar, moved: the kept booking follows it again.
  EXPECT_EQ(Import("moved_after.ics").moved, 1);
  EXPECT_EQ(Free("2030-09-10", "2030-09-13"), 0);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BOOKING WHERE BEHOLDT IS NOT NULL"), "0");
}

TEST_P(ChannelImportTest, AConflictKeepsBothBookingsUntilItIsResolved) {
  // Sold here first, by another program with plain SQL: the same cabin, one night.
  Run("INSERT INTO BOOKING (REFNR) VALUES (500);\n"
      "INSERT INTO LEIE (LINJENR, REFNR, LEIETYPE, ANKOMST, AVREISE, UTYPE, ANLEGG, ANTALL)"
      "  VALUES (500, 500, 'O', '2030-06-12', '2030-06-13', 7, 1, 1);\n");
  const ImportResult result = Import("reserved_stays.ics");
  EXPECT_EQ(result.added, 2);
  ASSERT_EQ(result.conflicts.size(), 1);
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

  // The other booking is cancelled here: resolved at the next import.
  Run("UPDATE LEIE SET STATUS = 'A' WHERE REFNR = 500;\n");
  const ImportResult resolved = Import("reserved_stays.ics");
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
  const ImportResult later = Import("empty_calendar.ics", QDate(2030, 12, 1));
  EXPECT_EQ(later.cancelled, 0);
  EXPECT_EQ(Fingerprint(), before);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BOOKING WHERE KANAL = 'cabin-platform'"), "0");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM KANAL_BOOKING WHERE KANAL = 'other'"), "1");
  // An ended event is not added either.
  EXPECT_EQ(Import("moved_before.ics", QDate(2030, 12, 1)).added, 0);
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
  // Two servers at once, each on its own connection.
  const QByteArray body = Fixture("datetime_events.ics");
  auto server = [&](const QString& name, QString* failure) {
    try {
      Connection connection(name);
      if (!connection.open(alias, failure)) return;
      TdmBook module(connection);
      module.openMain();
      for (int i = 0; i < 5; ++i) ImportCalendar(module, feed_, body, QDate(2030, 1, 1));
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

INSTANTIATE_TEST_SUITE_P(Backends, ChannelImportTest, BothBackends(), BackendName());

}  // namespace
}  // namespace taurelin
