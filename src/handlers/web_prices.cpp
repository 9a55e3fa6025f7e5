#include "handlers/web_prices.h"

#include "handlers/protocol_dates.h"
#include "store/database_session.h"

namespace taurelin {

QList<WebPrice> OpenWebPriser(const HandlerContext& context, int type, int facility,
                              const QDate& arrival, const QDate& departure) {
  if (context.database == nullptr || context.database->dmBook() == nullptr) {
    throw DatabaseError(QStringLiteral("the booking database is not connected"),
                        DatabaseError::Cause::kConnection);
  }
  const QDate until = departure == arrival ? arrival.addDays(1) : departure;
  return context.database->dmBook()->WebPrices(type, facility, FirstDayOfWeek(arrival), arrival,
                                               until);
}

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
