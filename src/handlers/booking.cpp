#include "handlers/booking.h"

#include "handlers/conventions.h"
#include "handlers/reply_builder.h"
#include "store/database_session.h"
#include "store/write_transaction.h"

#include <optional>

namespace taurelin {
namespace {

namespace fail = errors::booking;

const QString kColumns = QStringLiteral("INSTRUKSJON;REFNR;TOTALPRIS");

// Web shops send a few nations by name instead of by code.
struct NationName {
  const char16_t* name;
  const char16_t* code;
};
constexpr NationName kNationNames[] = {{u"NORGE", u"N"}, {u"SVERIGE", u"S"}, {u"DANMARK", u"DK"}};

// Only a-z are made capital: "Norge" finds NORGE, other letters stay as they are.
QString CapitalAsciiLetters(QString text) {
  for (QChar& c : text) {
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - u'a' + u'A');
  }
  return text;
}

// The nation code to store: the value itself when it is a code of NASJON, else the code of a
// nation name; none when it is neither. Throws DatabaseError when NASJON cannot be read.
std::optional<QString> NationCode(const HandlerContext& context, const QString& nation) {
  Statement s = SessionStatement(context);
  s.add({"SELECT", "  NKODE", "  NAVN", "FROM", "  NASJON", "WHERE", "  NKODE = :NKODE"});
  s.bindText(QStringLiteral("NKODE"), nation);
  s.open();
  if (s.next()) return nation;
  const QString name = CapitalAsciiLetters(nation);
  for (const NationName& known : kNationNames) {
    if (name == known.name) return QString::fromUtf16(known.code);
  }
  return std::nullopt;
}

// Whether a booking of that reference number exists. Throws DatabaseError when the statement
// fails, also for a reference that is no number.
bool BookingExists(const HandlerContext& context, const QString& refnr) {
  Statement s = SessionStatement(context);
  s.add(QStringLiteral("SELECT REFNR FROM BOOKING WHERE REFNR = :REFNR"));
  s.bindNumber(QStringLiteral("REFNR"), refnr);
  s.open();
  return s.next();
}

// Creates the booker, fills in its details and links the booking to it, in one transaction.
// Returns the error of the first step that fails; nothing of the steps is then kept. The
// booker number is drawn inside the transaction, so a failure hands it back as well.
std::optional<HandlerError> WriteBooker(const InstructionValues& values, const QString& nation,
                                        const HandlerContext& context) {
  const QString connection = context.database != nullptr ? context.database->connectionName()
                                                         : QString();
  std::optional<WriteTransaction> writes;
  int bestnr = 0;
  try {
    writes.emplace(connection);
    Statement number(connection);
    number.add(QStringLiteral("SELECT BESTNR FROM LAGE_BESTNR"));
    number.open();
    if (!number.next()) return fail::BookerNotCreated();
    bestnr = number.integer(QStringLiteral("BESTNR"));
    number.close();

    Statement insert(connection);
    insert.add({"INSERT INTO BESTILL(BESTNR)", "VALUES ( :BESTNR)"});
    insert.bindInteger(QStringLiteral("BESTNR"), bestnr);
    insert.execute();
  } catch (const DatabaseError&) {
    return fail::BookerNotCreated();
  }

  try {
    Statement details(connection);
    details.add({"UPDATE BESTILL SET ", "  ENAVN = :ENAVN,", "  FNAVN = :FNAVN,", "  ADR = :ADR,",
                 "  POSTNR = :POSTNR,", "  POSTSTED = :POSTSTED,", "  NKODE = :NKODE,",
                 "  TLF = :TLF,", "  FAX = :FAX,", "  MAIL = :MAIL,", "  ANM = :ANM",
                 "WHERE BESTNR = :BESTNR"});
    details.bindText(QStringLiteral("ENAVN"), values[QLatin1String("ENAVN")]);
    details.bindText(QStringLiteral("FNAVN"), values[QLatin1String("FNAVN")]);
    details.bindText(QStringLiteral("ADR"), values[QLatin1String("ADRESSE1")] + u' ' +
                                                values[QLatin1String("ADRESSE2")]);
    // The postcode is a number to the booking database: an empty one fails the update.
    // A postcode is digits that must keep their leading zeros ("0150").
    details.bindNumberText(QStringLiteral("POSTNR"), values[QLatin1String("POSTNR")]);
    details.bindText(QStringLiteral("POSTSTED"), values[QLatin1String("POSTSTED")]);
    details.bindText(QStringLiteral("NKODE"), nation);
    details.bindText(QStringLiteral("TLF"), values[QLatin1String("TELEFON")]);
    details.bindText(QStringLiteral("FAX"), values[QLatin1String("FAKS")]);
    details.bindText(QStringLiteral("MAIL"), values[QLatin1String("EPOST")]);
    details.bindText(QStringLiteral("ANM"), values[QLatin1String("ANMERKNING")]);
    details.bindInteger(QStringLiteral("BESTNR"), bestnr);
    details.execute();
  } catch (const DatabaseError&) {
    return fail::BookerNotUpdated(QString::number(bestnr));
  }

  try {
    Statement link(connection);
    link.add({"UPDATE BOOKING SET ", "  AKODE = :AKODE,", "  BESTNR = :BESTNR",
              "WHERE REFNR = :REFNR"});
    link.bindNumber(QStringLiteral("AKODE"), values[QLatin1String("AGENT")]);
    link.bindInteger(QStringLiteral("BESTNR"), bestnr);
    link.bindNumber(QStringLiteral("REFNR"), values[QLatin1String("REFNR")]);
    link.execute();
    // The booking was there when it was looked up; a writer sharing the database may have
    // cancelled it since. A booker linked to nothing is no success.
    if (link.rowsAffected() != 1) return fail::BookingNotLinked();
  } catch (const DatabaseError&) {
    return fail::BookingNotLinked();
  }

  try {
    writes->commit();
  } catch (const DatabaseError&) {
    return fail::BookerNotCreated();
  }
  return std::nullopt;
}

}  // namespace

void HandleBooking(const InstructionValues& values, QString& reply, HandlerContext& context) {
  const QString refnr = values[QLatin1String("REFNR")];
  ReplyBuilder builder(reply, kColumns);

  std::optional<QString> nation;
  try {
    nation = NationCode(context, values[QLatin1String("NASJON")]);
  } catch (const DatabaseError&) {
    return builder.fail(fail::NationsUnreadable());
  }
  if (!nation) return builder.fail(fail::InvalidNation());

  try {
    if (!BookingExists(context, refnr)) return builder.fail(fail::UnknownReference(refnr));
  } catch (const DatabaseError& failure) {
    // A reference that is no number, unless the database could not be reached at all.
    return builder.fail(failure.connectionLost() ? fail::BookingNotLinked()
                                                 : fail::ReferenceNotNumeric(refnr));
  }

  if (const std::optional<HandlerError> failure = WriteBooker(values, *nation, context)) {
    return builder.fail(*failure);
  }
  builder.addRow({QStringLiteral("BOOKING"), refnr, QStringLiteral("0")});
  builder.finish();
}

}  // namespace taurelin
