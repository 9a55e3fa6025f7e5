#include "handlers/protocol_dates.h"

#include "store/stored_date.h"

#include <optional>

namespace taurelin {
namespace {

// The characters at 1-based positions first..last that exist.
QString Characters(const QString& text, int first, int last) {
  return text.mid(first - 1, last - first + 1);
}

}  // namespace

QString LocalToProtocolDate(const QString& local) {
  return Characters(local, 7, 10) + u'.' + Characters(local, 4, 5) + u'.' +
         Characters(local, 1, 2);
}

QString ProtocolToLocalDate(const QString& protocol) {
  return Characters(protocol, 9, 10) + u'.' + Characters(protocol, 6, 7) + u'.' +
         Characters(protocol, 1, 4);
}

QDate ParseLocalDate(const QString& local) {
  const std::optional<QDate> digits = LocalDateDigits(local);
  const QDate date = digits ? *digits : QDate::fromString(local, QStringLiteral("dd.MM.yyyy"));
  if (!date.isValid()) {
    throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(local));
  }
  return date;
}

int IsoDayOfWeek(const QDate& date) { return date.dayOfWeek(); }

QDate FirstDayOfWeek(const QDate& date) { return date.addDays(1 - IsoDayOfWeek(date)); }

QDateTime FirstDayOfWeek(const QDateTime& moment) {
  return QDateTime(FirstDayOfWeek(moment.date()), moment.time(), moment.timeSpec());
}

}  // namespace taurelin
