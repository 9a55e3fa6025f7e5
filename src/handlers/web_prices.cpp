#include "handlers/web_prices.h"

#include "handlers/protocol_dates.h"
#include "store/statement.h"

namespace taurelin {

QList<WebPrice> PricesForStay(const QList<WebPrice>& prices, const QDate& arrival,
                              const QDate& departure, std::optional<double> boardType) {
  const int weekday = IsoDayOfWeek(arrival);
  const qint64 nights = arrival.daysTo(departure);
  QList<WebPrice> fitting;
  for (const WebPrice& price : prices) {
    const bool day = price.startDay == weekday || price.startDay == 0;
    const bool length = price.days <= nights || price.days == 0;
    const bool board = !boardType || price.boardType == *boardType;
    if (day && length && board) fitting.append(price);
  }
  return fitting;
}

double BoardTypeFilter(const QString& value) {
  const std::optional<QVariant> number = NumericLiteral(value);
  if (!number) throw ConversionError(QStringLiteral("'%1' is not a board type").arg(value));
  return number->toDouble();
}

}  // namespace taurelin
