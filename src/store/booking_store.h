#pragma once

// The booking store: the one road by which the handlers, the HTTP face, the expiry sweep and
// the channel import read and write bookings. It owns the statements kept for its connection
// (the data module, TdmBook, lives behind it and is named nowhere else), and it is the one
// place that draws reference and booker numbers, writes a booking, a booker and a
// cancellation. The handlers check the request's values before and format the answer after;
// nothing here knows the protocol.
//
// Promises: every count is made from the database as it stands at the call (the layout kept
// between calls only behind the layout version, see Occupancy; an answer only behind the
// database's change mark, see UnchangedAnswers); a reservation counts the free
// units and writes its booking under one write lock, in one transaction, so no unit is sold
// twice; a failed reservation or cancellation leaves the database as it was. Until it is
// opened (and after it is closed) every call that needs the database fails as on a lost
// connection.

#include "store/availability.h"
#include "store/occupancy_engine.h"
#include "store/read_snapshot.h"
#include "store/statement.h"
#include "store/web_price.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace taurelin {

class Backend;
class BookingEvents;
class Connection;
class Occupancy;
class StoreReports;
class TdmBook;
struct TBookingData;
struct TUtleieData;

struct ReservationOutcome {
  enum class Kind {
    kReserved,
    kOverbooked,            // fewer units free than asked for
    kNoReferenceNumber,     // no new reference number could be drawn
    kUnknownBooking,        // no booking of the number to add to
    kBookingLookupFailed,   // the booking to add to could not be looked up
    kNotWritten,            // the booking could not be written
  };
  Kind kind = Kind::kNotWritten;
  qint64 refnr = 0;  // of the reservation, when reserved
};

// A reservation as the handler has checked it.
struct ReservationPlan {
  int facility = 0;
  int type = 0;           // the rental type as the type summary holds it (0: none)
  QString istat;          // its statistics code
  Stay stay;
  int units = 1;          // at least one
  std::optional<int> adults;  // nothing: the count sent was no whole number
  std::optional<int> agent;   // nothing: the agent sent was no whole number
  std::optional<qint64> refnr;  // the booking to add to; nothing: a new booking
  // Set when the request named the booking by a text that can name none: the outcome it gets
  // once the free units are counted (a lookup that failed, or found no booking).
  std::optional<ReservationOutcome::Kind> unusableReference;
  WebPrice price;         // the price row that decides
  QString priceType;      // of the first fitting price row
  double total = 0;       // the price of the stay as the reply shows it
  // Runs after the booking's rows are written and before they are committed, with the
  // booking's reference number; what it throws rolls the reservation back.
  std::function<void(qint64 refnr)> beforeCommit;
};

// Which bookings a cancellation may touch. A client may cancel any booking. The expiry
// sweep cancels only a reservation that still has no booker: booker details end the
// time-out, so a booking that has them is left as it is.
enum class CancelScope { kAnyBooking, kReservationOnly };

enum class CancelOutcome {
  kCancelled,
  kNothingDone,  // no booking of that number, or one the scope leaves alone
  kFailed,       // the database failed; the booking is as it was
};

// The booker's details as a booking request gives them; the postcode is digits kept as text,
// so that leading zeros stay.
struct Booker {
  QString surname, firstName, address, postcode, place, nation, phone, fax, mail, remark;
};

// What a booking is, read from its own rows: unknown (no header), cancelled (the header's
// cancellation mark, or object lines that are all cancelled), booked (a booker is linked),
// or held (neither).
enum class BookingState { kUnknown, kHeld, kBooked, kCancelled };

struct AttachOutcome {
  enum class Kind {
    kAttached,
    kNotCreated,  // no booker number, or the booker or the transaction failed
    kNotUpdated,  // the booker's details could not be written
    kNotLinked,   // the booking could not be linked (or was gone)
    kAwaiting,    // the booker is written and waits for its guest to confirm the booking
  };
  Kind kind = Kind::kNotCreated;
  qint64 bestnr = 0;  // the booker's number, once drawn
};

// A booker that is not linked to its hold until the guest confirms the booking from a mail.
struct AwaitedConfirmation {
  QString key;  // the single-use key the guest's mail carries
  // Inside the transaction, before the mail is written: when the hold now ends, told whether
  // the hold waited for no confirmation before (its first booker). May be empty.
  std::function<std::optional<QDateTime>(bool first)> holdEnds;
};

// Taking a guest's confirmation of a booking that awaited it.
enum class ConfirmOutcome {
  kConfirmed,
  kWrongKey,    // not the key awaited (one used already, or another)
  kNotWaiting,  // the booking awaits no confirmation
  kFailed,      // the database failed; nothing was written
};

class BookingStore {
 public:
  // On `connection` (the session's, opened by its owner), which must outlive the store;
  // `reports` (may be null) hears what the operator is to be told of the counts' layout.
  explicit BookingStore(Connection& connection, StoreReports* reports = nullptr);
  ~BookingStore();
  BookingStore(const BookingStore&) = delete;
  BookingStore& operator=(const BookingStore&) = delete;

  // Readies the store on its connection: opens it again when its owner's opening failed.
  // Throws DatabaseError when it cannot be opened; the store's statements then try to open
  // it again when they run.
  void Open();
  // Throws DatabaseError: the alias `name` is not defined in `aliasFile`.
  [[noreturn]] void OpenWithoutAlias(const QString& name, const QString& aliasFile);
  // Lets go of what the store keeps for its connection.
  void Close();

  // The road of a handler's own statement, where that statement is the instruction (its text
  // stays with the handler): a statement on the store's connection, and that connection's
  // backend for its order keys.
  Statement NewStatement();
  const Backend& backend() const;

  // For each of `types`, in that order (a type may come more than once), its free units at
  // `facility` (-1: all facilities summed) for the stay and its web prices for the stay.
  // Throws DatabaseError when a statement fails. The answer to a question asked before is
  // given again while the database has not changed (UnchangedAnswers).
  QList<TypeAvailability> Availability(int facility, const QList<int>& types, const Stay& stay);

  // While one lives, the questions of one request (the facility check, then the count) share
  // one look at the database's change mark, taken by the first of them, and read one state
  // of the database, the mark's (ReadSnapshot). It reads nothing itself. Nothing may write
  // on the store while one lives.
  class HeldQuestions {
   public:
    ~HeldQuestions();
    HeldQuestions(const HeldQuestions&) = delete;
    HeldQuestions& operator=(const HeldQuestions&) = delete;

   private:
    friend class BookingStore;
    HeldQuestions(Connection& connection, TdmBook* module);
    ReadSnapshot reads_;
    TdmBook* module_;
  };
  HeldQuestions HoldQuestions() { return HeldQuestions(connection_, module_.get()); }

  // Whether `text` names a facility as the database writes its number ("01" names none).
  // Throws DatabaseError, also when `text` is no number. Kept with the answers while a
  // request holds its questions.
  bool FacilityNumberKnown(const QString& text);

  // Per rental type of `facility` (-1: summed over all) and per day from `from` to `to`, the
  // free units and the units held for `agent` (-1: none), by type and day, as the database's
  // HENT_LEDIG_MATRISE gives them. No days when `to` is before `from`; a period of more than
  // kMaxMatrixDays days fails. Throws DatabaseError. Kept as Availability's answers are.
  QList<AvailabilityDay> Matrix(int facility, int agent, const QDate& from, const QDate& to);

  // The web prices of one rental type for the stay (prices belong to the type, at every
  // facility); throws DatabaseError.
  QList<WebPrice> StayPrices(int type, const Stay& stay);

  // Counts the free units of the plan's type and writes the booking when enough are free.
  // No failure escapes: each is an outcome, and leaves nothing written.
  ReservationOutcome Reserve(const ReservationPlan& plan);

  // Cancels the booking `refnr`: one without a booker is deleted with its lines, one with a
  // booker is kept and marked cancelled, lines and header alike, all in one transaction. The
  // booker is read in that transaction, so one attached meanwhile by another server is seen.
  // `events` (may be null) is told of a booking with a booker, inside the transaction.
  CancelOutcome Cancel(qint64 refnr, CancelScope scope, BookingEvents* events = nullptr);

  // The lookups of a booking request; each throws DatabaseError when its statement fails.
  bool IsNationCode(const QString& code);
  // The nations a booker may name, as NASJON lists them: (code, name), by name.
  QList<std::pair<QString, QString>> Nations();
  bool BookingExists(qint64 refnr);
  BookingState State(qint64 refnr);

  // Creates a booker with these details and links the booking `refnr` to it, with the agent
  // `agent` (the number as sent), in one transaction on the session connection. The booker
  // number is drawn inside it, so a failure hands the number back as well; nothing of a
  // failed attachment is kept. `events` (may be null) is told inside the transaction, with
  // `language`. The agent is the number as sent (a text that is none fails the link).
  // With `awaited`, the booker is written but not linked: the booking stays a hold until its
  // guest confirms it (ConfirmBooker), and `events` is told that it waits instead.
  AttachOutcome AttachBooker(qint64 refnr, const QString& agent, const Booker& booker,
                             BookingEvents* events = nullptr, const QString& language = {},
                             const AwaitedConfirmation* awaited = nullptr);

  // Links the booker that the hold `refnr` awaited `key` for, in one transaction; the hold
  // is then a booking, and `events` (may be null) is told of its first booker.
  ConfirmOutcome ConfirmBooker(qint64 refnr, const QString& key, BookingEvents* events);
  // Whether the hold `refnr` waits for its guest's confirmation. Throws DatabaseError.
  bool AwaitsConfirmation(qint64 refnr);

 private:
  // The channel import books, cancels and books again as this store does, inside its own
  // transactions, through the writes below.
  friend class ChannelBookings;

  TdmBook& module() const;
  // The occupancy and capacity operations on the store's connection; throws DatabaseError
  // when the store is not open.
  Occupancy& occupancy();
  QList<TypeAvailability> CountAvailability(int facility, const QList<int>& types,
                                            const Stay& stay);
  // A new reference number; throws DatabaseError when none is drawn.
  qint64 NewReferenceNumber();
  // Writes a booking's header and its first line (and the line's object line) inside the
  // caller's transaction; throws DatabaseError.
  void WriteBooking(TBookingData& header, TUtleieData& line);
  // Draws a booker number and writes the booker with the names and remark given (none:
  // left empty for the details written after), inside the caller's transaction. Throws
  // DatabaseError.
  static qint64 NewBooker(Connection& connection, const QString& surname = {},
                          const QString& firstName = {}, const QString& remark = {});
  // Marks the booking `refnr` cancelled, its lines and its header; and the other way.
  static void MarkCancelled(Connection& connection, qint64 refnr);
  static void MarkBookedAgain(Connection& connection, qint64 refnr);

  Connection& connection_;
  StoreReports* reports_;
  std::unique_ptr<TdmBook> module_;
};

}  // namespace taurelin
