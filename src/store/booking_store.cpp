#include "store/booking_store.h"

#include "store/booking_creation.h"
#include "store/booking_events.h"
#include "store/connection.h"
#include "store/data_module.h"
#include "store/mail_confirmations.h"
#include "store/read_snapshot.h"
#include "store/unchanged_answers.h"
#include "store/database_error.h"
#include "store/statement.h"
#include "store/write_transaction.h"

#include <QHash>

#include <cmath>
#include <optional>
#include <utility>

namespace taurelin {
namespace {

// The last day the prices of a stay run to: a stay without nights is priced as one night.
QDate PricedUntil(const Stay& stay) {
  return stay.departure == stay.arrival ? stay.arrival.addDays(1) : stay.departure;
}

// Runs one write on a booking's lines or header.
void Execute(Connection& connection, const char* sql, qint64 refnr) {
  Statement statement(connection);
  statement.add(QString::fromLatin1(sql));
  statement.bindInteger(QStringLiteral("REFNR"), refnr);
  statement.run();
}

// One question to the data module: its answer is kept, and given again for the same
// question while the database has not changed.
class Question {
 public:
  explicit Question(TdmBook& module) : module_(module), answers_(module.beginQuestion()) {}
  ~Question() { module_.endQuestion(); }
  Question(const Question&) = delete;
  Question& operator=(const Question&) = delete;

  UnchangedAnswers& answers() { return answers_; }

 private:
  TdmBook& module_;
  UnchangedAnswers& answers_;
};

}  // namespace

BookingStore::BookingStore(Connection& connection, StoreReports* reports)
    : connection_(connection), reports_(reports) {}

BookingStore::~BookingStore() = default;

void BookingStore::Open() {
  module_ = std::make_unique<TdmBook>(connection_, reports_);
  module_->openMain();
}

void BookingStore::OpenWithoutAlias(const QString& name, const QString& aliasFile) {
  module_ = std::make_unique<TdmBook>(connection_, reports_);
  module_->openMainWithoutAlias(name, aliasFile);
}

void BookingStore::Close() { module_.reset(); }

Occupancy& BookingStore::occupancy() { return module().occupancy(); }

Statement BookingStore::NewStatement() { return Statement(connection_); }

const Backend& BookingStore::backend() const { return connection_.backend(); }

TdmBook& BookingStore::module() const {
  if (!module_) {
    throw DatabaseError(QStringLiteral("the booking database is not connected"),
                        DatabaseError::Cause::kConnection);
  }
  return *module_;
}

BookingStore::HeldQuestions::HeldQuestions(Connection& connection, TdmBook* module)
    : reads_(connection), module_(module) {
  if (module_ != nullptr) module_->holdQuestions();
}

BookingStore::HeldQuestions::~HeldQuestions() {
  if (module_ != nullptr) module_->releaseQuestions();
}

bool BookingStore::FacilityNumberKnown(const QString& text) {
  const auto lookUp = [&] {
    Statement s(connection_);
    s.add({"SELECT ANLEGGSNR", "FROM", "  ANLEGG", "WHERE", "  ANLEGGSNR = :ANLEGGSNR"});
    s.bindNumber(QStringLiteral("ANLEGGSNR"), text);
    s.run();
    return s.next() && s.text(QStringLiteral("ANLEGGSNR")) == text;
  };
  // A request that asks nothing after the check would pay for the look at the mark.
  if (!module_ || !module_->questionsHeld()) return lookUp();
  Question question(*module_);
  return question.answers().facility(text, lookUp);
}

QList<TypeAvailability> BookingStore::Availability(int facility, const QList<int>& types,
                                                   const Stay& stay) {
  Question question(module());
  const UnchangedAnswers::AvailabilityKey key{
      facility, types, UnchangedAnswers::Day(stay.arrival), UnchangedAnswers::Day(stay.departure),
      UnchangedAnswers::Day(QDate::currentDate())};
  return question.answers().availability(key, [&] {
    const ReadSnapshot reads(connection_);
    return CountAvailability(facility, types, stay);
  });
}

QList<TypeAvailability> BookingStore::CountAvailability(int facility, const QList<int>& types,
                                                        const Stay& stay) {
  Occupancy& occupancy = module().occupancy();
  occupancy.InitBelegg();
  occupancy.LoadBelegg(stay.arrival, stay.departure, facility);

  // Prices belong to the rental type: "all facilities" lists a type once for each facility
  // that has it, and each of them gets the same prices, read once.
  QList<int> distinct;
  for (const int type : types) {
    if (!distinct.contains(type)) distinct.append(type);
  }
  const QList<QList<WebPrice>> prices =
      module().WebPricesOfTypes(distinct, stay.arrival, PricedUntil(stay));
  QHash<int, qsizetype> priced;
  for (qsizetype i = 0; i < distinct.size(); ++i) priced.insert(distinct[i], i);

  QList<TypeAvailability> answer;
  answer.reserve(types.size());
  for (const int type : types) {
    const int free = occupancy.GetKapasitet(facility, type) -
                     occupancy.GetMaxBelegg(facility, type, stay.arrival, stay.departure,
                                            OccupancyCounter::NotFree);
    answer.append({type, free, prices[priced.value(type)]});
  }
  return answer;
}

QList<AvailabilityDay> BookingStore::Matrix(int facility, int agent, const QDate& from,
                                            const QDate& to) {
  TdmBook& data = module();
  if (to < from) return {};
  const qint64 days = from.daysTo(to) + 1;
  if (days > kMaxMatrixDays) throw DatabaseError(MatrixTooLong(days));
  Question question(data);
  const UnchangedAnswers::MatrixKey key{facility, agent, UnchangedAnswers::Day(from),
                                        UnchangedAnswers::Day(to),
                                        UnchangedAnswers::Day(QDate::currentDate())};
  return question.answers().matrix(key, [&] {
    const ReadSnapshot reads(connection_);
    return data.occupancy().Matrix(from, to, facility, agent);
  });
}

QList<WebPrice> BookingStore::StayPrices(int type, const Stay& stay) {
  return module().WebPricesOfTypes({type}, stay.arrival, PricedUntil(stay)).value(0);
}

ReservationOutcome BookingStore::Reserve(const ReservationPlan& plan) {
  using Kind = ReservationOutcome::Kind;
  qint64 refnr = plan.refnr.value_or(0);
  try {
    // Free units are counted and the booking written under one write lock.
    WriteTransaction lock(module().connection());
    lock.lockReservation(plan.facility, plan.type);
    Occupancy& occupancy = module().occupancy();
    occupancy.InitBelegg();
    occupancy.LoadBelegg(plan.stay.arrival, plan.stay.departure, plan.facility);
    const int free = occupancy.GetKapasitet(plan.facility, plan.type) -
                     occupancy.GetMaxBelegg(plan.facility, plan.type, plan.stay.arrival,
                                            plan.stay.departure, OccupancyCounter::NotFree);
    if (plan.units > free) return {Kind::kOverbooked, {}};
    if (plan.unusableReference) return {*plan.unusableReference, {}};

    if (!plan.refnr) {
      try {
        refnr = NewReferenceNumber();
      } catch (const DatabaseError&) {
        return {Kind::kNoReferenceNumber, {}};
      }
    } else {
      try {
        Statement booking(module().connection());
        booking.add(QStringLiteral("SELECT REFNR, HOY_DATO FROM BOOKING WHERE REFNR = :REFNR"));
        booking.bindInteger(QStringLiteral("REFNR"), *plan.refnr);
        booking.run();
        if (!booking.next()) return {Kind::kUnknownBooking, {}};
      } catch (const DatabaseError&) {
        return {Kind::kBookingLookupFailed, {}};
      }
    }
    if (!plan.agent || !plan.adults || *plan.adults < 0) return {Kind::kNotWritten, {}};

    TBookingData header;
    header.AKODE = *plan.agent;
    header.ANLEGGSNR = plan.facility;
    header.BEKREFT = QStringLiteral("B");
    header.FORMAL = 0;
    header.OPPR_AV = 0;
    header.REFNR = refnr;
    header.REG_DATO = QDate::currentDate();
    TUtleieData line;
    line.A_PRIS = plan.total;
    line.ANKOMST = plan.stay.arrival;
    line.AVREISE = plan.stay.departure;
    line.ANLEGG = plan.facility;
    line.ANTALL = plan.units;
    line.ANT_VOKSEN = *plan.adults;
    line.ETTER = QStringLiteral("F");
    line.TIL = QStringLiteral("M");
    line.PENSJON = static_cast<int>(std::lround(plan.price.board));
    line.PRISKODE = plan.price.priceCode;
    line.PRISTYPE = plan.priceType.left(1);
    line.LEIETYPE = QStringLiteral("U");
    line.REFNR = header.REFNR;
    line.STATKODE = plan.istat.left(1);
    line.UTYPE = plan.type;
    line.state = u'I';
    WriteBooking(header, line);
    if (plan.beforeCommit) plan.beforeCommit(refnr);
    lock.commit();
  } catch (const std::exception&) {
    return {Kind::kNotWritten, {}};
  }
  return {Kind::kReserved, refnr};
}

bool BookingStore::IsNationCode(const QString& code) {
  Statement s(connection_);
  s.add({"SELECT", "  NKODE", "  NAVN", "FROM", "  NASJON", "WHERE", "  NKODE = :NKODE"});
  s.bindText(QStringLiteral("NKODE"), code);
  s.run();
  return s.next();
}

QList<std::pair<QString, QString>> BookingStore::Nations() {
  Statement s(connection_);
  s.add(QStringLiteral("SELECT NKODE, NAVN FROM NASJON ORDER BY NAVN, NKODE"));
  s.run();
  QList<std::pair<QString, QString>> nations;
  while (s.next()) {
    nations.append({s.text(QStringLiteral("NKODE")).trimmed(), s.text(QStringLiteral("NAVN"))});
  }
  return nations;
}

bool BookingStore::BookingExists(qint64 refnr) {
  Statement s(connection_);
  s.add(QStringLiteral("SELECT REFNR FROM BOOKING WHERE REFNR = :REFNR"));
  s.bindInteger(QStringLiteral("REFNR"), refnr);
  s.run();
  return s.next();
}

BookingState BookingStore::State(qint64 refnr) {
  Statement s(connection_);
  s.add({"SELECT",
         "  B.BESTNR,",
         "  B.AVBESTILT,",
         "  (SELECT COUNT(*) FROM LEIE L WHERE L.REFNR = B.REFNR AND L.LEIETYPE = 'O') LINES,",
         "  (SELECT COUNT(*) FROM LEIE L WHERE L.REFNR = B.REFNR AND L.LEIETYPE = 'O'",
         "     AND L.STATUS = 'A') CANCELLED_LINES",
         "FROM BOOKING B",
         "WHERE B.REFNR = :REFNR"});
  s.bindInteger(QStringLiteral("REFNR"), refnr);
  s.run();
  if (!s.next()) return BookingState::kUnknown;
  const int lines = s.integer(QStringLiteral("LINES"));
  if (s.integer(QStringLiteral("AVBESTILT")) != 0 ||
      (lines > 0 && s.integer(QStringLiteral("CANCELLED_LINES")) == lines)) {
    return BookingState::kCancelled;
  }
  return s.isNull(QStringLiteral("BESTNR")) ? BookingState::kHeld : BookingState::kBooked;
}

AttachOutcome BookingStore::AttachBooker(qint64 refnr, const QString& agent,
                                         const Booker& booker, BookingEvents* events,
                                         const QString& language,
                                         const AwaitedConfirmation* awaited) {
  using Kind = AttachOutcome::Kind;
  Connection& connection = connection_;
  std::optional<WriteTransaction> writes;
  qint64 bestnr = 0;
  try {
    writes.emplace(connection);
    bestnr = NewBooker(connection);
  } catch (const DatabaseError&) {
    return {Kind::kNotCreated, 0};
  }

  try {
    Statement details(connection);
    details.add({"UPDATE BESTILL SET ", "  ENAVN = :ENAVN,", "  FNAVN = :FNAVN,", "  ADR = :ADR,",
                 "  POSTNR = :POSTNR,", "  POSTSTED = :POSTSTED,", "  NKODE = :NKODE,",
                 "  TLF = :TLF,", "  FAX = :FAX,", "  MAIL = :MAIL,", "  ANM = :ANM",
                 "WHERE BESTNR = :BESTNR"});
    details.bindText(QStringLiteral("ENAVN"), booker.surname);
    details.bindText(QStringLiteral("FNAVN"), booker.firstName);
    details.bindText(QStringLiteral("ADR"), booker.address);
    // The postcode is a number to the booking database: an empty one fails the update.
    // A postcode is digits that must keep their leading zeros ("0150").
    details.bindNumberText(QStringLiteral("POSTNR"), booker.postcode);
    details.bindText(QStringLiteral("POSTSTED"), booker.place);
    details.bindText(QStringLiteral("NKODE"), booker.nation);
    details.bindText(QStringLiteral("TLF"), booker.phone);
    details.bindText(QStringLiteral("FAX"), booker.fax);
    details.bindText(QStringLiteral("MAIL"), booker.mail);
    details.bindText(QStringLiteral("ANM"), booker.remark);
    details.bindInteger(QStringLiteral("BESTNR"), bestnr);
    details.run();
  } catch (const DatabaseError&) {
    return {Kind::kNotUpdated, bestnr};
  }

  if (awaited != nullptr) {
    // The booker waits: the booking stays a hold, to this server and to every other program.
    try {
      // Only a hold waits; one given its booker meanwhile by another program is left alone.
      if (State(refnr) != BookingState::kHeld) return {Kind::kNotLinked, bestnr};
      const bool first = MailConfirmations(connection).Await(
          refnr, awaited->key, {bestnr, agent, language}, QDateTime::currentDateTime());
      const std::optional<QDateTime> ends =
          awaited->holdEnds ? awaited->holdEnds(first) : std::nullopt;
      if (events != nullptr) {
        events->ConfirmationAwaited(connection, refnr, bestnr, language, awaited->key, ends);
      }
      writes->commit();
    } catch (const std::exception&) {
      return {Kind::kNotCreated, bestnr};
    }
    return {Kind::kAwaiting, bestnr};
  }

  bool hadBooker = false;
  try {
    if (events != nullptr) {
      Statement before(connection);
      before.add(QStringLiteral("SELECT BESTNR FROM BOOKING WHERE REFNR = :REFNR"));
      before.bindInteger(QStringLiteral("REFNR"), refnr);
      before.run();
      hadBooker = before.next() && !before.isNull(QStringLiteral("BESTNR"));
    }
    Statement link(connection);
    link.add({"UPDATE BOOKING SET ", "  AKODE = :AKODE,", "  BESTNR = :BESTNR",
              "WHERE REFNR = :REFNR"});
    link.bindNumber(QStringLiteral("AKODE"), agent);
    link.bindInteger(QStringLiteral("BESTNR"), bestnr);
    link.bindInteger(QStringLiteral("REFNR"), refnr);
    link.run();
    // The booking was there when it was looked up; a writer sharing the database may have
    // cancelled it since. A booker linked to nothing is no success.
    if (link.rowsAffected() != 1) return {Kind::kNotLinked, bestnr};
  } catch (const DatabaseError&) {
    return {Kind::kNotLinked, bestnr};
  }

  try {
    if (events != nullptr) {
      events->BookerAttached(connection, refnr, !hadBooker, language);
    }
    writes->commit();
  } catch (const std::exception&) {
    return {Kind::kNotCreated, bestnr};
  }
  return {Kind::kAttached, bestnr};
}

ConfirmOutcome BookingStore::ConfirmBooker(qint64 refnr, const QString& key,
                                           BookingEvents* events) {
  Connection& connection = connection_;
  try {
    WriteTransaction writes(connection);
    MailConfirmations::Waiting waiting;
    switch (MailConfirmations(connection).Confirm(refnr, key, &waiting)) {
      case MailConfirmations::Outcome::kConfirmed:
        break;
      case MailConfirmations::Outcome::kWrongKey:
        return ConfirmOutcome::kWrongKey;
      case MailConfirmations::Outcome::kNotWaiting:
        return ConfirmOutcome::kNotWaiting;
    }
    Statement link(connection);
    link.add({"UPDATE BOOKING SET ", "  AKODE = :AKODE,", "  BESTNR = :BESTNR",
              "WHERE REFNR = :REFNR AND BESTNR IS NULL"});
    link.bindNumber(QStringLiteral("AKODE"), waiting.agent);
    link.bindInteger(QStringLiteral("BESTNR"), waiting.bestnr);
    link.bindInteger(QStringLiteral("REFNR"), refnr);
    link.run();
    // The hold ran out, or another program gave it a booker meanwhile: nothing to confirm.
    if (link.rowsAffected() != 1) return ConfirmOutcome::kNotWaiting;
    if (events != nullptr) events->BookerAttached(connection, refnr, true, waiting.language);
    writes.commit();
  } catch (const std::exception&) {
    return ConfirmOutcome::kFailed;
  }
  return ConfirmOutcome::kConfirmed;
}

bool BookingStore::AwaitsConfirmation(qint64 refnr) {
  return MailConfirmations(connection_).Awaits(refnr);
}

CancelOutcome BookingStore::Cancel(qint64 refnr, CancelScope scope,
                                   BookingEvents* events) {
  try {
    WriteTransaction transaction(connection_);
    bool hasBooker = false;
    {
      Statement booking(connection_);
      booking.add(QStringLiteral("SELECT BESTNR FROM BOOKING WHERE REFNR = :REFNR"));
      booking.bindInteger(QStringLiteral("REFNR"), refnr);
      booking.run();
      if (!booking.next()) return CancelOutcome::kNothingDone;
      hasBooker = !booking.isNull(QStringLiteral("BESTNR"));
    }
    if (hasBooker && scope == CancelScope::kReservationOnly) return CancelOutcome::kNothingDone;
    if (!hasBooker) {
      Execute(connection_, "DELETE FROM LEIE WHERE REFNR = :REFNR", refnr);
      Execute(connection_, "DELETE FROM BOOKING WHERE REFNR = :REFNR", refnr);
    } else {
      MarkCancelled(connection_, refnr);
      if (events != nullptr) events->Cancelled(connection_, refnr);
    }
    transaction.commit();
  } catch (const std::exception&) {
    return CancelOutcome::kFailed;
  }
  return CancelOutcome::kCancelled;
}

qint64 BookingStore::NewReferenceNumber() {
  Statement number = module().stpRefnr();
  number.run();
  if (!number.next()) throw DatabaseError(QStringLiteral("LAGE_REFNR gave no number"));
  return number.integer64(QStringLiteral("REFNR"));
}

void BookingStore::WriteBooking(TBookingData& header, TUtleieData& line) {
  module().SaveBooking(header, line);
}

qint64 BookingStore::NewBooker(Connection& connection, const QString& surname,
                               const QString& firstName, const QString& remark) {
  Statement number(connection);
  number.add(QStringLiteral("SELECT BESTNR FROM LAGE_BESTNR"));
  number.run();
  if (!number.next()) throw DatabaseError(QStringLiteral("LAGE_BESTNR gave no number"));
  const qint64 bestnr = number.integer64(QStringLiteral("BESTNR"));
  number.close();
  Statement booker(connection);
  booker.add({"INSERT INTO BESTILL (BESTNR, ENAVN, FNAVN, ANM)",
              "VALUES (:BESTNR, :ENAVN, :FNAVN, :ANM)"});
  booker.bindInteger(QStringLiteral("BESTNR"), bestnr);
  const auto bindName = [&](const char* column, const QString& value) {
    if (value.isNull()) {
      booker.bindNull(QLatin1String(column));
    } else {
      booker.bindText(QLatin1String(column), value);
    }
  };
  bindName("ENAVN", surname);
  bindName("FNAVN", firstName);
  bindName("ANM", remark);
  booker.run();
  return bestnr;
}

void BookingStore::MarkCancelled(Connection& connection, qint64 refnr) {
  Execute(connection, "UPDATE LEIE SET STATUS = 'A' WHERE REFNR = :REFNR", refnr);
  Execute(connection, "UPDATE BOOKING SET AVBESTILT = 1 WHERE REFNR = :REFNR", refnr);
}

void BookingStore::MarkBookedAgain(Connection& connection, qint64 refnr) {
  Execute(connection, "UPDATE LEIE SET STATUS = NULL WHERE REFNR = :REFNR AND STATUS = 'A'",
          refnr);
  Execute(connection, "UPDATE BOOKING SET AVBESTILT = 0 WHERE REFNR = :REFNR", refnr);
}

}  // namespace taurelin
