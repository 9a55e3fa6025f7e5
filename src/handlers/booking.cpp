#include "handlers/booking.h"

#include "handlers/conventions.h"
#include "store/mail_confirmations.h"
#include "store/ref_nr.h"

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
std::optional<QString> NationCode(BookingStore& store, const QString& nation) {
  if (store.IsNationCode(nation)) return nation;
  const QString name = CapitalAsciiLetters(nation);
  for (const NationName& known : kNationNames) {
    if (name == known.name) return QString::fromUtf16(known.code);
  }
  return std::nullopt;
}

}  // namespace

InstructionReply HandleBooking(const InstructionValues& values, HandlerContext& context) {
  const RefNr named(values[QLatin1String("REFNR")]);
  const QString& refnr = named.text();
  InstructionReply reply(kColumns);
  BookingStore& store = Store(context);

  std::optional<QString> nation;
  try {
    nation = NationCode(store, values[QLatin1String("NASJON")]);
  } catch (const DatabaseError&) {
    return reply.fail(fail::NationsUnreadable());
  }
  if (!nation) return reply.fail(fail::InvalidNation());

  try {
    if (!named.isNumber()) return reply.fail(fail::ReferenceNotNumeric(refnr));
    if (!named.number() || !store.BookingExists(*named.number())) {
      return reply.fail(fail::UnknownReference(refnr));
    }
  } catch (const DatabaseError& failure) {
    return reply.fail(failure.connectionLost() ? fail::BookingNotLinked()
                                                 : fail::ReferenceNotNumeric(refnr));
  }

  Booker booker;
  booker.surname = values[QLatin1String("ENAVN")];
  booker.firstName = values[QLatin1String("FNAVN")];
  booker.address = values[QLatin1String("ADRESSE1")] + u' ' + values[QLatin1String("ADRESSE2")];
  booker.postcode = values[QLatin1String("POSTNR")];
  booker.place = values[QLatin1String("POSTSTED")];
  booker.nation = *nation;
  booker.phone = values[QLatin1String("TELEFON")];
  booker.fax = values[QLatin1String("FAKS")];
  booker.mail = values[QLatin1String("EPOST")];
  booker.remark = values[QLatin1String("ANMERKNING")];
  // A guest's booker may have to wait for the guest to confirm the booking from a mail: the
  // hold is kept longer, once, for the guest to open it.
  std::optional<AwaitedConfirmation> awaited;
  if (context.confirmSeconds > 0) {
    awaited.emplace();
    awaited->key = MailConfirmations::NewKey();
    awaited->holdEnds = [&context, &refnr](bool first) -> std::optional<QDateTime> {
      if (!context.extendHold) return std::nullopt;
      return context.extendHold(refnr, first ? context.confirmSeconds : 0);
    };
  }
  using Kind = AttachOutcome::Kind;
  const AttachOutcome attached =
      store.AttachBooker(*named.number(), values[QLatin1String("AGENT")], booker, context.events,
                         context.language, awaited ? &*awaited : nullptr);
  switch (attached.kind) {
    case Kind::kAttached:
      break;
    case Kind::kAwaiting:
      // Still a hold: its time-out stands.
      reply.addRow({QStringLiteral("BOOKING"), refnr, QStringLiteral("0")});
      return reply.setEffect({ReplyEffect::Kind::kAwaitingConfirmation, refnr, QString()});
    case Kind::kNotCreated:
      return reply.fail(fail::BookerNotCreated());
    case Kind::kNotUpdated:
      return reply.fail(fail::BookerNotUpdated(QString::number(attached.bestnr)));
    case Kind::kNotLinked:
      return reply.fail(fail::BookingNotLinked());
  }
  reply.addRow({QStringLiteral("BOOKING"), refnr, QStringLiteral("0")});
  return reply.setEffect({ReplyEffect::Kind::kBookerAttached, refnr, QString()});
}

}  // namespace taurelin
