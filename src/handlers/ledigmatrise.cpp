#include "handlers/ledigmatrise.h"

#include "base/integer_text.h"
#include "handlers/conventions.h"
#include "handlers/protocol_dates.h"
#include "store/stored_date.h"

#include <climits>
#include <cmath>
#include <vector>

namespace taurelin {
namespace {

constexpr QLatin1String kColumns("INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;DATO;LEDIG;ALLOTMENT;TILBUD");
constexpr qsizetype kValuesPerRow = 8;

// A number the matrix takes as a whole number: a numeric literal without a fraction (or
// with a fraction of zeros) within int.
std::optional<int> WholeNumber(const QString& text) {
  const std::optional<QVariant> number = NumericLiteral(text);
  if (!number) return std::nullopt;
  if (number->typeId() == QMetaType::LongLong) {
    const qlonglong whole = number->toLongLong();
    if (whole < INT_MIN || whole > INT_MAX) return std::nullopt;
    return static_cast<int>(whole);
  }
  const double value = number->toDouble();
  if (value != std::trunc(value) || value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

// A day as the protocol writes it, "yyyy.mm.dd": what LocalToProtocolDate makes of its local
// text, written directly for the years of four digits, which is every day a request can name.
QString ProtocolDay(const QDate& day) {
  int year = 0;
  int month = 0;
  int dayOfMonth = 0;
  day.getDate(&year, &month, &dayOfMonth);
  if (year < 1000 || year > 9999) return LocalToProtocolDate(day.toString(u"dd.MM.yyyy"));
  const char16_t text[] = {char16_t(u'0' + year / 1000),     char16_t(u'0' + year / 100 % 10),
                           char16_t(u'0' + year / 10 % 10),  char16_t(u'0' + year % 10),
                           u'.',
                           char16_t(u'0' + month / 10),      char16_t(u'0' + month % 10),
                           u'.',
                           char16_t(u'0' + dayOfMonth / 10), char16_t(u'0' + dayOfMonth % 10)};
  return QString(reinterpret_cast<const QChar*>(text), 10);
}

// The texts of the days from `first` on, each written once however many types list it.
class DayTexts {
 public:
  explicit DayTexts(const QDate& first) : first_(first.toJulianDay()) {}
  const QString& of(const QDate& day) {
    const qint64 at = day.toJulianDay() - first_;
    if (at < 0) return scratch_ = ProtocolDay(day);
    if (at >= qint64(texts_.size())) texts_.resize(at + 1);
    QString& text = texts_[at];
    if (text.isNull()) text = ProtocolDay(day);
    return text;
  }

 private:
  qint64 first_;
  std::vector<QString> texts_;
  QString scratch_;
};

}  // namespace

InstructionReply HandleLedigmatrise(const InstructionValues& values, HandlerContext& context) {
  const QString facility = values[QLatin1String("ANLEGGSNR")];
  const QString type = values[QLatin1String("UTYPE")];
  const QString object = values[QLatin1String("UTL_OBJ")];
  QString agent = values[QLatin1String("AGENT")];
  const QString from = values[QLatin1String("FRA")];
  const QString to = values[QLatin1String("TIL")];
  const QString db = DatabaseName(context);

  InstructionReply reply(kColumns);

  // Not caught: a facility that is no number fails the whole request.
  const std::optional<int> facilityNumber = ToInteger(facility);
  if (!facilityNumber) {
    throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(facility));
  }

  // The checks and the count look at the database's change mark once.
  const BookingStore::HeldQuestions held = Store(context).HoldQuestions();
  if (Refusal refusal = CheckStayRequest(context, *facilityNumber, facility, object, type)) {
    return reply.fail(*refusal);
  }
  const bool typeRestricted = !IsNotGiven(type);

  // "*" is the web shop's "no agent", -1 to the database's procedure. The arguments are
  // taken as that procedure takes them: a value it would refuse fails the matrix.
  if (agent == u"*") agent = QStringLiteral("-1");
  const std::optional<QDate> first = ArgumentDate(ProtocolToLocalDate(from));
  const std::optional<QDate> last = ArgumentDate(ProtocolToLocalDate(to));
  const std::optional<int> agentNumber = WholeNumber(agent);
  if (!first || !last || !agentNumber) return reply.fail(errors::MatrixFailed(db));
  // Types compare as numbers: a type given as "5.0" is type 5.
  const std::optional<QVariant> wanted = typeRestricted ? NumericLiteral(type) : std::nullopt;
  if (typeRestricted && !wanted) return reply.fail(errors::MatrixFailed(db));

  try {
    const QList<AvailabilityDay> days =
        Store(context).Matrix(*facilityNumber, *agentNumber, *first, *last);
    const QString blank = QStringLiteral(" ");
    const QString instruction = QStringLiteral("LEDIGMATRISE");
    // The request's facility text as the rows repeat it; its shared constant when equal.
    const QString facilityText =
        IntegerText(*facilityNumber) == facility ? IntegerText(*facilityNumber) : facility;
    DayTexts dayTexts(*first);
    QString typeText;
    int typeOfText = 0;
    reply.reserveRows(days.size(), kValuesPerRow);
    for (const AvailabilityDay& day : days) {
      if (wanted && day.type != wanted->toDouble()) continue;
      if (typeText.isNull() || day.type != typeOfText) {
        typeText = IntegerText(day.type);
        typeOfText = day.type;
      }
      reply.addRow({instruction, facilityText, typeText, blank, dayTexts.of(day.day),
                    IntegerText(day.free), IntegerText(day.allotment),
                    IntegerText(day.free + day.allotment)});
    }
  } catch (const DatabaseError&) {
    return reply.fail(errors::MatrixFailed(db));
  }
  return reply;
}

}  // namespace taurelin
