#include "store/channel_bookings.h"

#include "store/backend.h"
#include "store/booking_creation.h"
#include "store/booking_events.h"
#include "store/booking_store.h"
#include "store/connection.h"
#include "store/occupancy.h"
#include "store/database_error.h"
#include "store/database_session.h"
#include "store/statement.h"
#include "store/write_transaction.h"

#include <utility>

namespace taurelin {
namespace {

// The booker's columns hold no more.
constexpr int kLongestSurname = 60;
constexpr int kLongestRemark = 255;

std::optional<QList<qint64>> ParseConflict(const Statement& s) {
  if (s.isNull(QStringLiteral("KONFLIKT"))) return std::nullopt;
  QList<qint64> others;
  for (const QString& number :
       s.text(QStringLiteral("KONFLIKT")).split(u' ', Qt::SkipEmptyParts)) {
    others << number.toLongLong();
  }
  return others;
}

void BindConflict(Statement& s, const std::optional<QList<qint64>>& conflict) {
  if (!conflict) {
    s.bindNull(QStringLiteral("KONFLIKT"));
    return;
  }
  QStringList numbers;
  for (const qint64 refnr : *conflict) numbers << QString::number(refnr);
  s.bindText(QStringLiteral("KONFLIKT"), numbers.join(u' '));
}

QString Numbers(const QList<qint64>& refnrs) {
  QStringList numbers;
  for (const qint64 refnr : refnrs) numbers << QString::number(refnr);
  return numbers.isEmpty() ? QStringLiteral("none (units held otherwise)")
                           : numbers.join(QStringLiteral(", "));
}

QString StayText(const QDate& arrival, const QDate& departure) {
  return QStringLiteral("%1 to %2").arg(arrival.toString(Qt::ISODate),
                                       departure.toString(Qt::ISODate));
}

// One statement on the channel's row of `uid`, its other values bound by `bind`.
template <typename Bind>
void RunOnRow(Connection& connection, const QString& sql, const QString& channel,
              const QString& uid, Bind bind) {
  Statement s(connection);
  s.add(sql);
  s.bindText(QStringLiteral("KANAL"), channel);
  s.bindText(QStringLiteral("UID"), uid);
  bind(s);
  s.run();
}

void RunOnRow(Connection& connection, const QString& sql, const QString& channel,
              const QString& uid) {
  RunOnRow(connection, sql, channel, uid, [](Statement&) {});
}

}  // namespace

ChannelBookings::Lock::Lock(Connection& connection, const QString& channel)
    : connection_(connection), channel_(channel) {
  held_ = connection_.backend().tryLockChannel(connection_, channel_);
}

ChannelBookings::Lock::~Lock() {
  if (!held_) return;
  try {
    connection_.backend().unlockChannel(connection_, channel_);
  } catch (const DatabaseError&) {
    // The session is gone, and its locks with it.
  }
}

ChannelBookings::ChannelBookings(DatabaseSession& session, Channel channel,
                                 BookingEvents* events)
    : store_(session.store()),
      connection_(session.connection()),
      channel_(std::move(channel)),
      events_(events) {
  store_.occupancy();  // not connected: thrown now
}

bool ChannelBookings::SellsType() {
  Occupancy& occupancy = store_.occupancy();
  occupancy.InitBelegg();
  return occupancy.GetKapasitet(channel_.facility, channel_.type) >= 0;
}

QList<ChannelBookings::Row> ChannelBookings::Rows(const QDateTime& now) {
  return Select(now, nullptr);
}

std::optional<ChannelBookings::Row> ChannelBookings::FindRow(const QString& uid,
                                                             const QDateTime& now) {
  QList<Row> rows = Select(now, &uid);
  if (rows.isEmpty()) return std::nullopt;
  return std::move(rows.first());
}

QList<ChannelBookings::Row> ChannelBookings::Select(const QDateTime& now, const QString* uid) {
  // A booking is live while its header is there, not marked cancelled, and an object line
  // still occupies a unit.
  Statement s(connection_);
  s.add({"SELECT K.UID, K.REFNR, K.ANKOMST, K.AVREISE, K.KONFLIKT, K.BEHOLDT,",
         "  CASE WHEN K.SIST_SETT < :IDAG THEN 0 ELSE 1 END AS SETT_IDAG,",
         "  F.BORTE_FRA, F.AVLYST,",
         "  CASE WHEN B.REFNR IS NULL THEN 0 ELSE 1 END AS FINNES,",
         "  CASE WHEN COALESCE(B.AVBESTILT, 0) <> 0 THEN 0",
         "    WHEN EXISTS (SELECT 1 FROM LEIE L WHERE L.REFNR = K.REFNR AND L.LEIETYPE = 'O'",
         "      AND (L.STATUS <> 'A' OR L.STATUS IS NULL)) THEN 1 ELSE 0 END AS LEVENDE",
         "FROM KANAL_BOOKING K",
         "LEFT JOIN KANAL_BORTE F ON F.KANAL = K.KANAL AND F.UID = K.UID",
         "LEFT JOIN BOOKING B ON B.REFNR = K.REFNR",
         "WHERE K.KANAL = :KANAL"});
  if (uid != nullptr) s.add(QStringLiteral("  AND K.UID = :UID"));
  s.bindDate(QStringLiteral("IDAG"), now.date());
  s.bindText(QStringLiteral("KANAL"), channel_.name);
  if (uid != nullptr) s.bindText(QStringLiteral("UID"), *uid);
  s.run();
  QList<Row> rows;
  while (s.next()) {
    Row row;
    row.uid = s.text(QStringLiteral("UID"));
    row.refnr = s.integer64(QStringLiteral("REFNR"));
    row.arrival = s.date(QStringLiteral("ANKOMST"));
    row.departure = s.date(QStringLiteral("AVREISE"));
    row.conflict = ParseConflict(s);
    row.kept = !s.isNull(QStringLiteral("BEHOLDT"));
    row.seenToday = s.integer(QStringLiteral("SETT_IDAG")) != 0;
    row.goneSince = s.dateTime(QStringLiteral("BORTE_FRA"));
    const bool exists = s.integer(QStringLiteral("FINNES")) != 0;
    if (exists && s.integer(QStringLiteral("LEVENDE")) != 0) {
      row.fate = Fate::kLive;
    } else if (exists && !s.isNull(QStringLiteral("AVLYST"))) {
      row.fate = Fate::kCancelledForIt;
    } else {
      row.fate = Fate::kGoneHere;
    }
    rows.append(std::move(row));
  }
  return rows;
}

qint64 ChannelBookings::NewBooking(const QString& uid, const QDate& arrival,
                                   const QDate& departure, const QDateTime& now) {
  // The booker makes the booking a booked one: the expiry sweep leaves it alone.
  const qint64 bestnr = BookingStore::NewBooker(
      connection_, channel_.name.left(kLongestSurname), QStringLiteral("Channel"),
      QStringLiteral("Event %1 of channel calendar %2").arg(uid, channel_.name).left(kLongestRemark));
  const qint64 refnr = store_.NewReferenceNumber();

  Statement type(connection_);
  type.add(QStringLiteral("SELECT ISTAT FROM UTYPE WHERE UTYPE = :UTYPE"));
  type.bindInteger(QStringLiteral("UTYPE"), channel_.type);
  type.run();
  const QString istat = type.next() ? type.text(QStringLiteral("ISTAT")) : QString();
  type.close();

  TBookingData header;
  header.AKODE = channel_.agent;
  header.ANLEGGSNR = channel_.facility;
  header.BEKREFT = QStringLiteral("B");
  header.BEKREFT_DATO = now;
  header.BESTNR = static_cast<double>(bestnr);
  header.FORMAL = 0;
  header.OPPR_AV = 0;
  header.REFNR = refnr;
  header.REG_DATO = now.date();
  TUtleieData line;
  line.A_PRIS = 0;
  line.ANKOMST = arrival;
  line.AVREISE = departure;
  line.ANLEGG = channel_.facility;
  line.ANTALL = 1;
  line.ANT_VOKSEN = 0;
  line.ETTER = QStringLiteral("F");
  line.TIL = QStringLiteral("M");
  line.LEIETYPE = QStringLiteral("U");
  line.REFNR = refnr;
  line.STATKODE = istat.left(1);
  line.UTYPE = channel_.type;
  line.state = u'I';
  store_.WriteBooking(header, line);
  return refnr;
}

void ChannelBookings::MoveBooking(qint64 refnr, const QDate& arrival, const QDate& departure) {
  Statement move(connection_);
  move.add({"UPDATE LEIE SET ANKOMST = :ANKOMST, AVREISE = :AVREISE",
            "WHERE REFNR = :REFNR AND LEIETYPE IN ('U', 'O')"});
  move.bindDate(QStringLiteral("ANKOMST"), arrival);
  move.bindDate(QStringLiteral("AVREISE"), departure);
  move.bindInteger(QStringLiteral("REFNR"), refnr);
  move.run();
}

std::optional<QList<qint64>> ChannelBookings::Conflict(qint64 refnr, const QDate& arrival,
                                                       const QDate& departure,
                                                       const QDate& today) {
  if (departure <= today) return std::nullopt;
  // Counted as a reservation counts, with this booking's unit among those taken.
  Occupancy& occupancy = store_.occupancy();
  occupancy.InitBelegg();
  occupancy.LoadBelegg(arrival, departure, channel_.facility);
  const int free = occupancy.GetKapasitet(channel_.facility, channel_.type) -
                   occupancy.GetMaxBelegg(channel_.facility, channel_.type, arrival, departure,
                                          OccupancyCounter::NotFree);
  if (free >= 0) return std::nullopt;

  // A line of one day holds that day, as the occupancy counts it.
  Statement s(connection_);
  s.add({"SELECT DISTINCT REFNR FROM LEIE",
         "WHERE LEIETYPE = 'O' AND (STATUS <> 'A' OR STATUS IS NULL)",
         "  AND ANLEGG = :ANLEGG AND UTYPE = :UTYPE AND REFNR <> :REFNR",
         "  AND ANKOMST < :AVREISE",
         "  AND (AVREISE > :ANKOMST OR (AVREISE = ANKOMST AND ANKOMST >= :FRA))",
         "ORDER BY REFNR"});
  s.bindInteger(QStringLiteral("ANLEGG"), channel_.facility);
  s.bindInteger(QStringLiteral("UTYPE"), channel_.type);
  s.bindInteger(QStringLiteral("REFNR"), refnr);
  s.bindDate(QStringLiteral("AVREISE"), departure);
  s.bindDate(QStringLiteral("ANKOMST"), arrival);
  s.bindDate(QStringLiteral("FRA"), arrival);
  s.run();
  QList<qint64> others;
  while (s.next()) others << s.integer64(QStringLiteral("REFNR"));
  return others;
}

void ChannelBookings::NoteConflictChange(const Row& row, const std::optional<QList<qint64>>& now,
                                         QStringList* notes) const {
  if (now && !row.conflict) {
    *notes << QStringLiteral("event %1 (booking %2, %3) is booked beyond the units of rental "
                             "type %4 at facility %5: it shares nights with bookings %6")
                  .arg(row.uid)
                  .arg(row.refnr)
                  .arg(StayText(row.arrival, row.departure))
                  .arg(channel_.type)
                  .arg(channel_.facility)
                  .arg(Numbers(*now));
  } else if (!now && row.conflict) {
    *notes << QStringLiteral("event %1 (booking %2) is no longer in conflict")
                  .arg(row.uid)
                  .arg(row.refnr);
  }
}

ChannelBookings::Outcome ChannelBookings::Apply(const QString& uid, const QDate& arrival,
                                                const QDate& departure, const QDateTime& now,
                                                QStringList* notes) {
  WriteTransaction transaction(connection_);
  transaction.lockReservation(channel_.facility, channel_.type);
  const std::optional<Row> row = FindRow(uid, now);

  if (!row) {
    if (departure <= now.date()) return Outcome::kSkipped;
    const qint64 refnr = NewBooking(uid, arrival, departure, now);
    RunOnRow(connection_,
             QStringLiteral("INSERT INTO KANAL_BOOKING (KANAL, UID, REFNR, ANKOMST, AVREISE, "
                            "SIST_SETT) VALUES (:KANAL, :UID, :REFNR, :ANKOMST, :AVREISE, "
                            ":SIST_SETT)"),
             channel_.name, uid, [&](Statement& s) {
               s.bindInteger(QStringLiteral("REFNR"), refnr);
               s.bindDate(QStringLiteral("ANKOMST"), arrival);
               s.bindDate(QStringLiteral("AVREISE"), departure);
               s.bindDateTime(QStringLiteral("SIST_SETT"), now);
             });
    transaction.commit();
    return Outcome::kAdded;
  }

  const bool datesChanged = row->arrival != arrival || row->departure != departure;
  Outcome outcome = Outcome::kUnchanged;
  switch (row->fate) {
    case Fate::kGoneHere:
      if (datesChanged) {
        *notes << QStringLiteral("event %1 moved to %2, but its booking %3 was cancelled or "
                                 "deleted here: it is not booked again")
                      .arg(uid, StayText(arrival, departure))
                      .arg(row->refnr);
      }
      break;
    case Fate::kCancelledForIt:
      // The import cancelled it: the event is back, so is its booking, under its own number.
      BookingStore::MarkBookedAgain(connection_, row->refnr);
      if (datesChanged) MoveBooking(row->refnr, arrival, departure);
      *notes << QStringLiteral("event %1 is in the calendar again: its booking %2 is booked "
                               "again, %3")
                    .arg(uid)
                    .arg(row->refnr)
                    .arg(StayText(arrival, departure));
      outcome = Outcome::kRestored;
      break;
    case Fate::kLive:
      if (datesChanged) {
        MoveBooking(row->refnr, arrival, departure);
        outcome = Outcome::kMoved;
      }
      if (row->kept) {
        *notes << QStringLiteral("event %1 is in the calendar again: its booking %2 follows it "
                                 "again")
                      .arg(uid)
                      .arg(row->refnr);
      }
      break;
  }
  if (row->goneSince.isValid()) ClearGone(uid);
  // An event seen again as it was writes nothing but its sighting, once a day, so that a
  // poll that found nothing new leaves the database, and the answers kept for it, as they
  // were.
  if (outcome == Outcome::kUnchanged && !datesChanged && !row->kept && row->seenToday &&
      !row->goneSince.isValid()) {
    transaction.commit();
    return outcome;
  }
  RunOnRow(connection_,
           QStringLiteral("UPDATE KANAL_BOOKING SET ANKOMST = :ANKOMST, AVREISE = :AVREISE, "
                          "SIST_SETT = :SIST_SETT, BEHOLDT = NULL "
                          "WHERE KANAL = :KANAL AND UID = :UID"),
           channel_.name, uid, [&](Statement& s) {
             s.bindDate(QStringLiteral("ANKOMST"), arrival);
             s.bindDate(QStringLiteral("AVREISE"), departure);
             s.bindDateTime(QStringLiteral("SIST_SETT"), now);
           });
  transaction.commit();
  return outcome;
}

ChannelBookings::Outcome ChannelBookings::Adopt(const QString& oldUid, const QString& uid,
                                                const QDate& arrival, const QDate& departure,
                                                const QDateTime& now, QStringList* notes) {
  {
    WriteTransaction transaction(connection_);
    transaction.lockReservation(channel_.facility, channel_.type);
    const std::optional<Row> old = FindRow(oldUid, now);
    if (old && old->fate == Fate::kLive && !FindRow(uid, now)) {
      RunOnRow(connection_,
               QStringLiteral("UPDATE KANAL_BOOKING SET UID = :NY, ANKOMST = :ANKOMST, "
                              "AVREISE = :AVREISE, SIST_SETT = :SIST_SETT, BEHOLDT = NULL "
                              "WHERE KANAL = :KANAL AND UID = :UID"),
               channel_.name, oldUid, [&](Statement& s) {
                 s.bindText(QStringLiteral("NY"), uid);
                 s.bindDate(QStringLiteral("ANKOMST"), arrival);
                 s.bindDate(QStringLiteral("AVREISE"), departure);
                 s.bindDateTime(QStringLiteral("SIST_SETT"), now);
               });
      ClearGone(oldUid);
      if (old->arrival != arrival || old->departure != departure) {
        MoveBooking(old->refnr, arrival, departure);
      }
      *notes << QStringLiteral("event %1 (%2) is taken for event %3 (%4), which left the "
                               "calendar: the same stay under a new UID, so its booking %5 "
                               "follows it")
                    .arg(uid, StayText(arrival, departure), oldUid,
                         StayText(old->arrival, old->departure))
                    .arg(old->refnr);
      transaction.commit();
      return Outcome::kMatched;
    }
  }
  return Apply(uid, arrival, departure, now, notes);
}

void ChannelBookings::MarkGone(const QString& uid, const QDateTime& now) {
  WriteTransaction transaction(connection_);
  RunOnRow(connection_,
           QStringLiteral("INSERT INTO KANAL_BORTE (KANAL, UID, BORTE_FRA) "
                          "SELECT :KANAL, :UID, :BORTE_FRA WHERE NOT EXISTS ("
                          "SELECT 1 FROM KANAL_BORTE WHERE KANAL = :KANAL2 AND UID = :UID2)"),
           channel_.name, uid, [&](Statement& s) {
             s.bindDateTime(QStringLiteral("BORTE_FRA"), now);
             s.bindText(QStringLiteral("KANAL2"), channel_.name);
             s.bindText(QStringLiteral("UID2"), uid);
           });
  transaction.commit();
}

ChannelBookings::Outcome ChannelBookings::Withdraw(const QString& uid, Withdrawal why,
                                                   const QDateTime& now, QStringList* notes) {
  WriteTransaction transaction(connection_);
  transaction.lockReservation(channel_.facility, channel_.type);
  const std::optional<Row> row = FindRow(uid, now);
  if (!row) return Outcome::kSkipped;

  if (why == Withdrawal::kGone && row->departure <= now.date()) {
    DeleteRow(uid);
    transaction.commit();
    return Outcome::kDropped;
  }
  if (row->fate != Fate::kLive) return Outcome::kUnchanged;
  const QString reason = why == Withdrawal::kGone ? QStringLiteral("is gone from the calendar")
                                                  : QStringLiteral("was cancelled");
  if (channel_.keepWithdrawn) {
    if (row->kept) return Outcome::kKept;
    RunOnRow(connection_,
             QStringLiteral("UPDATE KANAL_BOOKING SET BEHOLDT = :BEHOLDT "
                            "WHERE KANAL = :KANAL AND UID = :UID"),
             channel_.name, uid,
             [&](Statement& s) { s.bindDateTime(QStringLiteral("BEHOLDT"), now); });
    *notes << QStringLiteral("event %1 %2: its booking %3 is kept, as the channel file says")
                  .arg(uid, reason)
                  .arg(row->refnr);
    transaction.commit();
    return Outcome::kKept;
  }
  // As a cancellation of a booking with a booker: kept, and marked cancelled. The row stays,
  // marked, so that the event's return gives the booking back.
  BookingStore::MarkCancelled(connection_, row->refnr);
  RunOnRow(connection_,
           QStringLiteral("UPDATE KANAL_BOOKING SET KONFLIKT = NULL "
                          "WHERE KANAL = :KANAL AND UID = :UID"),
           channel_.name, uid);
  Statement marked(connection_);
  marked.add(QStringLiteral(
      "UPDATE KANAL_BORTE SET AVLYST = :AVLYST WHERE KANAL = :KANAL AND UID = :UID"));
  marked.bindDateTime(QStringLiteral("AVLYST"), now);
  marked.bindText(QStringLiteral("KANAL"), channel_.name);
  marked.bindText(QStringLiteral("UID"), uid);
  marked.run();
  if (marked.rowsAffected() == 0) {
    RunOnRow(connection_,
             QStringLiteral("INSERT INTO KANAL_BORTE (KANAL, UID, BORTE_FRA, AVLYST) "
                            "VALUES (:KANAL, :UID, :BORTE_FRA, :AVLYST)"),
             channel_.name, uid, [&](Statement& s) {
               s.bindDateTime(QStringLiteral("BORTE_FRA"), now);
               s.bindDateTime(QStringLiteral("AVLYST"), now);
             });
  }
  *notes << QStringLiteral("event %1 %2: its booking %3 is cancelled")
                .arg(uid, reason)
                .arg(row->refnr);
  transaction.commit();
  return Outcome::kCancelled;
}

void ChannelBookings::Forget(const QString& uid) {
  WriteTransaction transaction(connection_);
  DeleteRow(uid);
  transaction.commit();
}

void ChannelBookings::ClearGone(const QString& uid) {
  RunOnRow(connection_,
           QStringLiteral("DELETE FROM KANAL_BORTE WHERE KANAL = :KANAL AND UID = :UID"),
           channel_.name, uid);
}

void ChannelBookings::DeleteRow(const QString& uid) {
  ClearGone(uid);
  RunOnRow(connection_,
           QStringLiteral("DELETE FROM KANAL_BOOKING WHERE KANAL = :KANAL AND UID = :UID"),
           channel_.name, uid);
}

void ChannelBookings::CheckConflict(const Row& seen, const QDate& today, QStringList* notes) {
  const auto conflictOf = [&](const Row& row) -> std::optional<QList<qint64>> {
    if (row.fate != Fate::kLive) return std::nullopt;
    return Conflict(row.refnr, row.arrival, row.departure, today);
  };
  // Looked at first without the lock: most rows are as they were, and write nothing.
  if (conflictOf(seen) == seen.conflict) return;
  WriteTransaction transaction(connection_);
  transaction.lockReservation(channel_.facility, channel_.type);
  const std::optional<Row> row = FindRow(seen.uid, today.startOfDay());
  if (!row) return;
  const std::optional<QList<qint64>> conflict = conflictOf(*row);
  if (conflict == row->conflict) return;
  RunOnRow(connection_,
           QStringLiteral("UPDATE KANAL_BOOKING SET KONFLIKT = :KONFLIKT "
                          "WHERE KANAL = :KANAL AND UID = :UID"),
           channel_.name, row->uid, [&](Statement& s) { BindConflict(s, conflict); });
  NoteConflictChange(*row, conflict, notes);
  // The business hears of a new overbooking with its change (its mail commits with it).
  if (conflict && !row->conflict && events_ != nullptr) {
    events_->Overbooked(connection_, channel_.name, row->refnr, *conflict);
  }
  transaction.commit();
}

QList<StoredConflict> ChannelBookings::Conflicts() {
  Statement s(connection_);
  s.add({"SELECT UID, REFNR, ANKOMST, AVREISE, KONFLIKT FROM KANAL_BOOKING",
         "WHERE KANAL = :KANAL AND KONFLIKT IS NOT NULL", "ORDER BY ANKOMST, REFNR"});
  s.bindText(QStringLiteral("KANAL"), channel_.name);
  s.run();
  QList<StoredConflict> conflicts;
  while (s.next()) {
    conflicts.append({s.text(QStringLiteral("UID")), s.integer64(QStringLiteral("REFNR")),
                      ParseConflict(s).value_or(QList<qint64>()),
                      s.date(QStringLiteral("ANKOMST")), s.date(QStringLiteral("AVREISE"))});
  }
  return conflicts;
}

std::optional<ChannelSuspicion> ChannelBookings::Suspicion() {
  Statement s(connection_);
  s.add({"SELECT MISTENKT_FRA, MISTENKT_FORM, MISTENKT_BORTE, MISTENKT_AV FROM KANAL_STATUS",
         "WHERE KANAL = :KANAL"});
  s.bindText(QStringLiteral("KANAL"), channel_.name);
  s.run();
  if (!s.next()) return std::nullopt;
  return ChannelSuspicion{s.dateTime(QStringLiteral("MISTENKT_FRA")),
                          s.text(QStringLiteral("MISTENKT_FORM")),
                          s.integer(QStringLiteral("MISTENKT_BORTE")),
                          s.integer(QStringLiteral("MISTENKT_AV"))};
}

void ChannelBookings::SetSuspicion(const std::optional<ChannelSuspicion>& suspicion) {
  WriteTransaction transaction(connection_);
  Statement clear(connection_);
  clear.add(QStringLiteral("DELETE FROM KANAL_STATUS WHERE KANAL = :KANAL"));
  clear.bindText(QStringLiteral("KANAL"), channel_.name);
  clear.run();
  if (suspicion) {
    Statement set(connection_);
    set.add({"INSERT INTO KANAL_STATUS (KANAL, MISTENKT_FRA, MISTENKT_FORM, MISTENKT_BORTE,",
             "  MISTENKT_AV) VALUES (:KANAL, :FRA, :FORM, :BORTE, :AV)"});
    set.bindText(QStringLiteral("KANAL"), channel_.name);
    set.bindDateTime(QStringLiteral("FRA"), suspicion->since);
    set.bindText(QStringLiteral("FORM"), suspicion->shape);
    set.bindInteger(QStringLiteral("BORTE"), suspicion->dropped);
    set.bindInteger(QStringLiteral("AV"), suspicion->of);
    set.run();
  }
  transaction.commit();
}

}  // namespace taurelin
