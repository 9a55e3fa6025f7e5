#include "store/channel_bookings.h"

#include "store/backend.h"
#include "store/booking_creation.h"
#include "store/connection.h"
#include "store/data_module.h"
#include "store/database_error.h"
#include "store/statement.h"
#include "store/write_transaction.h"

#include <QDateTime>

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

}  // namespace

struct ChannelBookings::Row {
  QString uid;
  qint64 refnr = 0;
  QDate arrival;
  QDate departure;
  std::optional<QList<qint64>> conflict;
  bool kept = false;
  bool seenToday = false;
};

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

ChannelBookings::ChannelBookings(TdmBook& module, Channel channel)
    : module_(module), connection_(module.connection()), channel_(std::move(channel)) {}

bool ChannelBookings::SellsType() {
  Occupancy& occupancy = module_.occupancy();
  occupancy.InitBelegg();
  return occupancy.GetKapasitet(channel_.facility, channel_.type) >= 0;
}

std::optional<ChannelBookings::Row> ChannelBookings::FindRow(const QString& uid) {
  Statement s(connection_);
  s.add({"SELECT REFNR, ANKOMST, AVREISE, KONFLIKT, BEHOLDT,",
         "  CASE WHEN SIST_SETT < :IDAG THEN 0 ELSE 1 END AS SETT_IDAG", "FROM KANAL_BOOKING",
         "WHERE KANAL = :KANAL AND UID = :UID"});
  s.bindDate(QStringLiteral("IDAG"), QDate::currentDate());
  s.bindText(QStringLiteral("KANAL"), channel_.name);
  s.bindText(QStringLiteral("UID"), uid);
  s.run();
  if (!s.next()) return std::nullopt;
  Row row;
  row.uid = uid;
  row.refnr = s.integer64(QStringLiteral("REFNR"));
  row.arrival = s.date(QStringLiteral("ANKOMST"));
  row.departure = s.date(QStringLiteral("AVREISE"));
  row.conflict = ParseConflict(s);
  row.kept = !s.isNull(QStringLiteral("BEHOLDT"));
  row.seenToday = s.integer(QStringLiteral("SETT_IDAG")) != 0;
  return row;
}

// Gone here: no header, marked cancelled, or no object line that still occupies a unit.
ChannelBookings::BookingFate ChannelBookings::FateOf(qint64 refnr) {
  Statement s(connection_);
  s.add({"SELECT",
         "  B.AVBESTILT,",
         "  (SELECT COUNT(*) FROM LEIE L WHERE L.REFNR = B.REFNR AND L.LEIETYPE = 'O'",
         "     AND (L.STATUS <> 'A' OR L.STATUS IS NULL)) LIVE_LINES",
         "FROM BOOKING B",
         "WHERE B.REFNR = :REFNR"});
  s.bindInteger(QStringLiteral("REFNR"), refnr);
  s.run();
  if (!s.next() || s.integer(QStringLiteral("AVBESTILT")) != 0 ||
      s.integer(QStringLiteral("LIVE_LINES")) == 0) {
    return BookingFate::kGoneHere;
  }
  return BookingFate::kLive;
}

qint64 ChannelBookings::NewBooking(const QString& uid, const QDate& arrival,
                                   const QDate& departure) {
  // The booker makes the booking a booked one: the expiry sweep leaves it alone.
  Statement number(connection_);
  number.add(QStringLiteral("SELECT BESTNR FROM LAGE_BESTNR"));
  number.run();
  if (!number.next()) throw DatabaseError(QStringLiteral("LAGE_BESTNR gave no number"));
  const qint64 bestnr = number.integer64(QStringLiteral("BESTNR"));
  number.close();
  Statement booker(connection_);
  booker.add({"INSERT INTO BESTILL (BESTNR, ENAVN, FNAVN, ANM)",
              "VALUES (:BESTNR, :ENAVN, :FNAVN, :ANM)"});
  booker.bindInteger(QStringLiteral("BESTNR"), bestnr);
  booker.bindText(QStringLiteral("ENAVN"), channel_.name.left(kLongestSurname));
  booker.bindText(QStringLiteral("FNAVN"), QStringLiteral("Channel"));
  booker.bindText(QStringLiteral("ANM"),
                  QStringLiteral("Event %1 of channel calendar %2")
                      .arg(uid, channel_.name)
                      .left(kLongestRemark));
  booker.run();

  Statement refnrs = module_.stpRefnr();
  refnrs.run();
  if (!refnrs.next()) throw DatabaseError(QStringLiteral("LAGE_REFNR gave no number"));
  const qint64 refnr = refnrs.integer64(QStringLiteral("REFNR"));
  refnrs.close();

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
  header.BEKREFT_DATO = QDateTime::currentDateTime();
  header.BESTNR = static_cast<double>(bestnr);
  header.FORMAL = 0;
  header.OPPR_AV = 0;
  header.REFNR = refnr;
  header.REG_DATO = QDate::currentDate();
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
  module_.SaveBooking(header, line);
  return refnr;
}

std::optional<QList<qint64>> ChannelBookings::Conflict(qint64 refnr, const QDate& arrival,
                                                       const QDate& departure,
                                                       const QDate& today) {
  if (departure <= today) return std::nullopt;
  // Counted as a reservation counts, with this booking's unit among those taken.
  Occupancy& occupancy = module_.occupancy();
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
    *notes << QStringLiteral("event %1 (booking %2, %3 to %4) is booked beyond the units of "
                             "rental type %5 at facility %6: it shares nights with bookings %7")
                  .arg(row.uid)
                  .arg(row.refnr)
                  .arg(row.arrival.toString(Qt::ISODate), row.departure.toString(Qt::ISODate))
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
                                                const QDate& departure, const QDate& today,
                                                QStringList* notes) {
  WriteTransaction transaction(connection_);
  transaction.lockReservation(channel_.facility, channel_.type);
  const QDateTime now = QDateTime::currentDateTime();
  std::optional<Row> row = FindRow(uid);

  if (!row) {
    if (departure <= today) return Outcome::kSkipped;
    Row added{uid, NewBooking(uid, arrival, departure), arrival, departure, std::nullopt, false};
    const std::optional<QList<qint64>> conflict = Conflict(added.refnr, arrival, departure, today);
    Statement insert(connection_);
    insert.add({"INSERT INTO KANAL_BOOKING (KANAL, UID, REFNR, ANKOMST, AVREISE, SIST_SETT,",
                "  KONFLIKT)",
                "VALUES (:KANAL, :UID, :REFNR, :ANKOMST, :AVREISE, :SIST_SETT, :KONFLIKT)"});
    insert.bindText(QStringLiteral("KANAL"), channel_.name);
    insert.bindText(QStringLiteral("UID"), uid);
    insert.bindInteger(QStringLiteral("REFNR"), added.refnr);
    insert.bindDate(QStringLiteral("ANKOMST"), arrival);
    insert.bindDate(QStringLiteral("AVREISE"), departure);
    insert.bindDateTime(QStringLiteral("SIST_SETT"), now);
    BindConflict(insert, conflict);
    insert.run();
    NoteConflictChange(added, conflict, notes);
    transaction.commit();
    return Outcome::kAdded;
  }

  const bool datesChanged = row->arrival != arrival || row->departure != departure;
  Outcome outcome = Outcome::kUnchanged;
  std::optional<QList<qint64>> conflict;
  if (FateOf(row->refnr) == BookingFate::kGoneHere) {
    if (datesChanged) {
      *notes << QStringLiteral("event %1 moved to %2 to %3, but its booking %4 was cancelled "
                               "or deleted here: it is not booked again")
                    .arg(uid, arrival.toString(Qt::ISODate), departure.toString(Qt::ISODate))
                    .arg(row->refnr);
    }
  } else {
    if (datesChanged) {
      Statement move(connection_);
      move.add({"UPDATE LEIE SET ANKOMST = :ANKOMST, AVREISE = :AVREISE",
                "WHERE REFNR = :REFNR AND LEIETYPE IN ('U', 'O')"});
      move.bindDate(QStringLiteral("ANKOMST"), arrival);
      move.bindDate(QStringLiteral("AVREISE"), departure);
      move.bindInteger(QStringLiteral("REFNR"), row->refnr);
      move.run();
      outcome = Outcome::kMoved;
    }
    if (row->kept) {
      *notes << QStringLiteral("event %1 is in the calendar again: its booking %2 follows it "
                               "again")
                    .arg(uid)
                    .arg(row->refnr);
    }
    conflict = Conflict(row->refnr, arrival, departure, today);
  }
  // An event seen again as it was writes nothing (once a day its sighting), so that a poll
  // that found nothing new leaves the database, and the answers kept for it, as they were.
  if (!datesChanged && conflict == row->conflict && !row->kept && row->seenToday) {
    transaction.commit();
    return outcome;
  }
  Statement update(connection_);
  update.add({"UPDATE KANAL_BOOKING SET ANKOMST = :ANKOMST, AVREISE = :AVREISE,",
              "  SIST_SETT = :SIST_SETT, KONFLIKT = :KONFLIKT, BEHOLDT = NULL",
              "WHERE KANAL = :KANAL AND UID = :UID"});
  update.bindDate(QStringLiteral("ANKOMST"), arrival);
  update.bindDate(QStringLiteral("AVREISE"), departure);
  update.bindDateTime(QStringLiteral("SIST_SETT"), now);
  BindConflict(update, conflict);
  update.bindText(QStringLiteral("KANAL"), channel_.name);
  update.bindText(QStringLiteral("UID"), uid);
  update.run();
  Row before = *row;
  before.arrival = arrival;
  before.departure = departure;
  NoteConflictChange(before, conflict, notes);
  transaction.commit();
  return outcome;
}

ChannelBookings::Outcome ChannelBookings::Withdraw(const QString& uid, Withdrawal why,
                                                   const QDate& today, QStringList* notes) {
  WriteTransaction transaction(connection_);
  transaction.lockReservation(channel_.facility, channel_.type);
  const std::optional<Row> row = FindRow(uid);
  if (!row) return Outcome::kSkipped;

  const bool ended = row->departure <= today;
  if (FateOf(row->refnr) == BookingFate::kGoneHere || (why == Withdrawal::kGone && ended)) {
    DeleteRow(uid);
    transaction.commit();
    return Outcome::kDropped;
  }
  const QString reason = why == Withdrawal::kGone ? QStringLiteral("is gone from the calendar")
                                                  : QStringLiteral("was cancelled");
  if (channel_.keepWithdrawn) {
    if (row->kept) return Outcome::kKept;
    Statement keep(connection_);
    keep.add({"UPDATE KANAL_BOOKING SET BEHOLDT = :BEHOLDT",
              "WHERE KANAL = :KANAL AND UID = :UID"});
    keep.bindDateTime(QStringLiteral("BEHOLDT"), QDateTime::currentDateTime());
    keep.bindText(QStringLiteral("KANAL"), channel_.name);
    keep.bindText(QStringLiteral("UID"), uid);
    keep.run();
    *notes << QStringLiteral("event %1 %2: its booking %3 is kept, as the channel file says")
                  .arg(uid, reason)
                  .arg(row->refnr);
    transaction.commit();
    return Outcome::kKept;
  }
  // As a cancellation of a booking with a booker: kept, and marked cancelled.
  for (const char* sql : {"UPDATE LEIE SET STATUS = 'A' WHERE REFNR = :REFNR",
                          "UPDATE BOOKING SET AVBESTILT = 1 WHERE REFNR = :REFNR"}) {
    Statement cancel(connection_);
    cancel.add(QString::fromLatin1(sql));
    cancel.bindInteger(QStringLiteral("REFNR"), row->refnr);
    cancel.run();
  }
  DeleteRow(uid);
  *notes << QStringLiteral("event %1 %2: its booking %3 is cancelled")
                .arg(uid, reason)
                .arg(row->refnr);
  transaction.commit();
  return Outcome::kCancelled;
}

void ChannelBookings::DeleteRow(const QString& uid) {
  Statement s(connection_);
  s.add(QStringLiteral("DELETE FROM KANAL_BOOKING WHERE KANAL = :KANAL AND UID = :UID"));
  s.bindText(QStringLiteral("KANAL"), channel_.name);
  s.bindText(QStringLiteral("UID"), uid);
  s.run();
}

QStringList ChannelBookings::Uids() {
  Statement s(connection_);
  s.add(QStringLiteral("SELECT UID FROM KANAL_BOOKING WHERE KANAL = :KANAL"));
  s.bindText(QStringLiteral("KANAL"), channel_.name);
  s.run();
  QStringList uids;
  while (s.next()) uids << s.text(QStringLiteral("UID"));
  return uids;
}

void ChannelBookings::RecheckConflicts(const QSet<QString>& checked, const QDate& today,
                                       QStringList* notes) {
  QStringList uids;
  for (const StoredConflict& conflict : Conflicts()) {
    if (!checked.contains(conflict.uid)) uids << conflict.uid;
  }
  for (const QString& uid : uids) {
    WriteTransaction transaction(connection_);
    transaction.lockReservation(channel_.facility, channel_.type);
    const std::optional<Row> row = FindRow(uid);
    if (!row || !row->conflict) continue;
    std::optional<QList<qint64>> conflict;
    if (FateOf(row->refnr) == BookingFate::kLive) {
      conflict = Conflict(row->refnr, row->arrival, row->departure, today);
    }
    if (conflict == row->conflict) continue;
    Statement update(connection_);
    update.add({"UPDATE KANAL_BOOKING SET KONFLIKT = :KONFLIKT",
                "WHERE KANAL = :KANAL AND UID = :UID"});
    BindConflict(update, conflict);
    update.bindText(QStringLiteral("KANAL"), channel_.name);
    update.bindText(QStringLiteral("UID"), uid);
    update.run();
    NoteConflictChange(*row, conflict, notes);
    transaction.commit();
  }
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

}  // namespace taurelin
